// The named texts that registry scripts refer to as %Name%, and the substitution that fills
// them in.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/automation.h"

namespace zel::registry {

class ReplacementTable {
 public:
  void Add(std::string name, std::string value);
  // The value of `name`, compared without regard to case; null when the table lacks it.
  const std::string* Find(std::string_view name) const noexcept;

 private:
  std::vector<std::pair<std::string, std::string>> entries_;
};

// Whether a byte starts a two-byte character of the ANSI code page; such a pair is copied
// whole, so a trail byte that happens to be '%' starts no variable.
using LeadBytePredicate = bool (*)(char byte);

// Copies `text` into `out`, turning "%%" into "%" and "%Name%" into the value of Name.
// E_FAIL, with `out` unspecified, when a name has 32 characters or more, lacks its closing
// percent sign, or is not in the table.
HRESULT Substitute(std::string_view text, const ReplacementTable& table, std::string& out,
                   LeadBytePredicate isLeadByte = nullptr);

}  // namespace zel::registry
