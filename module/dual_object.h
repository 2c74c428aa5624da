// The COM object around one portable control: the dual interface's function table forwards to
// the control's members, IDispatch dispatches through the embedded type library, the
// embeddable-control interfaces come from the shared EmbeddedControl, the events from the
// shared MotionEvents, and the object answers class information and error-information
// support. It can live alone or as the inner object
// of an aggregate; every interface leads back to one identity.
#pragma once

// windows.h first: the other platform headers build on it.
#include <windows.h>

#include <oaidl.h>
#include <ocidl.h>

#include <cstdint>
#include <new>

#include "ZELUSB_h.h"
#include "controls/control_environment.h"
#include "module/class_table.h"
#include "module/embedding/embedded_control.h"
#include "module/events/motion_events.h"
#include "module/module_driver.h"
#include "module/server_module.h"

namespace zel {

template <typename Interface, typename Control>
class DualObject : public Interface,
                   public IProvideClassInfo2,
                   public ISupportErrorInfo,
                   public EmbeddedControl,
                   public MotionEvents {
 public:
  // Creates the object (which connects its control to a unit) and queries it for `iid`; the
  // object is destroyed again when the query fails.
  template <typename Derived>
  static HRESULT Create(IUnknown* outer, REFIID iid, void** object) noexcept {
    Derived* created = nullptr;
    try {
      created = new Derived(outer);
    } catch (...) {
      return E_OUTOFMEMORY;
    }
    created->inner_.AddRef();
    const HRESULT hr = created->inner_.QueryInterface(iid, object);
    created->inner_.Release();
    return hr;
  }

  // IUnknown of every interface: the outer object's when aggregated, the object's own
  // otherwise.
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
    return outer_->QueryInterface(iid, object);
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return outer_->AddRef(); }
  ULONG STDMETHODCALLTYPE Release() override { return outer_->Release(); }

