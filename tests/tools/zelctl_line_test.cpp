#include "tools/zelctl_line.h"

#include <gtest/gtest.h>

#include <string>

namespace zel::zelctl {
namespace {

// The words of a line as one text, each quoted word in [brackets]: easy to compare.
std::string Words(const CallLine& line) {
  std::string text = line.name;
  for (const Word& w : line.arguments) text += w.quoted ? " [" + w.text + "]" : " " + w.text;
  return text;
}

TEST(ZelctlLineTest, CallsSplitIntoNameAndWords) {
  const struct {
    const char* line;
    CallLine::Kind kind;
    const char* words;
  } cases[] = {
      {"MoveMotor 1 400", CallLine::Kind::kCall, "MoveMotor 1 400"},
      {"  MoveMotor\t1   400 1  ", CallLine::Kind::kCall, "MoveMotor 1 400 1"},
      {"Temperature", CallLine::Kind::kCall, "Temperature"},
      {"SetSerial \"KS-0002\"", CallLine::Kind::kCall, "SetSerial [KS-0002]"},
      {"SetSerial \"\"", CallLine::Kind::kCall, "SetSerial []"},
      {"SetSerial \"a b;c\"", CallLine::Kind::kCall, "SetSerial [a b;c]"},
      {R"(SetSerial "say \"hi\" \\ \n")", CallLine::Kind::kCall, R"(SetSerial [say "hi" \ \n])"},
      {"Temperature = 20.5", CallLine::Kind::kPut, "Temperature 20.5"},
      {"UndervoltageDetection=0", CallLine::Kind::kPut, "UndervoltageDetection 0"},
      {"Name = \"=\"", CallLine::Kind::kPut, "Name [=]"},
      {"MoveMotor -1 -0x10", CallLine::Kind::kCall, "MoveMotor -1 -0x10"},
      {"sleep 10", CallLine::Kind::kCall, "sleep 10"},
      {"x\r", CallLine::Kind::kCall, "x"},
  };
  for (const auto& c : cases) {
    const CallLine line = ParseCallLine(c.line);
    EXPECT_EQ(line.kind, c.kind) << c.line << ": " << line.error;
    EXPECT_EQ(Words(line), c.words) << c.line;
  }
}

TEST(ZelctlLineTest, BlankAndCommentLinesAreSkipped) {
  for (const char* text : {"", "   ", "\t\r", "# MoveMotor 1 400", "   #", "#"})
    EXPECT_EQ(ParseCallLine(text).kind, CallLine::Kind::kSkip) << '"' << text << '"';
}

TEST(ZelctlLineTest, MalformedLinesSayWhy) {
  const struct {
    const char* line;
    const char* error;
  } cases[] = {
      {"SetSerial \"KS", "the text in double quotes is not closed"},
      {"SetSerial \"KS\"x", "a quoted text must end its word"},
      {"SetSerial K\"S\"", "a double quote inside a word"},
      {"\"SetSerial\" 1", "a call starts with a member name, not \"SetSerial\""},
      {"1MoveMotor", "a call starts with a member name, not \"1MoveMotor\""},
      {"Move-Motor 1", "a call starts with a member name, not \"Move-Motor\""},
      {"= 5", "a call starts with a member name, not \"=\""},
      {"Temperature =", "a property put takes exactly one value: Temperature = value"},
      {"Temperature = 1 2", "a property put takes exactly one value: Temperature = value"},
      {"MoveMotor 1 = 2", "'=' belongs right after the property name: Name = value"},
      {"Temperature = = 2", "'=' belongs right after the property name: Name = value"},
  };
  for (const auto& c : cases) {
    const CallLine line = ParseCallLine(c.line);
    EXPECT_EQ(line.kind, CallLine::Kind::kError) << c.line;
    EXPECT_EQ(line.error, c.error) << c.line;
  }
}

TEST(ZelctlLineTest, CallsSplitAtSemicolonsOutsideQuotes) {
  EXPECT_EQ(SplitCalls("A 1;B;;C"), (std::vector<std::string>{"A 1", "B", "", "C"}));
  EXPECT_EQ(SplitCalls("SetSerial \"a;b\";X"),
            (std::vector<std::string>{"SetSerial \"a;b\"", "X"}));
  EXPECT_EQ(SplitCalls(R"(S "a\";b";X)"), (std::vector<std::string>{R"(S "a\";b")", "X"}));
  EXPECT_EQ(SplitCalls("A\nB;"), (std::vector<std::string>{"A", "B", ""}));
  EXPECT_EQ(SplitCalls(""), (std::vector<std::string>{""}));
}

}  // namespace
}  // namespace zel::zelctl
