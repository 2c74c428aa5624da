#include "sim/bench_description.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include "sim/bench.h"

namespace zel::sim {
namespace {

BenchConfig Parse(const std::string& json) {
  std::string error;
  const auto bench = ParseBenchDescription(json, error);
  EXPECT_TRUE(bench.has_value()) << error;
  return bench.value_or(BenchConfig{});
}

std::string Rejection(const std::string& json) {
  std::string error;
  const auto bench = ParseBenchDescription(json, error);
  EXPECT_FALSE(bench.has_value()) << json;
  return error;
}

TEST(BenchDescriptionTest, MinimalUnitTakesTheDefaults) {
  const BenchConfig bench = Parse(R"({"units": [{"device": 5, "model": "polyax"}]})");
  ASSERT_EQ(bench.units.size(), 1u);
  const UnitConfig& unit = bench.units[0];
  const UnitConfig defaults;
  EXPECT_EQ(unit.device, 5);
  EXPECT_EQ(unit.model, UnitModel::kPolyax);
  EXPECT_FALSE(unit.vendor || unit.product || unit.release);
  EXPECT_FALSE(unit.firmwareRunning);
  EXPECT_EQ(unit.serial, "");
  EXPECT_EQ(unit.eepromMarker, 176);
  EXPECT_EQ(unit.version, defaults.version);
  EXPECT_EQ(unit.limits, defaults.limits);
  EXPECT_TRUE(unit.motors.empty());
  EXPECT_EQ(unit.temperatureRaw, 2048);
  EXPECT_EQ(unit.countsPerStep, 10);
  EXPECT_FALSE(unit.unplugged);
  EXPECT_FALSE(unit.unplugAtMillis);
  EXPECT_TRUE(Parse(R"({"units": []})").units.empty());
  EXPECT_EQ(bench.requestMicros, 0u);
}

TEST(BenchDescriptionTest, EveryKeyReachesTheUnit) {
  const BenchConfig bench = Parse(R"({"requestMicros": 1000, "units": [
    {"device": 0, "model": "orvane", "vendor": 4660, "product": 22136, "release": 258,
     "firmware": "running", "serial": "OR-0042", "eepromMarker": 178, "version": [2, 10],
     "speedDivider": 65535, "positions": [-5, 7], "limits": [-100, 200],
     "adc": {"0": 0, "7": 65535}, "temperatureRaw": 3048, "countsPerStep": -3,
     "lines": {"14": 1, "0": 0}, "unplugged": true, "unplugAtMillis": 1500},
    {"device": 127, "model": "polyax", "motors": [2, 3, 32], "faultyMotors": [3],
     "positions": [1, 2, 3]},
    {"device": 9, "model": "kestrin", "firmware": "none"}]})");
  ASSERT_EQ(bench.units.size(), 3u);
  EXPECT_EQ(bench.requestMicros, 1000u);
  const UnitConfig& o = bench.units[0];
  EXPECT_EQ(o.vendor, 0x1234);
  EXPECT_EQ(o.product, 0x5678);
  EXPECT_EQ(o.release, 0x0102);
  EXPECT_TRUE(o.firmwareRunning);
  EXPECT_EQ(o.serial, "OR-0042");
  EXPECT_EQ(o.eepromMarker, 178);
  EXPECT_EQ(o.version[0], 2);
  EXPECT_EQ(o.version[1], 10);
  EXPECT_EQ(o.speedDivider, 0xFFFF);
  EXPECT_EQ(o.positions, (std::vector<std::int32_t>{-5, 7}));
  EXPECT_EQ(o.limits[0], -100);
  EXPECT_EQ(o.limits[1], 200);
  EXPECT_EQ(o.adc, (std::map<int, std::uint16_t>{{0, 0}, {7, 0xFFFF}}));
  EXPECT_EQ(o.temperatureRaw, 3048);
  EXPECT_EQ(o.countsPerStep, -3);
  EXPECT_EQ(o.lines, (std::map<int, int>{{0, 0}, {14, 1}}));
  EXPECT_TRUE(o.unplugged);
  EXPECT_EQ(o.unplugAtMillis, 1500u);
  const UnitConfig& p = bench.units[1];
  EXPECT_EQ(p.device, 127);
  EXPECT_EQ(p.motors, (std::vector<int>{2, 3, 32}));
  EXPECT_EQ(p.faultyMotors, (std::vector<int>{3}));
  EXPECT_EQ(p.positions.size(), 3u);
  EXPECT_EQ(bench.units[2].model, UnitModel::kKestrin);
  EXPECT_FALSE(bench.units[2].firmwareRunning);
}

