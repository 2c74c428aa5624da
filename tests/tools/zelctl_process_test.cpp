// zelctl as its users meet it: the binary, run as a process against benches described in JSON,
// compared on standard output, standard error, exit status and trace file.
#include <gtest/gtest.h>

#include <sstream>

#include "sim/bench.h"
#include "tests/tools/zelctl_process_support.h"
#include "tools/zelctl_shell.h"

namespace zel::testing {
namespace {

using Zelctl = ZelctlProcessTest;

std::string Lines(std::initializer_list<const char*> lines) {
  std::string text;
  for (const char* line : lines) text += std::string(line) + "\n";
  return text;
}

constexpr const char* kRunningKestrin = R"({"units": [
  {"device": 1, "model": "kestrin", "firmware": "running", "serial": "KS-0007",
   "version": [2, 10], "speedDivider": 26, "limits": [-500, 500]}]})";

TEST_F(Zelctl, EveryKestrinMemberAnswersOnItsLine) {
  const Outcome run = RunOnBench(
      kRunningKestrin, "kestrin",
      "IsDevicePresent; LastError; LastErrorText; GetSerial; FirmwareVersion; GetMotorFreq 1;"
      "MoveMotor 1 400; GetMotorPosition 1; GetMotorStatus 1;"
      "MoveMotor 2 -50 1; GetMotorStatus 2; Stop 2; GetMotorStatus 2;"
      "MoveToPos 1 100 0; GetMotorPosition 1; MoveHome 1; GetMotorStatus 1; GetMotorPosition 1;"
      "SetMotorMode 1 1; GetMotorMode 1; SetMotorFreq 1 1000; GetMotorFreq 1;"
      "SetSerial \"KS-0007\"; GetSerial");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, Lines({"IsDevicePresent -> 1",
                            "LastError -> 0",
                            "LastErrorText -> \"No Error\"",
                            "GetSerial -> \"KS-0007\"",
                            "FirmwareVersion -> \"2.10\"",
                            "GetMotorFreq -> 512",  // divider 26, as set up
                            "MoveMotor -> 1",
                            "GetMotorPosition -> 400",
                            "GetMotorStatus -> 0",
                            "MoveMotor -> 1",
                            "GetMotorStatus -> 1",  // asynchronous: still running
                            "Stop -> 1",
                            "GetMotorStatus -> 0",
                            "MoveToPos -> 1",
                            "GetMotorPosition -> 100",
                            "MoveHome -> 1",
                            "GetMotorStatus -> 3",  // resting on the backward end switch
                            "GetMotorPosition -> -500",
                            "SetMotorMode -> 1",
                            "GetMotorMode -> 1",
                            "SetMotorFreq -> 1",
                            "GetMotorFreq -> 1025",
                            "SetSerial -> 1",
                            "GetSerial -> \"KS-0007\""}));
}

TEST_F(Zelctl, OrvaneSensorsAndUndervoltageSwitch) {
  const Outcome run = RunOnBench(
      R"({"units": [{"device": 0, "model": "orvane", "firmware": "running",
                     "adc": {"1": 1234, "4": 3048}, "temperatureRaw": 3048}]})",
      "orvane",
      "Temperature; ADC 1; ADC 7; Temperature = 20.5; Temperature; ADC 4;"
      "UndervoltageDetection; UndervoltageDetection = 0; UndervoltageDetection;"
      "UndervoltageDetection = -1; UndervoltageDetection");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, Lines({"Temperature -> 20", "ADC -> 1234",
                            "ADC -> 2147483647",  // channel 7 holds no value
                            "Temperature -> S_OK",
                            "Temperature -> 20.6",  // the actuator moves 10 counts a step
                            "ADC -> 3078", "UndervoltageDetection -> 1",
                            "UndervoltageDetection -> S_OK", "UndervoltageDetection -> 0",
                            "UndervoltageDetection -> S_OK", "UndervoltageDetection -> 1"}));
}

TEST_F(Zelctl, PolyaxShuttersAndMotors) {
  const Outcome run = RunOnBench(
      R"({"units": [{"device": 4, "model": "polyax", "firmware": "running", "lines": {"15": 1},
                     "limits": [-300, 300]}]})",
      "polyax",
      "GetShutterState 1; GetShutterState 2; SetShutterState 1 -1; GetShutterState 1;"
      "SetShutterState 2 0; GetShutterState 2; SetShutterState 3 1; GetShutterState 0;"
      "MoveMotor 32 200; GetMotorPosition 32; MoveToPos 2 -100 -1; GetMotorStatus 2; sleep 2000;"
      "GetMotorStatus 2; GetMotorPosition 2; MoveHome 1; GetMotorStatus 1;"
      "SetMotorFreq 0 700; GetMotorFreq 2");
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, Lines({"GetShutterState -> 0", "GetShutterState -> 1", "SetShutterState -> 1",
                            "GetShutterState -> 1", "SetShutterState -> 1", "GetShutterState -> 0",
                            "SetShutterState -> 0", "GetShutterState -> 0", "MoveMotor -> 1",
                            "GetMotorPosition -> 200", "MoveToPos -> 1", "GetMotorStatus -> 1",
                            "GetMotorStatus -> 0", "GetMotorPosition -> -100", "MoveHome -> 1",
                            "GetMotorStatus -> 3", "SetMotorFreq -> 1", "GetMotorFreq -> 701"}));
}

