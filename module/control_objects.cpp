#include "module/control_objects.h"

#include "controls/kestrin_control.h"
#include "controls/orvane_control.h"
#include "controls/polyax_control.h"
#include "module/dual_object.h"

namespace zel {
namespace {

class KestrinObject final : public DualObject<IKestrinControl, KestrinControl> {
 public:
  explicit KestrinObject(IUnknown* outer)
      : DualObject(outer, IID_IKestrinControl, CLSID_CKestrinControl) {}
};

class OrvaneObject final : public DualObject<IOrvaneControl, OrvaneControl> {
 public:
  explicit OrvaneObject(IUnknown* outer)
      : DualObject(outer, IID_IOrvaneControl, CLSID_COrvaneControl) {}

  HRESULT STDMETHODCALLTYPE get_Temperature(double* pVal) override {
    return control_.get_Temperature(pVal);
  }
  HRESULT STDMETHODCALLTYPE put_Temperature(double newVal) override {
    return control_.put_Temperature(newVal);
  }
  HRESULT STDMETHODCALLTYPE get_ADC(LONG lChannelNumber, double* pVal) override {
    return control_.get_ADC(lChannelNumber, pVal);
  }
  HRESULT STDMETHODCALLTYPE get_UndervoltageDetection(VARIANT_BOOL* pVal) override {
    return control_.get_UndervoltageDetection(pVal);
  }
  HRESULT STDMETHODCALLTYPE put_UndervoltageDetection(VARIANT_BOOL newVal) override {
    return control_.put_UndervoltageDetection(newVal);
  }
};

class PolyaxObject final : public DualObject<IPolyaxControl, PolyaxControl> {
 public:
  explicit PolyaxObject(IUnknown* outer)
      : DualObject(outer, IID_IPolyaxControl, CLSID_CPolyaxControl) {}

  HRESULT STDMETHODCALLTYPE SetShutterState(LONG lShutterID, VARIANT_BOOL bOpen,
                                            VARIANT_BOOL* bResult) override {
    return control_.SetShutterState(lShutterID, bOpen, bResult);
  }
  HRESULT STDMETHODCALLTYPE GetShutterState(LONG lShutterID, VARIANT_BOOL* bOpen) override {
    return control_.GetShutterState(lShutterID, bOpen);
  }
};

}  // namespace

HRESULT CreateKestrinObject(IUnknown* outer, REFIID iid, void** object) noexcept {
  return KestrinObject::Create<KestrinObject>(outer, iid, object);
}
HRESULT CreateOrvaneObject(IUnknown* outer, REFIID iid, void** object) noexcept {
  return OrvaneObject::Create<OrvaneObject>(outer, iid, object);
}
HRESULT CreatePolyaxObject(IUnknown* outer, REFIID iid, void** object) noexcept {
  return PolyaxObject::Create<PolyaxObject>(outer, iid, object);
}

}  // namespace zel
