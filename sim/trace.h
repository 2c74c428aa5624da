// The bench's record of every driver operation, in order.
#pragma once

#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace zel::sim {

// kMark: a label a test put into the trace (Bench::Mark); the driver never makes one.
enum class TraceKind { kOpen, kClose, kDescriptor, kWrite, kRead, kSleep, kOther, kMark };

struct TraceEntry {
  TraceKind kind = TraceKind::kOther;
  int device = -1;                  // -1 when the name named no device number
  bool ok = false;                  // open, descriptor, write, read, other
  std::uint32_t code = 0;           // control code (other)
  std::uint16_t address = 0;        // write, read
  std::uint32_t asked = 0;          // read: bytes asked for
  std::vector<std::uint8_t> bytes;  // write: bytes sent; read: bytes returned
  std::uint32_t milliseconds = 0;   // sleep
  std::uint64_t atMicros = 0;       // bench time of the operation
  std::thread::id thread;           // the caller's thread
  std::string label;                // mark
};

// One line, as `zelctl --trace` writes it:
//   open 3 ok | open 3 fail | close 3 | descriptor 3 ok | write 3 0x1C30 FB FF FF FF ok |
//   read 3 0x1C22 1 ok 41 | sleep 10 | request 3 0x00222000 fail | mark LABEL
std::string FormatTrace(const TraceEntry& entry);

}  // namespace zel::sim
