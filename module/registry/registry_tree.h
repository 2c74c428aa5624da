// What registration writes, as data: keys under HKEY_CLASSES_ROOT with their values, in the
// order they are written. The class trees are built in code, the AppID tree is parsed from the
// library's registry script; one engine (registry_engine.h) writes and removes both.
#pragma once

#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace zel::registry {

// Replaced keys are wiped with their subtree before they are written again, so registering
// twice leaves exactly one tree; kept keys are shared with the rest of the system and never
// removed.
enum class KeyKind { kNormal, kReplaced, kKept };

// A key name or value data: written unchanged, or with its %Name% variables filled in.
struct Text {
  std::string text;
  bool substituted = false;
};

inline Text Fixed(std::string text) {
  return {std::move(text), false};
}
inline Text Filled(std::string text) {
  return {std::move(text), true};
}

struct NamedValue {
  Text name;
  Text data;
};

struct Entry;

struct Key {
  Text name;
  KeyKind kind = KeyKind::kNormal;
  std::optional<Text> defaultValue;  // written right after the key is created
  std::vector<Entry> entries;        // named values and subkeys, in writing order

  // Whether the key holds anything; a key holding nothing goes with its parent on removal.
  bool Encloses() const noexcept { return defaultValue.has_value() || !entries.empty(); }
};

struct Entry {
  std::variant<NamedValue, Key> item;
};

// The keys directly under HKEY_CLASSES_ROOT, in order.
struct Tree {
  std::vector<Key> keys;
};

}  // namespace zel::registry
