#include "module/registry/memory_registry.h"

#include <algorithm>

namespace zel::registry {
namespace {

char Lower(char c) noexcept {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c;
}

struct CaseLess {
  bool operator()(const std::string& a, const std::string& b) const noexcept {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return Lower(x) < Lower(y); });
  }
};

std::vector<std::string> Split(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path) {
    if (c == '\\') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part.push_back(c);
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

}  // namespace

struct MemoryRegistry::Node {
  std::string name;  // as first created
  std::map<std::string, std::unique_ptr<Node>, CaseLess> keys;
  std::map<std::string, std::string, CaseLess> values;

  void Dump(const std::string& path, std::vector<std::string>& out) const {
    if (!path.empty()) out.push_back(path);
    for (const auto& [name, data] : values)
      out.push_back(path + " [" + (name.empty() ? "@" : name) + "] = " + data);
    for (const auto& [name, child] : keys)
      child->Dump(path.empty() ? child->name : path + '\\' + child->name, out);
  }
};

MemoryRegistry::MemoryRegistry() : root_(std::make_unique<Node>()) {}
MemoryRegistry::~MemoryRegistry() = default;

MemoryRegistry::Node* MemoryRegistry::Find(const std::string& path) const {
  Node* node = root_.get();
  for (const std::string& part : Split(path)) {
    auto it = node->keys.find(part);
    if (it == node->keys.end()) return nullptr;
    node = it->second.get();
  }
  return node;
}

bool MemoryRegistry::Failing() {
  if (failIn_ <= 0) return false;
  return --failIn_ == 0;
}

long MemoryRegistry::Finish(std::string line, long code) {
  if (code != kErrorSuccess) line += " -> " + std::to_string(code);
  log_.push_back(std::move(line));
  return code;
}

long MemoryRegistry::CreateKey(const std::string& path) {
  const std::string line = "create " + path;
  if (Failing()) return Finish(line, failCode_);
  const auto parts = Split(path);
  if (parts.empty()) return Finish(line, kErrorPathNotFound);
  Node* node = root_.get();
  for (const std::string& part : parts) {
    auto& child = node->keys[part];
    if (!child) {
      child = std::make_unique<Node>();
      child->name = part;
    }
    node = child.get();
  }
  return Finish(line, kErrorSuccess);
}

long MemoryRegistry::DeleteTree(const std::string& path) {
  const std::string line = "delete " + path;
  if (Failing()) return Finish(line, failCode_);
  auto parts = Split(path);
  if (parts.empty()) return Finish(line, kErrorAccessDenied);
  const std::string last = parts.back();
  parts.pop_back();
  Node* parent = root_.get();
  for (const std::string& part : parts) {
    auto it = parent->keys.find(part);
    if (it == parent->keys.end()) return Finish(line, kErrorFileNotFound);
    parent = it->second.get();
  }
  return Finish(line, parent->keys.erase(last) == 1 ? kErrorSuccess : kErrorFileNotFound);
}

long MemoryRegistry::SetString(const std::string& path, const std::string& name,
                               const std::string& data) {
  const std::string line = "set " + path + " [" + (name.empty() ? "@" : name) + "] = " + data;
  if (Failing()) return Finish(line, failCode_);
  Node* node = Find(path);
  if (node == nullptr || node == root_.get()) return Finish(line, kErrorFileNotFound);
  node->values[name] = data;
  return Finish(line, kErrorSuccess);
}

bool MemoryRegistry::HasKey(const std::string& path) const {
  const Node* node = Find(path);
  return node != nullptr && node != root_.get();
}

std::optional<std::string> MemoryRegistry::Value(const std::string& path,
                                                 const std::string& name) const {
  const Node* node = Find(path);
  if (node == nullptr) return std::nullopt;
  auto it = node->values.find(name);
  if (it == node->values.end()) return std::nullopt;
  return it->second;
}

std::vector<std::string> MemoryRegistry::Dump() const {
  std::vector<std::string> out;
  root_->Dump(std::string(), out);
  return out;
}

void MemoryRegistry::FailOperation(int k, long code) {
  failIn_ = k;
  failCode_ = code;
}

}  // namespace zel::registry
