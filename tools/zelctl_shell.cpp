#include "tools/zelctl_shell.h"

#include <algorithm>
#include <charconv>
#include <istream>
#include <ostream>

#include "controls/kestrin_control.h"
#include "controls/orvane_control.h"
#include "controls/polyax_control.h"

namespace zel::zelctl {

namespace {

std::span<const Member<OrvaneControl>> MembersOf(OrvaneControl&) {
  return OrvaneMembers();
}
std::span<const Member<KestrinControl>> MembersOf(KestrinControl&) {
  return KestrinMembers();
}
std::span<const Member<PolyaxControl>> MembersOf(PolyaxControl&) {
  return PolyaxMembers();
}

// A plain decimal number within [low, high].
template <typename T>
bool ParseNumber(const Word& word, T low, T high, T& value) {
  const std::string& text = word.text;
  if (word.quoted || text.empty()) return false;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  return ec == std::errc{} && end == text.data() + text.size() && value >= low && value <= high;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

// The text after "echo", or false when the line is not an echo.
bool EchoText(std::string_view line, std::string_view& text) {
  while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
  constexpr std::string_view kEcho = "echo";
  if (line.substr(0, kEcho.size()) != kEcho) return false;
  line.remove_prefix(kEcho.size());
  if (!line.empty() && !IsBlank(line.front())) return false;
  while (!line.empty() && IsBlank(line.front())) line.remove_prefix(1);
  text = line;
  return true;
}

}  // namespace

Shell::Shell(Driver& driver, std::string firmwareDirectory, std::ostream& out, std::ostream& err)
    : environment_{driver, std::move(firmwareDirectory)}, out_(out), err_(err) {}

Shell::~Shell() = default;

int Shell::CurrentNumber() const noexcept {
  return controls_.empty() ? 0 : controls_[current_].number;
}

void Shell::Create(ControlKind kind) {
  controls_.push_back({nextNumber_++, MakeControl(kind, environment_)});
  current_ = controls_.size() - 1;
}

void Shell::Run(std::string_view text, int number) {
  std::string_view echo;
  if (EchoText(text, echo)) {
    out_ << echo << '\n';
    return;
  }
  const CallLine line = ParseCallLine(text);
  switch (line.kind) {
    case CallLine::Kind::kSkip:
      return;
    case CallLine::Kind::kError:
      Report(number, line.error);
      return;
    case CallLine::Kind::kCall:
      if (RunShellWord(line, number)) return;
      [[fallthrough]];
    case CallLine::Kind::kPut:
      Call(line, number);
      return;
  }
}

void Shell::RunLines(std::istream& in) {
  std::string line;
  for (int number = 1; std::getline(in, line); ++number) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    Run(line, number);
  }
}

void Shell::RunCalls(std::string_view calls) {
  int number = 1;
  for (const std::string& call : SplitCalls(calls)) Run(call, number++);
}

bool Shell::RunShellWord(const CallLine& line, int number) {
  const auto& args = line.arguments;
  if (line.name == "sleep") {
    std::uint32_t milliseconds = 0;
    if (args.size() != 1 || !ParseNumber<std::uint32_t>(args[0], 0, 0xFFFFFFFF, milliseconds)) {
      Report(number, "sleep takes a number of milliseconds from 0 to 4294967295");
      return true;
    }
    environment_.driver.Sleep(milliseconds);
  } else if (line.name == "new") {
    const auto kind =
        args.size() == 1 && !args[0].quoted ? KindFromName(args[0].text) : std::nullopt;
    if (!kind) {
      Report(number, "new takes a class: orvane, kestrin or polyax");
      return true;
    }
    Create(*kind);
  } else if (line.name == "use") {
    int wanted = 0;
    if (args.size() != 1 || !ParseNumber<int>(args[0], 1, nextNumber_ - 1, wanted)) {
      Report(number, "use takes the number of a control that exists");
      return true;
    }
    for (std::size_t k = 0; k < controls_.size(); ++k)
      if (controls_[k].number == wanted) {
        current_ = k;
        return true;
      }
    Report(number, "control " + std::to_string(wanted) + " was released");
  } else if (line.name == "wait") {
    std::uint32_t timeout = 0;
    if (args.size() > 1 ||
        (args.size() == 1 && !ParseNumber<std::uint32_t>(args[0], 0, 0xFFFFFFFF, timeout))) {
      Report(number, "wait takes a timeout in milliseconds from 0 to 4294967295, or none");
    } else if (controls_.empty()) {
      Report(number, "there is no control; create one with: new CLASS");
    } else {
      Wait(args.empty() ? std::nullopt : std::optional(timeout));
    }
  } else if (line.name == "release") {
    if (!args.empty()) {
      Report(number, "release takes no arguments");
    } else if (controls_.empty()) {
      Report(number, "there is no control to release");
    } else {
      controls_.erase(controls_.begin() + static_cast<std::ptrdiff_t>(current_));
      current_ = controls_.empty() ? 0 : controls_.size() - 1;
    }
  } else {
    return false;
  }
  return true;
}

// Polls first: a move may have ended before the wait began.
void Shell::Wait(std::optional<std::uint32_t> timeoutMs) {
  std::visit(
      [&](auto& control) {
        for (std::uint32_t waited = 0;;) {
          control->PollMoves();
          for (MoveCompletion c; control->TakeCompletion(c);)
            out_ << FormatCompletionLine(c) << '\n';
          if (!control->MovesPending()) return;
          if (timeoutMs && waited >= *timeoutMs) {
            out_ << "wait -> timeout\n";
            return;
          }
          const std::uint32_t pause =
              timeoutMs ? std::min(kMovePollPauseMs, *timeoutMs - waited) : kMovePollPauseMs;
          environment_.driver.Sleep(pause);
          waited += pause;
        }
      },
      controls_[current_].control);
}

void Shell::Call(const CallLine& line, int number) {
  if (controls_.empty()) {
    Report(number, "there is no control; create one with: new CLASS");
    return;
  }
  std::visit(
      [&](auto& control) {
        std::vector<ArgValue> arguments;
        std::string error;
        const auto* member = Resolve(MembersOf(*control), line, arguments, error);
        if (member == nullptr) {
          Report(number, error);
          return;
        }
        out_ << FormatResultLine(member->name, member->call(*control, arguments)) << '\n';
      },
      controls_[current_].control);
}

void Shell::Report(int number, const std::string& message) {
  failed_ = true;
  err_ << "zelctl: line " << number << ": " << message << '\n';
}

}  // namespace zel::zelctl
