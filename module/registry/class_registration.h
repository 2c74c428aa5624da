// The registry trees of the classes and the variables their texts refer to.
#pragma once

#include <string>

#include "module/class_table.h"
#include "module/registry/registry_tree.h"
#include "module/registry/replacement_table.h"

namespace zel::registry {

// Module, Module_Raw, MODULEGUID, MODULETYPE and APPID for the module file at `path`. Only an
// executable's path is quoted in Module (a path with spaces on a command line); a library's
// never is, and a library is an in-process server.
ReplacementTable ModuleVariables(const std::string& path, bool moduleIsExecutable = false);

// The module variables plus the class's FriendlyName.
ReplacementTable ClassVariables(const ReplacementTable& module, const ClassRow& row);

// The keys of one class: its ProgID and version-independent ProgID keys, and its class key
// under the kept "CLSID", which is replaced as a whole on every registration.
Tree ClassTree(const ClassRow& row);

}  // namespace zel::registry
