// The library's registry scripts: a small text language for a tree under HKEY_CLASSES_ROOT.
//
//   HKCR
//   {
//       NoRemove AppID                      <- a kept key
//       {
//           '%APPID%' = s 'ZELUSB'          <- a key with its default value
//           'ZELUSB.DLL'
//           {
//               val AppID = s '%APPID%'     <- a named value
//           }
//       }
//   }
//
// ForceRemove marks a replaced key. Names and data are bare words or texts in single quotes
// (a quote inside is written twice); every text may hold %Name% variables. Keywords and the
// root name (HKCR or HKEY_CLASSES_ROOT) are matched without regard to case. Only string
// values (s) exist.
#pragma once

#include <string>
#include <string_view>

#include "module/registry/registry_tree.h"
#include "platform/automation.h"

namespace zel::registry {

// Parses `script` into `tree`. E_FAIL, with `error` saying where and why, for text that is
// not in the language.
HRESULT ParseScript(std::string_view script, Tree& tree, std::string& error);

}  // namespace zel::registry