TEST_F(Zelctl, WithoutAUnitEveryMemberStillAnswers) {
  const std::string empty = R"({"units": []})";
  Outcome run =
      RunOnBench(empty, "orvane",
                 "IsDevicePresent; LastError; LastErrorText; GetSerial; FirmwareVersion;"
                 "GetMotorPosition 1; GetMotorStatus 1; GetMotorFreq 1; Temperature; ADC 4;"
                 "UndervoltageDetection; Temperature = 20; MoveMotor 1 100; SetSerial \"\"");
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out,
            Lines({"IsDevicePresent -> 0", "LastError -> 1", "LastErrorText -> \"No Device\"",
                   "GetSerial -> \"\"", "FirmwareVersion -> \"0.0\"",
                   "GetMotorPosition -> 2147483647", "GetMotorStatus -> 4", "GetMotorFreq -> -1",
                   "Temperature -> inf", "ADC -> 2147483647", "UndervoltageDetection -> 1",
                   "Temperature -> S_OK", "MoveMotor -> 0", "SetSerial -> 0"}));
  // The decided fault: shutters 1 and 2 report the line write's own failure.
  run = RunOnBench(empty, "polyax", "SetShutterState 1 1; SetShutterState 2 0; GetShutterState 1");
  EXPECT_EQ(run.out,
            Lines({"SetShutterState -> 0", "SetShutterState -> 0", "GetShutterState -> 0"}));
}

TEST_F(Zelctl, RefusedSynchronousMoveKeepsItsStatusForLastError) {
  const Outcome run = RunOnBench(kRunningKestrin, "kestrin",
                                 "MoveMotor 3 100; LastError; LastErrorText; MoveMotor 1 10 1;"
                                 "MoveMotor 1 10; LastError");
  EXPECT_EQ(run.out, Lines({"MoveMotor -> 0", "LastError -> 12",
                            "LastErrorText -> \"No motor present\"", "MoveMotor -> 1",
                            "MoveMotor -> 0",  // refused: the motor is still running
                            "LastError -> 0"}));
}

// With a millisecond a request, 1-step moves at the highest speed have ended before their
// status is read: each still runs once.
TEST_F(Zelctl, ShortMovesOnABenchWithRequestTimeRunOnce) {
  const Outcome run = RunOnBench(
      R"({"requestMicros": 1000, "units": [{"device": 0, "model": "kestrin", "firmware": "running"}]})",
      "kestrin",
      "SetMotorFreq 1 13333; MoveMotor 1 1; MoveMotor 1 1; MoveMotor 1 1; GetMotorPosition 1");
  EXPECT_EQ(run.out, Lines({"SetMotorFreq -> 1", "MoveMotor -> 1", "MoveMotor -> 1",
                            "MoveMotor -> 1", "GetMotorPosition -> 3"}));
}

TEST_F(Zelctl, SerialNumbersSelectUnitsCaseSensitively) {
  const Outcome run = RunOnBench(
      R"({"units": [{"device": 0, "model": "kestrin", "firmware": "running", "serial": "KS-1"},
                    {"device": 6, "model": "kestrin", "firmware": "running", "serial": "KS-2"}]})",
      "kestrin",
      "GetSerial; SetSerial \"KS-2\"; GetSerial; SetSerial \"ks-2\"; IsDevicePresent; LastError;"
      "GetSerial; SetSerial \"\"; GetSerial");
  EXPECT_EQ(run.out, Lines({"GetSerial -> \"KS-1\"", "SetSerial -> 1", "GetSerial -> \"KS-2\"",
                            "SetSerial -> 0", "IsDevicePresent -> 0", "LastError -> 1",
                            "GetSerial -> \"\"", "SetSerial -> 1", "GetSerial -> \"KS-1\""}));
}