TEST(BenchDescriptionTest, RejectionsNameTheKey) {
  const struct {
    const char* json;
    const char* error;
  } cases[] = {
      {R"([])", "description: expected an object with the key \"units\""},
      {R"({})", "units: missing, but required"},
      {R"({"units": {}})", "units: expected an array of units"},
      {R"({"units": [], "unit": 1})", "unit: unknown key"},
      {R"({"units": [], "requestMicros": -1})",
       "requestMicros: expected an integer from 0 to 1000000"},
      {R"({"units": [], "requestMicros": 1.5})",
       "requestMicros: expected an integer from 0 to 1000000"},
      {R"({"units": [3]})", "units[0]: expected an object describing a unit"},
      {R"({"units": [{"model": "kestrin"}]})", "units[0].device: missing, but required"},
      {R"({"units": [{"device": 1}]})", "units[0].model: missing, but required"},
      {R"({"units": [{"device": 128, "model": "kestrin"}]})",
       "units[0].device: expected an integer from 0 to 127"},
      {R"({"units": [{"device": -1, "model": "kestrin"}]})",
       "units[0].device: expected an integer from 0 to 127"},
      {R"({"units": [{"device": 1.5, "model": "kestrin"}]})",
       "units[0].device: expected an integer from 0 to 127"},
      {R"({"units": [{"device": "1", "model": "kestrin"}]})",
       "units[0].device: expected an integer from 0 to 127"},
      {R"({"units": [{"device": 1, "model": "Kestrin"}]})",
       "units[0].model: expected \"orvane\", \"kestrin\" or \"polyax\""},
      {R"({"units": [{"device": 1, "model": "kestrin", "speed": 3}]})",
       "units[0].speed: unknown key"},
      {R"({"units": [{"device": 1, "model": "kestrin", "vendor": 65536}]})",
       "units[0].vendor: expected an integer from 0 to 65535"},
      {R"({"units": [{"device": 1, "model": "kestrin", "firmware": true}]})",
       "units[0].firmware: expected \"running\" or \"none\""},
      {R"({"units": [{"device": 1, "model": "kestrin", "serial": "12345678901234567"}]})",
       "units[0].serial: expected a text of up to 16 bytes"},
      {R"({"units": [{"device": 1, "model": "kestrin", "serial": "KS-\u4e2d"}]})",
       "units[0].serial: expected a text in Windows-1252, the units' code page"},
      {R"({"units": [{"device": 1, "model": "kestrin", "eepromMarker": 256}]})",
       "units[0].eepromMarker: expected an integer from 0 to 255"},
      {R"({"units": [{"device": 1, "model": "kestrin", "version": [1]}]})",
       "units[0].version: expected an array of 2 elements"},
      {R"({"units": [{"device": 1, "model": "kestrin", "version": [1, 300]}]})",
       "units[0].version[1]: expected an integer from 0 to 255"},
      {R"({"units": [{"device": 1, "model": "kestrin", "positions": [1, 2, 3]}]})",
       "units[0].positions: expected an array of 0 to 2 elements"},
      {R"({"units": [{"device": 1, "model": "kestrin", "positions": [2147483648]}]})",
       "units[0].positions[0]: expected an integer from -2147483648 to 2147483647"},
      {R"({"units": [{"device": 1, "model": "kestrin", "limits": [5, -5]}]})",
       "units[0].limits: the backward limit lies beyond the forward limit"},
      {R"({"units": [{"device": 1, "model": "kestrin", "motors": [1]}]})",
       "units[0].motors: only a polyax unit has more than two motors to list"},
      {R"({"units": [{"device": 1, "model": "polyax", "motors": []}]})",
       "units[0].motors: expected an array of 1 to 32 elements"},
      {R"({"units": [{"device": 1, "model": "polyax", "motors": [0]}]})",
       "units[0].motors[0]: expected an integer from 1 to 32"},
      {R"({"units": [{"device": 1, "model": "polyax", "faultyMotors": [4, 4]}]})",
       "units[0].faultyMotors[1]: motor 4 is listed twice"},
      {R"({"units": [{"device": 1, "model": "orvane", "adc": {"8": 1}}]})",
       "units[0].adc.8: \"8\" is not a number from 0 to 7"},
      {R"({"units": [{"device": 1, "model": "orvane", "adc": {"x": 1}}]})",
       "units[0].adc.x: \"x\" is not a number from 0 to 7"},
      {R"({"units": [{"device": 1, "model": "orvane", "adc": {"1": 65536}}]})",
       "units[0].adc.1: expected an integer from 0 to 65535"},
      {R"({"units": [{"device": 1, "model": "orvane", "adc": [1]}]})",
       "units[0].adc: expected an object from channel number to raw value"},
      {R"({"units": [{"device": 1, "model": "orvane", "lines": {"16": 1}}]})",
       "units[0].lines.16: \"16\" is not a number from 0 to 15"},
      {R"({"units": [{"device": 1, "model": "orvane", "lines": {"3": 2}}]})",
       "units[0].lines.3: expected an integer from 0 to 1"},
      {R"({"units": [{"device": 1, "model": "orvane", "unplugged": 1}]})",
       "units[0].unplugged: expected true or false"},
      {R"({"units": [{"device": 4, "model": "orvane"}, {"device": 4, "model": "polyax"}]})",
       "units[1].device: device number 4 is taken by an earlier unit"},
  };
  for (const auto& c : cases) EXPECT_EQ(Rejection(c.json), c.error) << c.json;
}

