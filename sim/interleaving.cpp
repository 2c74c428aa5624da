#include "sim/interleaving.h"

#include <algorithm>
#include <map>

namespace zel::sim {

std::optional<std::string> FindInterleaving(const std::vector<TraceEntry>& trace) {
  struct Span {
    std::size_t first = 0, last = 0;
    std::thread::id thread;
    bool used = false;
  };
  std::vector<Span> spans;
  std::map<std::thread::id, std::size_t> open;  // thread -> its operation's span
  for (std::size_t i = 0; i < trace.size(); ++i) {
    const TraceEntry& e = trace[i];
    if (e.kind == TraceKind::kMark) {
      if (e.label == "begin") {
        open[e.thread] = spans.size();
        spans.push_back({0, 0, e.thread, false});
      } else if (e.label == "end") {
        open.erase(e.thread);
      }
      continue;
    }
    const auto it = open.find(e.thread);
    if (it == open.end()) continue;
    Span& span = spans[it->second];
    if (!span.used) span.first = i;
    span.used = true;
    span.last = i;
  }
  std::erase_if(spans, [](const Span& s) { return !s.used; });
  std::sort(spans.begin(), spans.end(),
            [](const Span& a, const Span& b) { return a.first < b.first; });
  // Spans of one thread never overlap each other; any overlap with the furthest-reaching
  // earlier span of another thread is a mix.
  for (std::size_t i = 1, reach = 0; i < spans.size(); ++i) {
    const Span& before = spans[reach];
    const Span& after = spans[i];
    if (after.first < before.last && after.thread != before.thread)
      return "operation at trace entries " + std::to_string(before.first) + ".." +
             std::to_string(before.last) + " mixed with one starting at " +
             std::to_string(after.first) + " (" + FormatTrace(trace[after.first]) + ")";
    if (after.last > before.last) reach = i;
  }
  return std::nullopt;
}

}  // namespace zel::sim
