// A registry kept in memory, with the system registry's rules (names compare without regard to
// case, values live in existing keys, deleting a missing key reports it). It stands in for the
// system registry wherever there is none, and lets the tests look at every key and fail any
// operation.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "module/registry/registry_backend.h"

namespace zel::registry {

class MemoryRegistry final : public Backend {
 public:
  MemoryRegistry();
  ~MemoryRegistry() override;

  long CreateKey(const std::string& path) override;
  long DeleteTree(const std::string& path) override;
  long SetString(const std::string& path, const std::string& name,
                 const std::string& data) override;

  bool HasKey(const std::string& path) const;
  // The value's data, or nullopt when the key or the value is missing. Name "" is the default.
  std::optional<std::string> Value(const std::string& path, const std::string& name = "") const;
  // Every key and value, one a line in sorted order: "A\B" for a key, "A\B [name] = data" for a
  // value ("@" names the default value).
  std::vector<std::string> Dump() const;
  // Every operation so far: "create A\B", "delete A\B", "set A\B [name] = data", each with
  // " -> code" when it failed.
  const std::vector<std::string>& Log() const noexcept { return log_; }
  void ClearLog() { log_.clear(); }
  // The k-th operation from now (1 is the next) fails with `code` and changes nothing.
  void FailOperation(int k, long code);

 private:
  struct Node;
  Node* Find(const std::string& path) const;
  long Finish(std::string line, long code);
  bool Failing();

  std::unique_ptr<Node> root_;
  std::vector<std::string> log_;
  int failIn_ = 0;
  long failCode_ = 0;
};

}  // namespace zel::registry
