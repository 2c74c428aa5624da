// Checks ZELUSB.dll the way a C++ client uses it: loaded by path, class objects from
// DllGetClassObject, controls through their function tables and through IDispatch::Invoke by
// name. Runs under wine against the simulator build and client_bench.json:
//   com_client.exe PATH\ZELUSB.dll
// Prints one line per failed check and "N passed, N failed"; exits 1 on any failure.
// windows.h first: the other platform headers build on it.
#include <windows.h>

#include <ocidl.h>
#include <oleauto.h>

#include <cstdio>
#include <cwchar>
#include <string>

#include "ZELUSB_h.h"

#include "tests/module/wine/check.h"

namespace {

using wine_check::failed;
using wine_check::passed;

using GetClassObjectFunction = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNowFunction = HRESULT(STDAPICALLTYPE*)();

GetClassObjectFunction getClassObject;
CanUnloadNowFunction canUnloadNow;

// A minimal outer object: counts the references its inner object hands through to it.
struct Outer final : IUnknown {
  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID, void** object) override {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG STDMETHODCALLTYPE AddRef() override { return ++references; }
  ULONG STDMETHODCALLTYPE Release() override { return --references; }
  ULONG references = 1;
};

// The text of a result string, which the client frees.
std::wstring Take(BSTR text) {
  std::wstring copy = text == nullptr ? L"<null>" : std::wstring(text, SysStringLen(text));
  SysFreeString(text);
  return copy;
}

void ClassObjects() {
  IClassFactory* factory = nullptr;
  CHECK(getClassObject(CLSID_CPolyaxControl, IID_IClassFactory,
                       reinterpret_cast<void**>(&factory)) == S_OK);
  IClassFactory* again = nullptr;
  CHECK(getClassObject(CLSID_CPolyaxControl, IID_IClassFactory, reinterpret_cast<void**>(&again)) ==
        S_OK);
  CHECK(factory != nullptr && factory == again);  // created once, handed out again

  void* none = reinterpret_cast<void*>(1);
  CHECK(getClassObject(LIBID_ZELUSB, IID_IClassFactory, &none) == CLASS_E_CLASSNOTAVAILABLE);
  CHECK(none == nullptr);
  CHECK(getClassObject(CLSID_CPolyaxControl, IID_IClassFactory, nullptr) == E_POINTER);
  CHECK(getClassObject(CLSID_CKestrinControl, IID_IDispatch, &none) == E_NOINTERFACE);

  // Aggregation: an outer object may ask for the inner IUnknown only.
  Outer outer;
  IUnknown* inner = nullptr;
  CHECK(factory->CreateInstance(&outer, IID_IDispatch, reinterpret_cast<void**>(&inner)) ==
        CLASS_E_NOAGGREGATION);
  CHECK(inner == nullptr);
  CHECK(factory->CreateInstance(&outer, IID_IUnknown, reinterpret_cast<void**>(&inner)) == S_OK);
  if (inner != nullptr) {
    IPolyaxControl* polyax = nullptr;
    CHECK(inner->QueryInterface(IID_IPolyaxControl, reinterpret_cast<void**>(&polyax)) == S_OK);
    CHECK(outer.references == 2);  // the interface's references belong to the outer object
    if (polyax != nullptr) {
      VARIANT_BOOL present = 0;
      CHECK(polyax->IsDevicePresent(&present) == S_OK && present == 1);
      polyax->Release();
    }
    CHECK(outer.references == 1);
    // The embeddable-control interfaces answer for the outer object too.
    IOleObject* embedded = nullptr;
    CHECK(inner->QueryInterface(IID_IOleObject, reinterpret_cast<void**>(&embedded)) == S_OK);
    CHECK(outer.references == 2);
    if (embedded != nullptr) {
      IUnknown* asked = reinterpret_cast<IUnknown*>(1);
      CHECK(embedded->QueryInterface(IID_IViewObject, reinterpret_cast<void**>(&asked)) ==
                E_NOINTERFACE &&
            asked == nullptr);  // the outer object's answer
      embedded->Release();
    }
    CHECK(outer.references == 1);
    CHECK(canUnloadNow() == S_FALSE);
    inner->Release();
  }
  CHECK(canUnloadNow() == S_OK);

  // The server lock counts like a live object.
  CHECK(factory->LockServer(TRUE) == S_OK);
  CHECK(canUnloadNow() == S_FALSE);
  CHECK(factory->LockServer(FALSE) == S_OK);
  CHECK(canUnloadNow() == S_OK);
  again->Release();
  factory->Release();
}

template <typename T>
T* Create(REFCLSID clsid, REFIID iid) {
  IClassFactory* factory = nullptr;
  if (getClassObject(clsid, IID_IClassFactory, reinterpret_cast<void**>(&factory)) != S_OK)
    return nullptr;
  T* object = nullptr;
  factory->CreateInstance(nullptr, iid, reinterpret_cast<void**>(&object));
  factory->Release();
  return object;
}

void InterfacesAnswered() {
  IKestrinControl* kestrin = Create<IKestrinControl>(CLSID_CKestrinControl, IID_IKestrinControl);
  CHECK(kestrin != nullptr);
  if (kestrin == nullptr) return;
  CHECK(canUnloadNow() == S_FALSE);
  // The embeddable-control interfaces too (embedding_checks.cpp hosts them).
  const IID* answered[] = {
      &IID_IKestrinControl,    &IID_IDispatch,   &IID_IOleObject,         &IID_IViewObject2,
      &IID_IPersistStreamInit, &IID_IOleControl, &IID_IProvideClassInfo2, &IID_IProvideClassInfo,
      &IID_ISupportErrorInfo,  &IID_IUnknown};
  for (const IID* iid : answered) {
    IUnknown* got = nullptr;
    CHECK(kestrin->QueryInterface(*iid, reinterpret_cast<void**>(&got)) == S_OK);
    if (got != nullptr) got->Release();
  }
  // Another class's interface, and the cache a container keeps for itself.
  const IID* unanswered[] = {&IID_IOrvaneControl, &IID_IOleCache, &IID_IRunnableObject};
  for (const IID* iid : unanswered) {
    IUnknown* got = reinterpret_cast<IUnknown*>(1);
    CHECK(kestrin->QueryInterface(*iid, reinterpret_cast<void**>(&got)) == E_NOINTERFACE);
    CHECK(got == nullptr);
  }
  // One identity, whichever interface is asked.
  IUnknown* first = nullptr;
  IUnknown* second = nullptr;
  ISupportErrorInfo* errors = nullptr;
  kestrin->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&first));
  kestrin->QueryInterface(IID_ISupportErrorInfo, reinterpret_cast<void**>(&errors));
  errors->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&second));
  CHECK(first != nullptr && first == second);
  CHECK(errors->InterfaceSupportsErrorInfo(IID_IKestrinControl) == S_OK);
  CHECK(errors->InterfaceSupportsErrorInfo(IID_IPolyaxControl) == S_FALSE);
  first->Release();
  second->Release();
  errors->Release();

  IProvideClassInfo2* info = nullptr;
  CHECK(kestrin->QueryInterface(IID_IProvideClassInfo2, reinterpret_cast<void**>(&info)) == S_OK);
  if (info != nullptr) {
    ITypeInfo* coclass = nullptr;
    CHECK(info->GetClassInfo(&coclass) == S_OK);
    if (coclass != nullptr) {
      BSTR name = nullptr;
      coclass->GetDocumentation(MEMBERID_NIL, &name, nullptr, nullptr, nullptr);
      CHECK(Take(name) == L"CKestrinControl");
      coclass->Release();
    }
    GUID source = IID_IDispatch;
    CHECK(info->GetGUID(GUIDKIND_DEFAULT_SOURCE_DISP_IID, &source) == S_OK);
    CHECK(IsEqualGUID(source, DIID__IMotionEvents));
    info->Release();
  }
  kestrin->Release();
  CHECK(canUnloadNow() == S_OK);
}