  // IDispatch, through the type library.
  HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
    if (count == nullptr) return E_POINTER;
    *count = 1;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT index, LCID, ITypeInfo** info) override {
    if (info == nullptr) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    if (HRESULT hr = LoadTypeInfo(); FAILED(hr)) return hr;
    dispatchInfo_->AddRef();
    *info = dispatchInfo_;
    return S_OK;
  }
  HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID,
                                          DISPID* ids) override {
    if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (HRESULT hr = LoadTypeInfo(); FAILED(hr)) return hr;
    return dispatchInfo_->GetIDsOfNames(names, count, ids);
  }
  HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID iid, LCID, WORD flags, DISPPARAMS* params,
                                   VARIANT* result, EXCEPINFO* exception,
                                   UINT* argumentError) override {
    if (!IsEqualIID(iid, IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (HRESULT hr = LoadTypeInfo(); FAILED(hr)) return hr;
    // The function-table side of the dual interface: optional arguments get their default,
    // and the call lands in the members below.
    return vtableInfo_->Invoke(static_cast<Interface*>(this), id, flags, params, result, exception,
                               argumentError);
  }

  // IProvideClassInfo, IProvideClassInfo2.
  HRESULT STDMETHODCALLTYPE GetClassInfo(ITypeInfo** info) override {
    if (info == nullptr) return E_POINTER;
    *info = nullptr;
    ITypeLib* library = nullptr;
    if (HRESULT hr = Module().TypeLibrary(&library); FAILED(hr)) return hr;
    const HRESULT hr = library->GetTypeInfoOfGuid(clsid_, info);
    library->Release();
    return hr;
  }
  HRESULT STDMETHODCALLTYPE GetGUID(DWORD kind, GUID* guid) override {
    if (guid == nullptr) return E_POINTER;
    if (kind != GUIDKIND_DEFAULT_SOURCE_DISP_IID) return E_INVALIDARG;
    *guid = DIID__IMotionEvents;
    return S_OK;
  }

  // ISupportErrorInfo.
  HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID iid) override {
    return IsEqualIID(iid, iid_) ? S_OK : S_FALSE;
  }

  // The shared members of the three interfaces. Those that may complete a move fire what
  // they completed before they return.
  HRESULT STDMETHODCALLTYPE MoveHome(LONG lMotorID, VARIANT_BOOL bAsynchron,
                                     VARIANT_BOOL* bResult) override {
    return Delivered(control_.MoveHome(lMotorID, bAsynchron, bResult));
  }
  HRESULT STDMETHODCALLTYPE MoveMotor(LONG lMotorID, LONG lSteps, VARIANT_BOOL bAsynchron,
                                      VARIANT_BOOL* bResult) override {
    return Delivered(control_.MoveMotor(lMotorID, lSteps, bAsynchron, bResult));
  }
  HRESULT STDMETHODCALLTYPE MoveToPos(LONG lMotorID, LONG lPosition, VARIANT_BOOL bAsynchron,
                                      VARIANT_BOOL* bResult) override {
    return Delivered(control_.MoveToPos(lMotorID, lPosition, bAsynchron, bResult));
  }
  HRESULT STDMETHODCALLTYPE GetMotorStatus(LONG lMotorID, ::EMotorStatus* eStatus) override {
    return Through<::EMotorStatus, zel::EMotorStatus>(
        eStatus, [&](zel::EMotorStatus* v) { return control_.GetMotorStatus(lMotorID, v); });
  }
  HRESULT STDMETHODCALLTYPE GetMotorPosition(LONG lMotorID, LONG* lPosition) override {
    return Through<LONG, std::int32_t>(
        lPosition, [&](std::int32_t* v) { return control_.GetMotorPosition(lMotorID, v); });
  }
  HRESULT STDMETHODCALLTYPE Stop(LONG lMotorID, VARIANT_BOOL* bResult) override {
    return Delivered(control_.Stop(lMotorID, bResult));
  }
  HRESULT STDMETHODCALLTYPE SetMotorFreq(LONG lMotorID, LONG lFreq,
                                         VARIANT_BOOL* bResult) override {
    return control_.SetMotorFreq(lMotorID, lFreq, bResult);
  }
  HRESULT STDMETHODCALLTYPE GetMotorFreq(LONG lMotorID, LONG* lFrequence) override {
    return Through<LONG, std::int32_t>(
        lFrequence, [&](std::int32_t* v) { return control_.GetMotorFreq(lMotorID, v); });
  }
  HRESULT STDMETHODCALLTYPE IsDevicePresent(VARIANT_BOOL* bResult) override {
    return control_.IsDevicePresent(bResult);
  }
  HRESULT STDMETHODCALLTYPE get_LastError(::EUSBError* pVal) override {
    return Through<::EUSBError, std::int32_t>(
        pVal, [&](std::int32_t* v) { return control_.get_LastError(v); });
  }
  HRESULT STDMETHODCALLTYPE SetSerial(BSTR szSerial, VARIANT_BOOL* bResult) override {
    return control_.SetSerial(szSerial, bResult);
  }
  HRESULT STDMETHODCALLTYPE GetSerial(BSTR* szSerial) override {
    return control_.GetSerial(szSerial);
  }
  HRESULT STDMETHODCALLTYPE SetMotorMode(LONG lMotorID, LONG lMotorMode,
                                         VARIANT_BOOL* bResult) override {
    return control_.SetMotorMode(lMotorID, lMotorMode, bResult);
  }
  HRESULT STDMETHODCALLTYPE GetMotorMode(LONG lMotorID, LONG* plMotorMode) override {
    return Through<LONG, std::int32_t>(
        plMotorMode, [&](std::int32_t* v) { return control_.GetMotorMode(lMotorID, v); });
  }
  HRESULT STDMETHODCALLTYPE get_LastErrorText(BSTR* pVal) override {
    return control_.get_LastErrorText(pVal);
  }
  HRESULT STDMETHODCALLTYPE get_FirmwareVersion(BSTR* pVal) override {
    return control_.get_FirmwareVersion(pVal);
  }

 protected:
  DualObject(IUnknown* outer, const IID& iid, const CLSID& clsid)
      : EmbeddedControl(clsid, Control::kClass.drawText),
        control_(ControlEnvironment{ModuleDriver(), {}}),
        outer_(outer != nullptr ? outer : &inner_),
        iid_(iid),
        clsid_(clsid) {
    inner_.self = this;
    Module().Lock();
  }
  virtual ~DualObject() {
    if (dispatchInfo_ != nullptr) dispatchInfo_->Release();
    if (vtableInfo_ != nullptr) vtableInfo_->Release();
    Module().Unlock();
  }

  // Copies a result of the portable member's type into the interface's type.
  template <typename Out, typename In, typename Call>
  static HRESULT Through(Out* out, Call call) noexcept {
    if (out == nullptr) return E_POINTER;
    In value{};
    const HRESULT hr = call(&value);
    if (hr == S_OK) *out = static_cast<Out>(value);
    return hr;
  }

  Control control_;

 private:
  HRESULT Delivered(HRESULT hr) noexcept {
    Deliver();
    return hr;
  }

  // MotionEvents.
  IUnknown* EventIdentity() noexcept override { return outer_; }
  bool TakeCompletion(MoveCompletion& completion) noexcept override {
    return control_.TakeCompletion(completion);
  }
  bool MovesPending() noexcept override { return control_.MovesPending(); }
  void PollMoves() noexcept override { control_.PollMoves(); }

  // The object's own IUnknown, which an aggregating outer object holds; it owns the count.
  struct InnerUnknown final : IUnknown {
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
      return self->Query(iid, object);
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
      return static_cast<ULONG>(InterlockedIncrement(&references));
    }
    ULONG STDMETHODCALLTYPE Release() override {
      const LONG left = InterlockedDecrement(&references);
      if (left == 0) delete self;
      return static_cast<ULONG>(left);
    }
    DualObject* self = nullptr;
    volatile LONG references = 0;
  };

  // The interfaces answered, in this order.
  HRESULT Query(REFIID iid, void** object) {
    if (object == nullptr) return E_POINTER;
    *object = nullptr;
    if (IsEqualIID(iid, iid_) || IsEqualIID(iid, IID_IDispatch))
      *object = static_cast<Interface*>(this);
    else if (void* embedded = FindInterface(iid); embedded != nullptr)
      *object = embedded;
    else if (IsEqualIID(iid, IID_IProvideClassInfo2) || IsEqualIID(iid, IID_IProvideClassInfo))
      *object = static_cast<IProvideClassInfo2*>(this);
    else if (IsEqualIID(iid, IID_ISupportErrorInfo))
      *object = static_cast<ISupportErrorInfo*>(this);
    else if (IsEqualIID(iid, IID_IConnectionPointContainer))
      *object = static_cast<IConnectionPointContainer*>(this);
    else if (IsEqualIID(iid, IID_IUnknown))
      *object = &inner_;
    else
      return E_NOINTERFACE;
    static_cast<IUnknown*>(*object)->AddRef();
    return S_OK;
  }

  // The dispatch side of the interface for clients, and the function-table side for calls.
  HRESULT LoadTypeInfo() noexcept {
    if (vtableInfo_ != nullptr) return S_OK;
    ITypeLib* library = nullptr;
    if (HRESULT hr = Module().TypeLibrary(&library); FAILED(hr)) return hr;
    ITypeInfo* dispatch = nullptr;
    HRESULT hr = library->GetTypeInfoOfGuid(iid_, &dispatch);
    library->Release();
    if (FAILED(hr)) return hr;
    ITypeInfo* vtable = nullptr;
    HREFTYPE reference = 0;
    hr = dispatch->GetRefTypeOfImplType(static_cast<UINT>(-1), &reference);
    if (SUCCEEDED(hr)) hr = dispatch->GetRefTypeInfo(reference, &vtable);
    if (FAILED(hr)) {
      dispatch->Release();
      return hr;
    }
    dispatchInfo_ = dispatch;
    vtableInfo_ = vtable;
    return S_OK;
  }

  InnerUnknown inner_;
  IUnknown* const outer_;
  const IID& iid_;
  const CLSID& clsid_;
  ITypeInfo* dispatchInfo_ = nullptr;
  ITypeInfo* vtableInfo_ = nullptr;
};

}  // namespace zel