TEST(BenchDescriptionTest, SyntaxErrorsSayWhere) {
  const std::string error = Rejection(R"({"units": [}")");
  EXPECT_EQ(error.rfind("not valid JSON: parse error at line 1, column 12", 0), 0u) << error;
  EXPECT_EQ(Rejection("").rfind("not valid JSON: ", 0), 0u);
}

class BenchDescriptionFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    path_ = std::filesystem::temp_directory_path() /
            ("zel_" + std::string(test->name()) + "_" + std::to_string(::getpid()) + ".json");
  }
  void TearDown() override { std::filesystem::remove(path_); }
  void Write(const std::string& text) { std::ofstream(path_) << text; }
  std::filesystem::path path_;
};

TEST_F(BenchDescriptionFileTest, LoadedBenchServesTheDescribedUnit) {
  Write(R"({"units": [{"device": 3, "model": "kestrin", "firmware": "running",
                       "product": 4660, "serial": "KS-0003"}]})");
  std::string error;
  const auto config = LoadBenchDescription(path_.string(), error);
  ASSERT_TRUE(config) << error;
  Bench bench(*config);
  EXPECT_TRUE(bench.HasUnit(3));
  EXPECT_FALSE(bench.HasUnit(0));
  EXPECT_TRUE(bench.FirmwareRunning(3));
}

TEST_F(BenchDescriptionFileTest, ErrorsNameTheFile) {
  Write(R"({"units": [{"device": 3}]})");
  std::string error;
  EXPECT_FALSE(LoadBenchDescription(path_.string(), error));
  EXPECT_EQ(error, path_.string() + ": units[0].model: missing, but required");
  std::filesystem::remove(path_);
  EXPECT_FALSE(LoadBenchDescription(path_.string(), error));
  EXPECT_EQ(error, path_.string() + ": cannot be read");
}

}  // namespace
}  // namespace zel::sim

namespace zel::sim {
namespace {

// Found by the fuzzer: a number too large for any type must be refused, not thrown out.
TEST(BenchDescriptionTest, NumberTooLargeForAnyTypeIsRefused) {
  std::string error;
  EXPECT_FALSE(ParseBenchDescription("99E3267067619r", error).has_value());
  EXPECT_NE(error.find("not valid JSON"), std::string::npos) << error;
  EXPECT_FALSE(
      ParseBenchDescription(R"({"units": [{"device": 1e999999, "model": "kestrin"}]})", error));
  EXPECT_FALSE(error.empty());
}

}  // namespace
}  // namespace zel::sim
