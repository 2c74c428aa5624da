#include "module/registry/registry_engine.h"

#include <string>

namespace zel::registry {
namespace {

bool Missing(long code) noexcept {
  return code == kErrorFileNotFound || code == kErrorPathNotFound;
}

class Run {
 public:
  Run(Mode mode, const ReplacementTable& variables, Backend& backend, LeadBytePredicate lead)
      : mode_(mode), variables_(variables), backend_(backend), lead_(lead) {}

  HRESULT Visit(const std::string& parent, const Key& key) {
    std::string name;
    if (HRESULT hr = Resolve(key.name, name); hr != S_OK) return hr;
    const std::string path = parent.empty() ? name : parent + '\\' + name;
    return mode_ == Mode::kRegister ? Write(path, key) : Remove(path, key);
  }

 private:
  HRESULT Resolve(const Text& text, std::string& out) const {
    if (!text.substituted) {
      out = text.text;
      return S_OK;
    }
    return Substitute(text.text, variables_, out, lead_);
  }

  HRESULT Write(const std::string& path, const Key& key) {
    if (key.kind == KeyKind::kReplaced) {
      const long deleted = backend_.DeleteTree(path);
      if (deleted != kErrorSuccess && !Missing(deleted)) return FromWin32(deleted);
    }
    if (long created = backend_.CreateKey(path); created != kErrorSuccess)
      return FromWin32(created);
    if (key.defaultValue)
      if (HRESULT hr = WriteValue(path, Text{}, *key.defaultValue); hr != S_OK) return hr;
    for (const Entry& entry : key.entries) {
      HRESULT hr = S_OK;
      if (const auto* value = std::get_if<NamedValue>(&entry.item))
        hr = WriteValue(path, value->name, value->data);
      else
        hr = Visit(path, std::get<Key>(entry.item));
      if (hr != S_OK) return hr;
    }
    return S_OK;
  }

  HRESULT WriteValue(const std::string& path, const Text& name, const Text& data) {
    std::string valueName, valueData;
    if (HRESULT hr = Resolve(name, valueName); hr != S_OK) return hr;
    if (HRESULT hr = Resolve(data, valueData); hr != S_OK) return hr;
    return FromWin32(backend_.SetString(path, valueName, valueData));
  }

  // Values are not written, but their texts are still filled in, so a script with a bad
  // variable fails the same way in both directions.
  HRESULT Remove(const std::string& path, const Key& key) {
    std::string ignored;
    if (key.defaultValue)
      if (HRESULT hr = Resolve(*key.defaultValue, ignored); hr != S_OK) return hr;
    for (const Entry& entry : key.entries) {
      HRESULT hr = S_OK;
      if (const auto* value = std::get_if<NamedValue>(&entry.item)) {
        hr = Resolve(value->name, ignored);
        if (hr == S_OK) hr = Resolve(value->data, ignored);
      } else {
        hr = Visit(path, std::get<Key>(entry.item));
      }
      if (hr != S_OK) return hr;
    }
    if (key.kind == KeyKind::kKept || !key.Encloses()) return S_OK;
    const long deleted = backend_.DeleteTree(path);
    return deleted == kErrorSuccess || Missing(deleted) ? S_OK : FromWin32(deleted);
  }

  const Mode mode_;
  const ReplacementTable& variables_;
  Backend& backend_;
  const LeadBytePredicate lead_;
};

}  // namespace

HRESULT RunTree(const Tree& tree, Mode mode, const ReplacementTable& variables, Backend& backend,
                LeadBytePredicate isLeadByte) {
  Run run(mode, variables, backend, isLeadByte);
  for (const Key& key : tree.keys)
    if (HRESULT hr = run.Visit(std::string(), key); hr != S_OK) return hr;
  return S_OK;
}

}  // namespace zel::registry