void ThroughTheFunctionTable() {
  IKestrinControl* kestrin = Create<IKestrinControl>(CLSID_CKestrinControl, IID_IKestrinControl);
  CHECK(kestrin != nullptr);
  if (kestrin == nullptr) return;
  VARIANT_BOOL result = -2;
  CHECK(kestrin->IsDevicePresent(&result) == S_OK && result == 1);
  BSTR text = nullptr;
  CHECK(kestrin->GetSerial(&text) == S_OK);
  CHECK(Take(text) == L"KS-0042");
  CHECK(kestrin->get_FirmwareVersion(&text) == S_OK);
  CHECK(Take(text) == L"2.10");
  LONG speed = 0;
  // The unit's speed read 0, so it got the class's default of 500 (as the unit's divider
  // register can hold it).
  CHECK(kestrin->GetMotorFreq(1, &speed) == S_OK && speed > 480 && speed < 520);
  CHECK(kestrin->MoveMotor(1, 40, VARIANT_FALSE, &result) == S_OK && result == 1);
  LONG position = 0;
  CHECK(kestrin->GetMotorPosition(1, &position) == S_OK && position == 40);
  EMotorStatus status = eMotorStatusError;
  CHECK(kestrin->GetMotorStatus(1, &status) == S_OK && status == eMotorStopped);
  EUSBError error = eErrorNoMotorCommunication;
  CHECK(kestrin->get_LastError(&error) == S_OK && error == eErrorNoError);
  CHECK(kestrin->get_LastErrorText(&text) == S_OK);
  CHECK(Take(text) == L"No Error");
  // A serial number no unit has: no unit selected, failures from then on, still S_OK.
  BSTR wanted = SysAllocString(L"NOBODY");
  CHECK(kestrin->SetSerial(wanted, &result) == S_OK && result == 0);
  SysFreeString(wanted);
  CHECK(kestrin->IsDevicePresent(&result) == S_OK && result == 0);
  CHECK(kestrin->get_LastError(&error) == S_OK && error == eErrorNoDevice);
  CHECK(kestrin->get_FirmwareVersion(&text) == S_OK);
  CHECK(Take(text) == L"0.0");
  kestrin->Release();
}