TEST_F(Zelctl, DefaultBenchBootsItsUnitsFromTheImagesBesideTheShell) {
  const Outcome run = Run({"polyax", "-c",
                           "IsDevicePresent; GetSerial; GetMotorFreq 1; new orvane;"
                           "GetSerial; GetMotorFreq 1; new kestrin; GetSerial"});
  EXPECT_EQ(run.err, "");
  EXPECT_EQ(run.out,
            Lines({"IsDevicePresent -> 1", "GetSerial -> \"PX-0001\"",
                   "GetMotorFreq -> 1481",  // the default 1400, as the divider allows
                   "GetSerial -> \"OR-0001\"", "GetMotorFreq -> 784", "GetSerial -> \"KS-0001\""}));
}

TEST_F(Zelctl, MissingImagesSkipUnitsThatNeedThem) {
  std::filesystem::create_directories(dir_ / "nothing");
  const Outcome run = RunOnBench(
      R"({"units": [{"device": 0, "model": "kestrin", "serial": "KS-1"},
                    {"device": 1, "model": "kestrin", "firmware": "running", "serial": "KS-2"}]})",
      "kestrin", "GetSerial", {"--firmware-dir", Path("nothing"), "--trace", Path("trace.txt")});
  EXPECT_EQ(run.out, "GetSerial -> \"KS-2\"\n");
  // Unit 0 was put into reset for the download that found no file, and stays there.
  EXPECT_NE(Read("trace.txt").find("write 0 0x7F92 01 ok\nwrite 0 0x7F92 01 ok\nclose 0\n"),
            std::string::npos);
  EXPECT_EQ(Read("trace.txt").find("write 0 0x7F92 00"), std::string::npos);
}

TEST_F(Zelctl, StandardInputWithCommentsBlankLinesAndMistakes) {
  const Outcome run =
      Run({"kestrin"}, Lines({"# a session", "", "IsDevicePresent\r", "   # indented comment",
                              "Bogus 1", "GetSerial", "MoveMotor 1 \"4\"", "\tLastError",
                              "SetSerial \"KS", "Temperature = 3"}));
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, Lines({"IsDevicePresent -> 1", "GetSerial -> \"KS-0001\"", "LastError -> 0"}));
  EXPECT_EQ(run.err,
            Lines({"zelctl: line 5: KestrinControl has no member Bogus",
                   "zelctl: line 7: MoveMotor argument 2: expected a 32-bit integer, not \"4\"",
                   "zelctl: line 9: the text in double quotes is not closed",
                   "zelctl: line 10: KestrinControl has no member Temperature"}));
}

TEST_F(Zelctl, ShellWordsManageSeveralControls) {
  const Outcome run = Run(
      {"kestrin", "-c",
       "new polyax; GetSerial; new orvane; use 1; GetSerial; use 3; GetSerial; release; GetSerial;"
       "release; GetSerial; release; GetSerial; use 1; new kestrin; use 4; GetSerial; use 0;"
       "new; new Kestrin; release 1; sleep; sleep -1; sleep 4294967296; echo  a ; b"});
  EXPECT_EQ(run.status, 1);
  EXPECT_EQ(run.out, Lines({"GetSerial -> \"PX-0001\"", "GetSerial -> \"KS-0001\"",
                            "GetSerial -> \"OR-0001\"",
                            "GetSerial -> \"PX-0001\"",  // 3 released: 2 is the latest left
                            "GetSerial -> \"KS-0001\"", "GetSerial -> \"KS-0001\"", "a "}));
  const char* sleepUsage = "sleep takes a number of milliseconds from 0 to 4294967295";
  const char* useUsage = "use takes the number of a control that exists";
  const char* newUsage = "new takes a class: orvane, kestrin or polyax";
  EXPECT_EQ(run.err,
            "zelctl: line 13: there is no control; create one with: new CLASS\n"
            "zelctl: line 14: control 1 was released\n"
            "zelctl: line 18: " +
                std::string(useUsage) + "\n" + "zelctl: line 19: " + newUsage + "\n" +
                "zelctl: line 20: " + newUsage + "\n" +
                "zelctl: line 21: release takes no arguments\n"
                "zelctl: line 22: " +
                sleepUsage + "\n" + "zelctl: line 23: " + sleepUsage + "\n" + "zelctl: line 24: " +
                sleepUsage + "\n" + "zelctl: line 26: KestrinControl has no member b\n");
}

