#include "module/registry/class_registration.h"

#include <utility>

namespace zel::registry {
namespace {

Key MakeKey(Text name, KeyKind kind, std::optional<Text> defaultValue,
            std::vector<Entry> entries = {}) {
  Key key;
  key.name = std::move(name);
  key.kind = kind;
  key.defaultValue = std::move(defaultValue);
  key.entries = std::move(entries);
  return key;
}

Entry Sub(Text name, std::optional<Text> defaultValue, KeyKind kind = KeyKind::kNormal,
          std::vector<Entry> entries = {}) {
  return Entry{MakeKey(std::move(name), kind, std::move(defaultValue), std::move(entries))};
}

Entry Named(const char* name, Text data) {
  return Entry{NamedValue{Fixed(name), std::move(data)}};
}

}  // namespace

ReplacementTable ModuleVariables(const std::string& path, bool moduleIsExecutable) {
  ReplacementTable table;
  table.Add("Module", moduleIsExecutable ? '"' + path + '"' : path);
  table.Add("Module_Raw", path);
  table.Add("MODULEGUID", kLibId);
  table.Add("MODULETYPE", moduleIsExecutable ? "LocalServer32" : "InprocServer32");
  table.Add("APPID", kAppId);
  return table;
}

ReplacementTable ClassVariables(const ReplacementTable& module, const ClassRow& row) {
  ReplacementTable table = module;
  table.Add("FriendlyName", row.control.friendlyName);
  return table;
}

Tree ClassTree(const ClassRow& row) {
  const Text friendly = Filled("%FriendlyName%");
  Tree tree;
  tree.keys.push_back(MakeKey(Fixed(row.progId), KeyKind::kNormal, friendly,
                              {Sub(Fixed("CLSID"), Fixed(row.clsid))}));
  tree.keys.push_back(
      MakeKey(Fixed(row.viProgId), KeyKind::kNormal, friendly,
              {Sub(Fixed("CLSID"), Fixed(row.clsid)), Sub(Fixed("CurVer"), Fixed(row.progId))}));
  const std::string miscStatus = std::to_string(kRegisteredMiscStatus);
  Key classKey = MakeKey(
      Fixed(row.clsid), KeyKind::kReplaced, friendly,
      {Sub(Fixed("ProgID"), Fixed(row.progId)),
       Sub(Fixed("VersionIndependentProgID"), Fixed(row.viProgId)),
       Sub(Filled("%MODULETYPE%"), Filled("%MODULE%"), KeyKind::kNormal,
           {Named("ThreadingModel", Fixed("apartment"))}),
       Sub(Fixed("Control"), std::nullopt, KeyKind::kReplaced),
       // Bitmap resource 1 for every class: the toolbox picture is the library's, not the class's.
       Sub(Fixed("ToolboxBitmap32"), Filled("%MODULE%, 1"), KeyKind::kReplaced),
       Sub(Fixed("MiscStatus"), Fixed("0"), KeyKind::kNormal, {Sub(Fixed("1"), Fixed(miscStatus))}),
       Named("AppID", Filled("%APPID%")), Sub(Fixed("TypeLib"), Filled("%MODULEGUID%")),
       Sub(Fixed("Version"), Fixed(kTypeLibVersion))});
  tree.keys.push_back(
      MakeKey(Fixed("CLSID"), KeyKind::kKept, std::nullopt, {Entry{std::move(classKey)}}));
  return tree;
}

}  // namespace zel::registry
