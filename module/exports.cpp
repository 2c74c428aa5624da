// The library's five entry points.
#include <windows.h>

#include <string>

#include "module/module_file.h"
#include "module/registry/server_registration.h"
#include "module/registry/win32_registry.h"
#include "module/server_module.h"
#include "module/type_library.h"

namespace {

constexpr int kAppIdScriptId = 101;

bool IsLeadByte(char byte) {
  return IsDBCSLeadByte(static_cast<BYTE>(byte)) != FALSE;
}

HRESULT RunRegistration(bool registering) {
  zel::registry::Win32Registry registry;
  zel::PlatformTypeLibraryRegistrar typeLibrary;
  std::string path;
  const HRESULT pathResult = zel::ModulePath(path);
  const zel::registry::Server server{
      registry,   typeLibrary, zel::ModuleResource("REGISTRY", kAppIdScriptId),
      pathResult, path,        &IsLeadByte};
  return registering ? zel::registry::RegisterServer(server)
                     : zel::registry::UnregisterServer(server);
}

}  // namespace

// The module object and the device locks are static objects, built before this runs and
// destroyed after the process detaches; a module whose critical section failed refuses to load.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH && !zel::Module().Initialised()) return FALSE;
  return TRUE;
}

STDAPI DllCanUnloadNow() {
  return zel::Module().LockCount() == 0 ? S_OK : S_FALSE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
  return zel::Module().GetClassObject(clsid, iid, object);
}

STDAPI DllRegisterServer() {
  return RunRegistration(true);
}

STDAPI DllUnregisterServer() {
  return RunRegistration(false);
}