// Invokes `name` on `object` with `count` arguments given in call order.
HRESULT Call(IDispatch* object, const wchar_t* name, WORD flags, VARIANT* arguments, UINT count,
             VARIANT* result) {
  DISPID id = 0;
  LPOLESTR names[] = {const_cast<LPOLESTR>(name)};
  if (HRESULT hr = object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &id); FAILED(hr))
    return hr;
  VARIANT reversed[4];
  for (UINT i = 0; i < count; ++i) reversed[count - 1 - i] = arguments[i];
  DISPID named = DISPID_PROPERTYPUT;
  DISPPARAMS params = {reversed, flags == DISPATCH_PROPERTYPUT ? &named : nullptr, count,
                       flags == DISPATCH_PROPERTYPUT ? 1u : 0u};
  VariantInit(result);
  return object->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result, nullptr,
                        nullptr);
}

VARIANT Long(LONG value) {
  VARIANT v;
  VariantInit(&v);
  V_VT(&v) = VT_I4;
  V_I4(&v) = value;
  return v;
}

void ThroughDispatch() {
  IDispatch* polyax = Create<IDispatch>(CLSID_CPolyaxControl, IID_IDispatch);
  CHECK(polyax != nullptr);
  if (polyax == nullptr) return;
  DISPID id = 0;
  LPOLESTR name[] = {const_cast<LPOLESTR>(L"getshutterstate")};
  CHECK(polyax->GetIDsOfNames(IID_NULL, name, 1, 0, &id) == S_OK && id == 14);
  LPOLESTR unknown[] = {const_cast<LPOLESTR>(L"Temperature")};
  CHECK(polyax->GetIDsOfNames(IID_NULL, unknown, 1, 0, &id) == DISP_E_UNKNOWNNAME);

  VARIANT result;
  // bAsynchron left out: the default 0 makes the move synchronous.
  VARIANT move[] = {Long(3), Long(25)};
  CHECK(Call(polyax, L"MoveMotor", DISPATCH_METHOD, move, 2, &result) == S_OK);
  CHECK(V_VT(&result) == VT_BOOL && V_BOOL(&result) == 1);  // true is 1, not -1
  VARIANT motor[] = {Long(3)};
  CHECK(Call(polyax, L"GetMotorPosition", DISPATCH_METHOD, motor, 1, &result) == S_OK);
  CHECK(V_VT(&result) == VT_I4 && V_I4(&result) == 25);
  VARIANT shutter[] = {Long(2), Long(1)};
  CHECK(Call(polyax, L"SetShutterState", DISPATCH_METHOD, shutter, 2, &result) == S_OK);
  CHECK(V_VT(&result) == VT_BOOL && V_BOOL(&result) == 1);
  VARIANT which[] = {Long(2)};
  CHECK(Call(polyax, L"GetShutterState", DISPATCH_METHOD | DISPATCH_PROPERTYGET, which, 1,
             &result) == S_OK);
  CHECK(V_VT(&result) == VT_BOOL && V_BOOL(&result) == 1);
  CHECK(Call(polyax, L"LastErrorText", DISPATCH_PROPERTYGET, nullptr, 0, &result) == S_OK);
  CHECK(V_VT(&result) == VT_BSTR && std::wstring(V_BSTR(&result)) == L"No Error");
  VariantClear(&result);
  CHECK(Call(polyax, L"GetSerial", DISPATCH_METHOD, nullptr, 0, &result) == S_OK);
  CHECK(V_VT(&result) == VT_BSTR && std::wstring(V_BSTR(&result)) == L"PX-0007");
  VariantClear(&result);
  polyax->Release();

  IDispatch* orvane = Create<IDispatch>(CLSID_COrvaneControl, IID_IDispatch);
  CHECK(orvane != nullptr);
  if (orvane == nullptr) return;
  // Line 14 is on in the bench: detection off.
  CHECK(Call(orvane, L"UndervoltageDetection", DISPATCH_PROPERTYGET, nullptr, 0, &result) == S_OK);
  CHECK(V_VT(&result) == VT_BOOL && V_BOOL(&result) == 0);
  VARIANT on;
  VariantInit(&on);
  V_VT(&on) = VT_BOOL;
  V_BOOL(&on) = VARIANT_TRUE;
  CHECK(Call(orvane, L"UndervoltageDetection", DISPATCH_PROPERTYPUT, &on, 1, &result) == S_OK);
  CHECK(Call(orvane, L"UndervoltageDetection", DISPATCH_PROPERTYGET, nullptr, 0, &result) == S_OK);
  CHECK(V_VT(&result) == VT_BOOL && V_BOOL(&result) == 1);
  orvane->Release();
  CHECK(canUnloadNow() == S_OK);
}

