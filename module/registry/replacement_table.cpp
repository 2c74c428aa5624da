#include "module/registry/replacement_table.h"

#include <algorithm>

namespace zel::registry {
namespace {

constexpr std::size_t kMaxNameLength = 31;

char Lower(char c) noexcept {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) noexcept {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                            [](char x, char y) { return Lower(x) == Lower(y); });
}

}  // namespace

void ReplacementTable::Add(std::string name, std::string value) {
  entries_.emplace_back(std::move(name), std::move(value));
}

const std::string* ReplacementTable::Find(std::string_view name) const noexcept {
  for (const auto& [key, value] : entries_)
    if (SameName(key, name)) return &value;
  return nullptr;
}

HRESULT Substitute(std::string_view text, const ReplacementTable& table, std::string& out,
                   LeadBytePredicate isLeadByte) {
  out.clear();
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    const char c = text[i];
    if (isLeadByte != nullptr && isLeadByte(c) && i + 1 < text.size()) {
      out.append(text.substr(i, 2));
      i += 2;
      continue;
    }
    if (c != '%') {
      out.push_back(c);
      ++i;
      continue;
    }
    const std::size_t close = text.find('%', i + 1);
    if (close == std::string_view::npos) return E_FAIL;
    const std::string_view name = text.substr(i + 1, close - i - 1);
    if (name.empty()) {
      out.push_back('%');
    } else {
      if (name.size() > kMaxNameLength) return E_FAIL;
      const std::string* value = table.Find(name);
      if (value == nullptr) return E_FAIL;
      out += *value;
    }
    i = close + 1;
  }
  return S_OK;
}

}  // namespace zel::registry