TEST_F(Zelctl, TraceFileHoldsEveryDriverOperation) {
  const Outcome run = RunOnBench(
      R"({"units": [{"device": 1, "model": "kestrin", "firmware": "running",
                     "speedDivider": 26}]})",
      "kestrin", "GetMotorPosition 1; sleep 250", {"--trace", Path("trace.txt")});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(
      Read("trace.txt"),
      Lines({// the search: nothing at 0, the Kestrin at 1
             "open 0 fail", "open 1 ok", "descriptor 1 ok", "close 1",
             // the running check: the heartbeat changes within 500 ms
             "open 1 ok", "read 1 0x1D10 1 ok 01", "close 1", "open 1 ok", "close 1", "sleep 500",
             "open 1 ok", "read 1 0x1D10 1 ok 03", "close 1", "open 1 ok", "close 1",
             // the speed reads non-zero, so it is left alone
             "open 1 ok", "read 1 0x1C26 2 ok 1A 00", "close 1",
             // GetMotorPosition 1, then the shell's sleep
             "open 1 ok", "read 1 0x1C36 4 ok 00 00 00 00", "close 1", "sleep 250"}));
}

// A longer session traced by the shell binary must match, line for line, the bench's own record
// of the same session run in this process.
TEST_F(Zelctl, TraceFileMatchesTheBenchsRecord) {
  const std::string calls =
      "MoveMotor 1 300; MoveMotor 2 -20 1; sleep 30; GetMotorStatus 2; Temperature = 1;"
      "UndervoltageDetection = 0; new polyax; SetShutterState 2 1; MoveMotor 7 5; SetSerial \"x\"";
  const Outcome run = Run({"orvane", "--trace", Path("trace.txt"), "-c", calls});
  ASSERT_EQ(run.status, 0) << run.err;

  sim::Bench bench(sim::DefaultBench());
  std::ostringstream out, err;
  {
    const std::string beside = std::filesystem::path(ZELCTL_PATH).parent_path().string();
    zelctl::Shell shell(bench, beside, out, err);
    shell.Create(zelctl::ControlKind::kOrvane);
    shell.RunCalls(calls);
  }
  EXPECT_EQ(out.str(), run.out);
  std::string expected;
  for (const auto& line : bench.TraceLines()) expected += line + "\n";
  EXPECT_EQ(Read("trace.txt"), expected);
  EXPECT_GT(bench.TraceLines().size(), 1000u);  // two downloads among them
}

TEST_F(Zelctl, SessionsThatCannotStartExitWithStatusTwo) {
  const struct {
    std::vector<std::string> args;
    std::string err;
    bool usage = false;  // a mistake on the command line is followed by the usage
  } cases[] = {
      {{"--bench", Write("b1.json", R"({"units": [{"device": 200, "model": "kestrin"}]})"),
        "kestrin"},
       "zelctl: " + Path("b1.json") + ": units[0].device: expected an integer from 0 to 127\n"},
      {{"--bench", Path("missing.json"), "kestrin"},
       "zelctl: " + Path("missing.json") + ": cannot be read\n"},
      {{"gantry"}, "zelctl: unknown class gantry (orvane, kestrin or polyax)\n", true},
      {{"--trace", Path("no/such/dir/trace.txt"), "kestrin"},
       "zelctl: " + Path("no/such/dir/trace.txt") + ": cannot be written\n"},
  };
  constexpr auto npos = std::string::npos;
  for (const auto& c : cases) {
    const Outcome run = Run(c.args, "LastError\n");
    EXPECT_EQ(run.status, 2) << c.err;
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(run.err.substr(0, c.err.size()), c.err);
    EXPECT_EQ(run.err.find("usage: zelctl") != npos, c.usage) << c.err;
  }
}

// The demo's sessions must keep running cleanly, with the results their narration promises.
TEST_F(Zelctl, DemoSessionsRunAsNarrated) {
  const std::string examples = ZELCTL_EXAMPLES;
  Outcome run = Run({"orvane"}, ReadPath(examples + "/demo.zel"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  for (const char* promised :
       {"GetMotorPosition -> 400\n", "GetMotorPosition -> -1000\n", "LastError -> 12\n",
        "LastErrorText -> \"No motor present\"\n", "GetShutterState -> 1\n"})
    EXPECT_NE(run.out.find(promised), std::string::npos) << promised;
  run = Run({"--bench", examples + "/two-kestrins.json", "kestrin"},
            ReadPath(examples + "/serials.zel"));
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.err, "");
  EXPECT_NE(run.out.find("SetSerial -> 1\nGetSerial -> \"KS-0002\"\nGetMotorFreq -> 133\n"),
            std::string::npos);
}

TEST_F(Zelctl, LiveBenchAndHelp) {
  Outcome run = RunOnBench(R"({"units": []})", "kestrin", "LastError", {"--live"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out, "LastError -> 1\n");
  run = Run({"--help"});
  EXPECT_EQ(run.status, 0);
  EXPECT_EQ(run.out.rfind("usage: zelctl [--bench FILE] [--live] [--trace FILE] "
                          "[--firmware-dir DIR] CLASS [-c CALLS]\n",
                          0),
            0u);
}

}  // namespace
}  // namespace zel::testing
