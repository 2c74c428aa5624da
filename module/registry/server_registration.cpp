#include "module/registry/server_registration.h"

#include "module/class_table.h"
#include "module/registry/class_registration.h"
#include "module/registry/registry_engine.h"
#include "module/registry/registry_script.h"

namespace zel::registry {
namespace {

HRESULT CheckPath(const Server& server) {
  if (server.modulePathResult < 0) return server.modulePathResult;
  if (server.modulePath.size() >= kMaxPath) return kPathTooLong;
  return S_OK;
}

HRESULT RunAppIdScript(const Server& server, Mode mode, const ReplacementTable& module) {
  Tree tree;
  std::string error;
  if (HRESULT hr = ParseScript(server.appIdScript, tree, error); hr != S_OK) return hr;
  ReplacementTable variables;
  variables.Add("APPID", *module.Find("APPID"));
  variables.Add("Module", *module.Find("Module"));
  variables.Add("Module_Raw", *module.Find("Module_Raw"));
  return RunTree(tree, mode, variables, server.registry, server.isLeadByte);
}

HRESULT RunClassTrees(const Server& server, Mode mode, const ReplacementTable& module) {
  for (const ClassRow& row : kClassRows) {
    const HRESULT hr = RunTree(ClassTree(row), mode, ClassVariables(module, row), server.registry,
                               server.isLeadByte);
    if (hr != S_OK) return hr;
  }
  return S_OK;
}

}  // namespace

std::string HelpDirectory(const std::string& modulePath) {
  const auto cut = modulePath.find_last_of("\\/");
  return cut == std::string::npos ? std::string() : modulePath.substr(0, cut);
}

HRESULT RegisterServer(const Server& server) {
  if (HRESULT hr = CheckPath(server); hr != S_OK) return hr;
  const ReplacementTable module = ModuleVariables(server.modulePath);
  if (HRESULT hr = RunAppIdScript(server, Mode::kRegister, module); hr != S_OK) return hr;
  if (HRESULT hr = RunClassTrees(server, Mode::kRegister, module); hr != S_OK) return hr;
  return server.typeLibrary.Register(server.modulePath, HelpDirectory(server.modulePath));
}

HRESULT UnregisterServer(const Server& server) {
  if (HRESULT hr = CheckPath(server); hr != S_OK) return hr;
  const ReplacementTable module = ModuleVariables(server.modulePath);
  if (HRESULT hr = RunClassTrees(server, Mode::kUnregister, module); hr != S_OK) return hr;
  if (HRESULT hr = server.typeLibrary.Unregister(server.modulePath); hr < 0) return hr;
  return RunAppIdScript(server, Mode::kUnregister, module);
}

}  // namespace zel::registry
