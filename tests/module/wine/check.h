// The tiny check harness of the programs that run under wine: each failed check prints its
// line, and the program's exit status and last line tell the runner how it went.
#pragma once

#include <cstdio>

namespace wine_check {
inline int passed = 0, failed = 0;

inline void Check(bool ok, const char* what, int line) {
  if (ok) {
    ++passed;
  } else {
    ++failed;
    std::printf("FAILED line %d: %s\n", line, what);
  }
}
}  // namespace wine_check

#define CHECK(condition) wine_check::Check((condition), #condition, __LINE__)