void TypeLibraryEntries(const wchar_t* path) {
  ITypeLib* library = nullptr;
  CHECK(LoadTypeLibEx(path, REGKIND_NONE, &library) == S_OK);
  if (library == nullptr) return;
  const wchar_t* expected[] = {L"COrvaneControl",  L"IOrvaneControl", L"EMotorStatus",
                               L"EUSBError",       L"_IMotionEvents", L"CKestrinControl",
                               L"IKestrinControl", L"CPolyaxControl", L"IPolyaxControl"};
  CHECK(library->GetTypeInfoCount() == std::size(expected));
  for (UINT i = 0; i < std::size(expected) && i < library->GetTypeInfoCount(); ++i) {
    BSTR name = nullptr;
    library->GetDocumentation(static_cast<INT>(i), &name, nullptr, nullptr, nullptr);
    const std::wstring got = Take(name);
    wine_check::Check(got == expected[i], "type library entry order", __LINE__);
  }
  TLIBATTR* attributes = nullptr;
  CHECK(library->GetLibAttr(&attributes) == S_OK);
  if (attributes != nullptr) {
    CHECK(IsEqualGUID(attributes->guid, LIBID_ZELUSB));
    CHECK(attributes->wMajorVerNum == 1 && attributes->wMinorVerNum == 0 && attributes->lcid == 0);
    library->ReleaseTLibAttr(attributes);
  }
  library->Release();
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) {
    std::printf("usage: com_client PATH\\ZELUSB.dll\n");
    return 2;
  }
  if (FAILED(CoInitialize(nullptr))) return 2;
  HMODULE library = LoadLibraryW(argv[1]);
  if (library == nullptr) {
    std::printf("FAILED: cannot load %ls (error %lu)\n", argv[1], GetLastError());
    return 1;
  }
  // Through void*: the exported functions are looked up untyped.
  getClassObject = reinterpret_cast<GetClassObjectFunction>(
      reinterpret_cast<void*>(GetProcAddress(library, "DllGetClassObject")));
  canUnloadNow = reinterpret_cast<CanUnloadNowFunction>(
      reinterpret_cast<void*>(GetProcAddress(library, "DllCanUnloadNow")));
  CHECK(getClassObject != nullptr && canUnloadNow != nullptr);
  if (getClassObject != nullptr && canUnloadNow != nullptr) {
    CHECK(canUnloadNow() == S_OK);
    ClassObjects();
    InterfacesAnswered();
    ThroughTheFunctionTable();
    ThroughDispatch();
    TypeLibraryEntries(argv[1]);
  }
  FreeLibrary(library);
  CoUninitialize();
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
