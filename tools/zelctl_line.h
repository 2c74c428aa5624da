// One line of a zelctl session, split into its words. The grammar:
//
//   Name arg arg ...      a method call, or a property get with its in-arguments ("ADC 4")
//   Name = value          a property put ("Temperature = 20.5"; the '=' may touch its words)
//   # ...                 a comment; blank lines are skipped too
//
// Words are separated by blanks. A word in double quotes may hold blanks or be empty; inside
// it \" stands for a quote and \\ for a backslash, any other backslash is kept as it is.
// Nothing here knows the members or shell words: the shell and the member table check names,
// argument counts and types.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace zel::zelctl {

struct Word {
  std::string text;
  bool quoted = false;  // written in double quotes: always a text, never a number
};

struct CallLine {
  enum class Kind {
    kSkip,   // blank or comment
    kCall,   // name and in-arguments
    kPut,    // name and the one new value
    kError,  // malformed; `error` says why
  };
  Kind kind = Kind::kSkip;
  std::string name;
  std::vector<Word> arguments;
  std::string error;
};

// Total over every input, including bytes that are not text: it never throws (short of memory)
// and never reads outside `line`. This is the entry point the fuzzer drives.
CallLine ParseCallLine(std::string_view line);

// Splits the text of a -c option into calls at each ';' outside double quotes (a newline
// separates calls too). Empty pieces are kept, so piece k is call number k + 1.
std::vector<std::string> SplitCalls(std::string_view text);

}  // namespace zel::zelctl
