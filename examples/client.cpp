// ZELUSB.dll from C++: create a Polyax control by its ProgID and call it through its interface.
// The declarations come from the type library (ZELUSB_h.h and ZELUSB_i.c, compiled from
// module/ZELUSB.idl); the library must be registered (regsvr32 ZELUSB.dll).
#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include <cstdio>

#include "ZELUSB_h.h"

int main() {
  // The controls are apartment-threaded: create and call them on an initialised thread.
  if (FAILED(CoInitialize(nullptr))) return 1;
  CLSID clsid;
  IPolyaxControl* polyax = nullptr;
  HRESULT hr = CLSIDFromProgID(L"ZELUSB.PolyaxControl", &clsid);
  if (SUCCEEDED(hr))
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IPolyaxControl,
                          reinterpret_cast<void**>(&polyax));
  if (FAILED(hr)) {
    std::printf("cannot create ZELUSB.PolyaxControl: 0x%08lX\n", static_cast<unsigned long>(hr));
    CoUninitialize();
    return 1;
  }

  // Results come back through the last argument; booleans are 1 or 0.
  VARIANT_BOOL ok = 0;
  polyax->MoveMotor(4, 250, VARIANT_FALSE, &ok);  // synchronous
  LONG position = 0;
  polyax->GetMotorPosition(4, &position);
  std::printf("MoveMotor(4, 250): %d, motor 4 at %ld\n", ok, position);

  // Strings returned by the control belong to the caller.
  BSTR serial = nullptr;
  if (SUCCEEDED(polyax->GetSerial(&serial))) {
    std::printf("serial number %ls\n", serial);
    SysFreeString(serial);
  }
  polyax->SetShutterState(2, VARIANT_TRUE, &ok);
  VARIANT_BOOL open = 0;
  polyax->GetShutterState(2, &open);
  std::printf("shutter 2 opened: %d, reads open: %d\n", ok, open);

  // A failure shows in the result and in LastError, never in the HRESULT.
  EMotorStatus status = eMotorStopped;
  EUSBError error = eErrorNoError;
  polyax->GetMotorStatus(40, &status);
  polyax->get_LastError(&error);
  BSTR text = nullptr;
  polyax->get_LastErrorText(&text);
  std::printf("motor 40 (there is none): status %d, LastError %d, \"%ls\"\n", status, error, text);
  SysFreeString(text);

  polyax->Release();
  CoUninitialize();
  return 0;
}
