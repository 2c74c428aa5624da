// The session behind zelctl: the controls it created, the one calls go to, and the shell words.
//
//   sleep MS      pauses through the driver (bench time on a virtual bench)
//   new CLASS     creates another control (orvane, kestrin, polyax) and makes it current
//   use N         makes control N current; controls are numbered from 1 in creation order and
//                 keep their number for life
//   release       destroys the current control; the most recently created remaining one
//                 becomes current
//   echo TEXT     writes TEXT as it stands, for narrated sessions
//   wait [MS]     waits for the current control's pending moves, polling every 10 ms through
//                 the driver, for at most MS milliseconds when given; prints a line per move
//                 completion ("MoveComplete 1 0 400", "HomeComplete MOTOR STATUS POSITION"),
//                 those queued before the wait first, and "wait -> timeout" when MS ran out
//
// Every other line is a call on the current control, answered by one "Member -> VALUE" line
// on the output. Malformed lines, unknown members and misused shell words are reported on the
// error stream with their line number, and the session goes on.
#pragma once

#include <iosfwd>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "controls/control_environment.h"
#include "tools/zelctl_line.h"
#include "tools/zelctl_members.h"

namespace zel::zelctl {

class Shell {
 public:
  Shell(Driver& driver, std::string firmwareDirectory, std::ostream& out, std::ostream& err);
  ~Shell();
  Shell(const Shell&) = delete;
  Shell& operator=(const Shell&) = delete;

  // Creates a control of `kind` (it connects as it is built) and makes it current.
  void Create(ControlKind kind);

  // One line, numbered `number` in messages.
  void Run(std::string_view line, int number);
  // Each line of `in`, numbered from 1; a carriage return before the line end is dropped.
  void RunLines(std::istream& in);
  // The calls of a -c option, separated by ';' (or newlines) and numbered from 1.
  void RunCalls(std::string_view calls);

  // Whether any line was reported as an error.
  bool Failed() const noexcept { return failed_; }
  // Controls alive, and the number of the current one (0: none).
  std::size_t ControlCount() const noexcept { return controls_.size(); }
  int CurrentNumber() const noexcept;

 private:
  struct Slot {
    int number;
    AnyControl control;
  };

  bool RunShellWord(const CallLine& line, int number);
  void Wait(std::optional<std::uint32_t> timeoutMs);
  void Call(const CallLine& line, int number);
  void Report(int number, const std::string& message);

  ControlEnvironment environment_;
  std::ostream& out_;
  std::ostream& err_;
  std::vector<Slot> controls_;  // in creation order
  std::size_t current_ = 0;     // index into controls_, valid while it is not empty
  int nextNumber_ = 1;
  bool failed_ = false;
};

}  // namespace zel::zelctl
