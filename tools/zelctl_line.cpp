#include "tools/zelctl_line.h"

namespace zel::zelctl {

namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

bool IsNameStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_';
}

bool IsName(std::string_view word) {
  if (word.empty() || !IsNameStart(word[0])) return false;
  for (char c : word)
    if (!IsNameStart(c) && !(c >= '0' && c <= '9')) return false;
  return true;
}

CallLine Malformed(std::string error) {
  CallLine line;
  line.kind = CallLine::Kind::kError;
  line.error = std::move(error);
  return line;
}

// Splits into words; '=' outside quotes is a word of its own. False with `error` set when a
// quote is left open or a quoted word runs into other text.
bool SplitWords(std::string_view line, std::vector<Word>& words, std::string& error) {
  std::size_t i = 0;
  while (i < line.size()) {
    const char c = line[i];
    if (IsBlank(c)) {
      ++i;
    } else if (c == '=') {
      words.push_back({"=", false});
      ++i;
    } else if (c == '"') {
      Word word{{}, true};
      ++i;
      bool closed = false;
      while (i < line.size()) {
        const char d = line[i++];
        if (d == '"') {
          closed = true;
          break;
        }
        if (d == '\\' && i < line.size() && (line[i] == '"' || line[i] == '\\')) {
          word.text += line[i++];
        } else {
          word.text += d;
        }
      }
      if (!closed) {
        error = "the text in double quotes is not closed";
        return false;
      }
      if (i < line.size() && !IsBlank(line[i]) && line[i] != '=') {
        error = "a quoted text must end its word";
        return false;
      }
      words.push_back(std::move(word));
    } else {
      Word word;
      while (i < line.size() && !IsBlank(line[i]) && line[i] != '=') {
        if (line[i] == '"') {
          error = "a double quote inside a word";
          return false;
        }
        word.text += line[i++];
      }
      words.push_back(std::move(word));
    }
  }
  return true;
}

}  // namespace

CallLine ParseCallLine(std::string_view text) {
  std::size_t start = 0;
  while (start < text.size() && IsBlank(text[start])) ++start;
  if (start == text.size() || text[start] == '#') return {};

  std::vector<Word> words;
  std::string error;
  if (!SplitWords(text.substr(start), words, error)) return Malformed(error);

  if (words[0].quoted || !IsName(words[0].text))
    return Malformed("a call starts with a member name, not \"" + words[0].text + "\"");
  CallLine line;
  line.name = std::move(words[0].text);
  const bool put = words.size() > 1 && !words[1].quoted && words[1].text == "=";
  for (std::size_t k = put ? 2 : 1; k < words.size(); ++k) {
    if (!words[k].quoted && words[k].text == "=")
      return Malformed("'=' belongs right after the property name: Name = value");
    line.arguments.push_back(std::move(words[k]));
  }
  if (put && line.arguments.size() != 1)
    return Malformed("a property put takes exactly one value: " + line.name + " = value");
  line.kind = put ? CallLine::Kind::kPut : CallLine::Kind::kCall;
  return line;
}

std::vector<std::string> SplitCalls(std::string_view text) {
  std::vector<std::string> calls(1);
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (!quoted && (c == ';' || c == '\n')) {
      calls.emplace_back();
      continue;
    }
    calls.back() += c;
    if (c == '"') {
      quoted = !quoted;
    } else if (quoted && c == '\\' && i + 1 < text.size() &&
               (text[i + 1] == '"' || text[i + 1] == '\\')) {
      calls.back() += text[++i];
    }
  }
  return calls;
}

}  // namespace zel::zelctl
