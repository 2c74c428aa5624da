#include "module/registry/registry_script.h"

#include <cstddef>
#include <optional>

namespace zel::registry {
namespace {

struct Token {
  enum Type { kWord, kQuoted, kOpen, kClose, kEquals, kEnd } type = kEnd;
  std::string text;
  std::size_t line = 1;
};

bool IsSpace(char c) noexcept {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool SameWord(std::string_view a, std::string_view b) noexcept {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

class Parser {
 public:
  Parser(std::string_view script, std::string& error) : script_(script), error_(error) {}

  bool Parse(Tree& tree) {
    Next();
    while (token_.type != Token::kEnd) {
      if (token_.type != Token::kWord ||
          !(SameWord(token_.text, "HKCR") || SameWord(token_.text, "HKEY_CLASSES_ROOT")))
        return Fail("expected HKCR");
      Next();
      if (!Expect(Token::kOpen, "'{'")) return false;
      while (token_.type != Token::kClose) {
        Key key;
        if (!ParseKey(key)) return false;
        tree.keys.push_back(std::move(key));
      }
      Next();
    }
    return ok_;
  }

 private:
  bool ParseKey(Key& key) {
    if (token_.type == Token::kWord && SameWord(token_.text, "NoRemove")) {
      key.kind = KeyKind::kKept;
      Next();
    } else if (token_.type == Token::kWord && SameWord(token_.text, "ForceRemove")) {
      key.kind = KeyKind::kReplaced;
      Next();
    }
    if (!Name(key.name, "a key name")) return false;
    if (token_.type == Token::kEquals) {
      Next();
      Text data;
      if (!StringData(data)) return false;
      key.defaultValue = std::move(data);
    }
    if (token_.type != Token::kOpen) return ok_;
    Next();
    while (token_.type != Token::kClose) {
      if (token_.type == Token::kWord && SameWord(token_.text, "val")) {
        Next();
        NamedValue value;
        if (!Name(value.name, "a value name") || !Expect(Token::kEquals, "'='") ||
            !StringData(value.data))
          return false;
        key.entries.push_back(Entry{std::move(value)});
      } else {
        Key sub;
        if (!ParseKey(sub)) return false;
        key.entries.push_back(Entry{std::move(sub)});
      }
    }
    Next();
    return ok_;
  }

  // "s" followed by the text.
  bool StringData(Text& data) {
    if (token_.type != Token::kWord || !SameWord(token_.text, "s"))
      return Fail("expected a string value (s)");
    Next();
    return Name(data, "a text");
  }

  bool Name(Text& out, const char* what) {
    if (token_.type != Token::kWord && token_.type != Token::kQuoted)
      return Fail(std::string("expected ") + what);
    out = Filled(token_.text);
    Next();
    return ok_;
  }

  bool Expect(Token::Type type, const char* what) {
    if (token_.type != type) return Fail(std::string("expected ") + what);
    Next();
    return ok_;
  }

  bool Fail(const std::string& message) {
    if (ok_) error_ = "line " + std::to_string(token_.line) + ": " + message;
    ok_ = false;
    token_.type = Token::kEnd;
    return false;
  }

  void Next() {
    if (!ok_) return;
    while (pos_ < script_.size() && IsSpace(script_[pos_])) {
      if (script_[pos_] == '\n') ++line_;
      ++pos_;
    }
    token_ = Token{Token::kEnd, {}, line_};
    if (pos_ >= script_.size()) return;
    const char c = script_[pos_];
    if (c == '{' || c == '}' || c == '=') {
      token_.type = c == '{' ? Token::kOpen : c == '}' ? Token::kClose : Token::kEquals;
      ++pos_;
      return;
    }
    if (c == '\'') {
      ++pos_;
      token_.type = Token::kQuoted;
      while (true) {
        if (pos_ >= script_.size()) {
          Fail("text without its closing quote");
          return;
        }
        const char q = script_[pos_++];
        if (q == '\n') ++line_;
        if (q != '\'') {
          token_.text.push_back(q);
        } else if (pos_ < script_.size() && script_[pos_] == '\'') {
          token_.text.push_back('\'');
          ++pos_;
        } else {
          return;
        }
      }
    }
    token_.type = Token::kWord;
    while (pos_ < script_.size() && !IsSpace(script_[pos_]) && script_[pos_] != '{' &&
           script_[pos_] != '}' && script_[pos_] != '=' && script_[pos_] != '\'')
      token_.text.push_back(script_[pos_++]);
  }

  std::string_view script_;
  std::string& error_;
  std::size_t pos_ = 0;
  std::size_t line_ = 1;
  Token token_;
  bool ok_ = true;
};

}  // namespace

HRESULT ParseScript(std::string_view script, Tree& tree, std::string& error) {
  Tree parsed;
  error.clear();
  Parser parser(script, error);
  if (!parser.Parse(parsed)) return E_FAIL;
  tree = std::move(parsed);
  return S_OK;
}

}  // namespace zel::registry
