#include "link/ez_usb_link.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>

#include "sim/bench.h"
#include "tests/support/bench_units.h"

namespace zel {
namespace {

using sim::UnitModel;
using testing::Bench;
using ::testing::ElementsAre;
using testing::Lines;
using testing::Unit;

// Keeps the raw buffers of every request, so the exact bytes the link sends can be checked. It
// can also end the next read otherwise than the bench did, after the bench filled the buffer.
class RecordingDriver final : public Driver {
 public:
  explicit RecordingDriver(Driver& inner) : inner_(inner) {}
  struct Call {
    std::uint32_t code;
    std::vector<std::uint8_t> in;
    std::uint32_t outSize;
  };
  std::vector<Call> calls;
  enum class ReadEnd { kAsServed, kFailed, kNothingCounted };
  ReadEnd nextRead = ReadEnd::kAsServed;

  DriverHandle Open(const char* name) noexcept override { return inner_.Open(name); }
  bool Request(DriverHandle h, std::uint32_t code, const void* in, std::uint32_t inSize, void* out,
               std::uint32_t outSize, std::uint32_t& returned) noexcept override {
    const auto* bytes = static_cast<const std::uint8_t*>(in);
    calls.push_back({code, std::vector<std::uint8_t>(bytes, bytes + inSize), outSize});
    const bool ok = inner_.Request(h, code, in, inSize, out, outSize, returned);
    if (code != ezusb::kIoctlVendorRequest || nextRead == ReadEnd::kAsServed) return ok;
    const ReadEnd end = std::exchange(nextRead, ReadEnd::kAsServed);
    returned = 0;
    return end == ReadEnd::kNothingCounted;
  }
  void Close(DriverHandle h) noexcept override { inner_.Close(h); }
  void Sleep(std::uint32_t ms) noexcept override { inner_.Sleep(ms); }

 private:
  Driver& inner_;
};

// "open N fail" for the device numbers N from `first` to 127, in order.
std::vector<std::string> FailedOpens(int first) {
  std::vector<std::string> lines;
  for (int n = first; n < ezusb::kDeviceCount; ++n)
    lines.push_back("open " + std::to_string(n) + " fail");
  return lines;
}

TEST(EzUsbLinkTest, NewLinkReportsNoErrorWithoutTouchingTheDriver) {
  sim::Bench bench(Bench({Unit(0, UnitModel::kKestrin)}));
  EzUsbLink link(bench);
  EXPECT_FALSE(link.DevicePresent());
  EXPECT_EQ(link.DeviceIndex(), 0);
  EXPECT_TRUE(bench.TraceLines().empty());
  EXPECT_EQ(link.GetStatus(), LinkStatus::eErrorNoError);
  EXPECT_STREQ(StatusMessage(link.GetStatus()), "No Error");
}

// The bench names the device number of every name it is asked to open (-1 for a name that
// is not "\\.\ezusb-" and a number 0 to 127), so its trace shows the whole search: 128 failed
// opens, 0 to 127 in order. Afterwards the link addresses number 128 and opens nothing at all,
// neither for the status probe nor for a read.
TEST(EzUsbLinkTest, EnumerationWithoutDevicesFails128OpensThenOpensNothing) {
  sim::Bench bench;
  EzUsbLink link(bench);
  EXPECT_FALSE(link.FindFirstDevice());
  EXPECT_EQ(bench.TraceLines(), FailedOpens(0));
  EXPECT_EQ(link.DeviceIndex(), 128);
  EXPECT_FALSE(link.DevicePresent());
  EXPECT_EQ(link.GetStatus(), LinkStatus::eErrorNoDevice);  // 1 from the probe, not the store
  EXPECT_EQ(link.ReadByte(ezusb::kHeartbeat), 0);
  EXPECT_EQ(bench.TraceLines(), FailedOpens(0));
}

TEST(EzUsbLinkTest, EnumerationSkipsOtherProductsAndContinuesAfterTheMatch) {
  sim::Bench bench(Bench(
      {Unit(0, UnitModel::kOrvane), Unit(3, UnitModel::kKestrin), Unit(5, UnitModel::kKestrin)}));
  EzUsbLink link(bench);
  link.SetFilters(ezusb::kVendorId, ezusb::kProductKestrin, 0);
  ASSERT_TRUE(link.FindFirstDevice());
  EXPECT_EQ(link.DeviceIndex(), 3);
  EXPECT_TRUE(link.DevicePresent());
  bench.ClearTrace();
  ASSERT_TRUE(link.FindNextDevice());
  EXPECT_EQ(link.DeviceIndex(), 5);
  EXPECT_EQ(bench.TraceLines().front(), "open 4 fail");
  EXPECT_FALSE(link.FindNextDevice());
  EXPECT_EQ(link.DeviceIndex(), 128);
}

TEST(EzUsbLinkTest, ZeroFiltersMatchAnyProductAndRelease) {
  sim::UnitConfig odd = Unit(2, UnitModel::kPolyax);
  odd.product = 0x1234;
  odd.release = 0x0A00;
  sim::Bench bench(Bench({odd}));
  EzUsbLink link(bench);  // as constructed: vendor 0x5A45, product 0, release 0
  ASSERT_TRUE(link.FindFirstDevice());
  EXPECT_EQ(link.DeviceIndex(), 2);

  link.SetFilters(ezusb::kVendorId, 0x1234, 0x0A01);
  EXPECT_FALSE(link.FindFirstDevice());
  odd.vendor = 0x1111;
  bench.Attach(odd);
  link.SetFilters(ezusb::kVendorId, 0, 0);
  EXPECT_FALSE(link.FindFirstDevice());
}

TEST(EzUsbLinkTest, DeviceWhoseDescriptorFailsIsSkipped) {
  sim::Bench bench(Bench({Unit(1, UnitModel::kKestrin), Unit(2, UnitModel::kKestrin)}));
  EzUsbLink link(bench);
  bench.FailNextRequest(sim::TraceKind::kDescriptor);
  ASSERT_TRUE(link.FindFirstDevice());
  EXPECT_EQ(link.DeviceIndex(), 2);
  EXPECT_THAT(Lines(bench, {"descriptor"}), ElementsAre("descriptor 1 fail", "descriptor 2 ok"));
}

// The search examines the Orvane at 0 and fails to open 1 to 127. From then on the link
// addresses number 128: no request opens anything, so none can reach the Orvane.
TEST(EzUsbLinkTest, AfterAFailedSearchNothingIsOpened) {
  sim::Bench bench(Bench({Unit(0, UnitModel::kOrvane, true)}));
  EzUsbLink link(bench);
  link.SetFilters(ezusb::kVendorId, ezusb::kProductKestrin, 0);
  ASSERT_FALSE(link.FindFirstDevice());
  std::vector<std::string> search = {"open 0 ok", "descriptor 0 ok", "close 0"};
  const auto rest = FailedOpens(1);
  search.insert(search.end(), rest.begin(), rest.end());
  EXPECT_EQ(bench.TraceLines(), search);
  bench.ClearTrace();
  const std::uint8_t value = 7;
  EXPECT_FALSE(link.WriteMemory(&value, 1, 0x1C20));
  std::uint8_t buffer[4];
  EXPECT_EQ(link.ReadMemory(buffer, 4, 0x1C2C), 0);
  EXPECT_EQ(link.GetDeviceDescriptor(), nullptr);
  EXPECT_FALSE(link.StartCpu());
  EXPECT_EQ(link.GetStatus(), LinkStatus::eErrorNoDevice);  // 1 from the probe, not the store
  EXPECT_FALSE(link.DevicePresent());
  EXPECT_EQ(link.DeviceIndex(), 128);
  EXPECT_TRUE(bench.TraceLines().empty());
}

TEST(EzUsbLinkTest, WriteSendsTwoIdenticalRequestsWithTheAddressInTheInputBuffer) {
  sim::Bench bench(Bench({Unit(0, UnitModel::kKestrin)}));
  RecordingDriver driver(bench);
  EzUsbLink link(driver);
  const std::uint8_t data[] = {0xFB, 0xFF, 0xFF, 0xFF};
  EXPECT_TRUE(link.WriteMemory(data, 4, 0x1C30));
  ASSERT_EQ(driver.calls.size(), 2u);
  for (const auto& call : driver.calls) {
    EXPECT_EQ(call.code, 0x0022206Du);
    EXPECT_EQ(call.in, (std::vector<std::uint8_t>{0x30, 0x1C}));
    EXPECT_EQ(call.outSize, 4u);
  }
  EXPECT_THAT(bench.TraceLines(), ElementsAre("open 0 ok", "write 0 0x1C30 FB FF FF FF ok",
                                              "write 0 0x1C30 FB FF FF FF ok", "close 0"));
  EXPECT_EQ(bench.Peek32(0, 0x1C30), 0xFFFFFFFBu);
}

TEST(EzUsbLinkTest, WriteWhoseFirstRequestFailsSucceedsWithStatus8) {
  sim::Bench bench(Bench({Unit(0, UnitModel::kKestrin)}));
  EzUsbLink link(bench);
  bench.FailRequest(1);
  EXPECT_TRUE(link.WriteByte(5, 0x1C21));
  EXPECT_EQ(link.GetStatus(), LinkStatus::eErrorDataWrite);
  bench.FailRequest(2);
  EXPECT_FALSE(link.WriteByte(5, 0x1C21));
  EXPECT_EQ(link.GetStatus(), LinkStatus::eErrorDataWrite);
  EXPECT_STREQ(StatusMessage(link.GetStatus()), "Error writing data");
}

TEST(EzUsbLinkTest, ReadSendsTheCoreMemoryRequest) {
  sim::Bench bench(Bench({Unit(0, UnitModel::kKestrin)}));
  bench.PokeBytes(0, 0x1C22, {0x41, 0x99});
  RecordingDriver driver(bench);
  EzUsbLink link(driver);
  std::uint8_t buffer[2] = {};
  EXPECT_EQ(link.ReadMemory(buffer, 2, 0x1C22), 2);
  EXPECT_EQ(buffer[0], 0x41);
  EXPECT_EQ(buffer[1], 0x99);
  ASSERT_EQ(driver.calls.size(), 1u);
  EXPECT_EQ(driver.calls[0].code, 0x00222014u);
  EXPECT_EQ(driver.calls[0].in, (std::vector<std::uint8_t>{0xA0, 0x00, 0x22, 0x1C, 0x00, 0x00, 0x02,
                                                           0x00, 0x01, 0xFF}));
  EXPECT_EQ(driver.calls[0].outSize, 2u);
  EXPECT_THAT(bench.TraceLines(), ElementsAre("open 0 ok", "read 0 0x1C22 2 ok 41 99", "close 0"));
}

TEST(EzUsbLinkTest, ReadOutcomesAndTheStatusLifecycle) {
  sim::Bench bench(Bench({Unit(0, UnitModel::kKestrin)}));
  EzUsbLink link(bench);
  std::uint8_t buffer[4];
  bench.FailNextRequest(sim::TraceKind::kRead);
  EXPECT_EQ(link.ReadMemory(buffer, 4, 0x1C2C), -1);
  EXPECT_EQ(link.GetStatus(), LinkStatus::eErrorDataRead);
  EXPECT_EQ(link.GetStatus(), LinkStatus::eErrorDataRead);  // asking twice changes nothing
  // The next operation starts afresh: a good write clears the read's 6.
  EXPECT_TRUE(link.WriteByte(1, 0x1C21));
  EXPECT_EQ(link.GetStatus(), LinkStatus::eErrorNoError);

  bench.Unplug(0);
  EXPECT_EQ(link.ReadMemory(buffer, 4, 0x1C2C), 0);
  EXPECT_FALSE(link.DevicePresent());
  EXPECT_EQ(link.ReadByte(0x1C22), 0);
  EXPECT_EQ(link.GetStatus(), LinkStatus::eErrorNoDevice);
}

// The byte is the buffer's whenever the read returned anything but 0, so a failed driver call
// that still filled the buffer gives that byte; a successful call that counted no bytes gives 0
// whatever the buffer holds.
TEST(EzUsbLinkTest, ReadByteGivesTheBufferByteUnlessNothingWasCounted) {
  sim::Bench bench(Bench({Unit(0, UnitModel::kKestrin)}));
  bench.Poke(0, 0x1D12, 9);
  RecordingDriver driver(bench);
  EzUsbLink link(driver);
  EXPECT_EQ(link.ReadByte(0x1D12), 9);
  driver.nextRead = RecordingDriver::ReadEnd::kFailed;
  EXPECT_EQ(link.ReadByte(0x1D12), 9);  // -1 from ReadMemory: the buffer's byte
  EXPECT_EQ(link.GetStatus(), LinkStatus::eErrorDataRead);
  driver.nextRead = RecordingDriver::ReadEnd::kNothingCounted;
  EXPECT_EQ(link.ReadByte(0x1D12), 0);
  EXPECT_EQ(link.GetStatus(), LinkStatus::eErrorNoError);
  bench.FailNextRequest(sim::TraceKind::kRead);
  EXPECT_EQ(link.ReadByte(0x1D12), 0);  // failed before the buffer was touched: the preset 0
  EXPECT_EQ(link.GetStatus(), LinkStatus::eErrorDataRead);
}

TEST(EzUsbLinkTest, GetStatusProbesTheDevice) {
  sim::Bench bench(Bench({Unit(0, UnitModel::kKestrin)}));
  EzUsbLink link(bench);
  link.SetStatus(LinkStatus::eErrorDeviceBusy);
  EXPECT_EQ(link.GetStatus(), LinkStatus::eErrorDeviceBusy);
  EXPECT_THAT(bench.TraceLines(), ElementsAre("open 0 ok", "close 0"));
  bench.RefuseOpens(0);
  EXPECT_EQ(link.GetStatus(), LinkStatus::eErrorNoDevice);  // cannot open: 1, and 0 is stored
  EXPECT_EQ(link.GetStatus(), LinkStatus::eErrorNoError);
}

TEST(EzUsbLinkTest, DescriptorFailuresLeaveTheirCodes) {
  sim::Bench bench(Bench({Unit(0, UnitModel::kKestrin)}));
  EzUsbLink link(bench);
  const auto* descriptor = link.GetDeviceDescriptor();
  ASSERT_NE(descriptor, nullptr);
  EXPECT_EQ(ezusb::Get16(descriptor->data() + 10), 0x314D);
  bench.FailNextRequest(sim::TraceKind::kDescriptor);
  EXPECT_EQ(link.GetDeviceDescriptor(), nullptr);
  EXPECT_EQ(link.GetStatus(), LinkStatus::eErrorNoDeviceDescriptor);
  bench.Unplug(0);
  EXPECT_EQ(link.GetDeviceDescriptor(), nullptr);
  EXPECT_EQ(link.GetStatus(), LinkStatus::eErrorNoDevice);
}

TEST(EzUsbLinkTest, StartCpuWritesZeroToCpucsTwice) {
  sim::Bench bench(Bench({Unit(0, UnitModel::kKestrin)}));
  EzUsbLink link(bench);
  EXPECT_TRUE(link.StartCpu());
  EXPECT_THAT(Lines(bench, {"write"}), ElementsAre("write 0 0x7F92 00 ok", "write 0 0x7F92 00 ok"));
}

TEST(EzUsbLinkTest, HeartbeatCheckTakes500MsOfBenchTime) {
  sim::Bench bench(Bench({Unit(0, UnitModel::kKestrin, true), Unit(1, UnitModel::kKestrin)}));
  EzUsbLink link(bench);
  ASSERT_TRUE(link.FindFirstDevice());
  auto start = bench.NowMicros();
  EXPECT_TRUE(link.IsFirmwareRunning());
  EXPECT_EQ(bench.NowMicros() - start, 500'000u);
  EXPECT_THAT(Lines(bench, {"read", "sleep"}),
              ::testing::ElementsAre(::testing::StartsWith("read 0 0x1D10 1 ok"), "sleep 500",
                                     ::testing::StartsWith("read 0 0x1D10 1 ok")));

  ASSERT_TRUE(link.FindNextDevice());  // no firmware: the byte stands still
  start = bench.NowMicros();
  EXPECT_FALSE(link.IsFirmwareRunning());
  EXPECT_EQ(bench.NowMicros() - start, 500'000u);
  EXPECT_EQ(link.GetStatus(), LinkStatus::eErrorNoError);

  bench.Unplug(1);  // the first read fails: no pause at all
  start = bench.NowMicros();
  EXPECT_FALSE(link.IsFirmwareRunning());
  EXPECT_EQ(bench.NowMicros(), start);
}

// Every driver and the trace read device numbers from the names through this one parser.
TEST(EzUsbDeviceNameTest, OnlyPlainDecimalNumbersFrom0To127AreDeviceNumbers) {
  const std::pair<const char*, int> rows[] = {{"\\\\.\\ezusb-0", 0},
                                              {"\\\\.\\ezusb-7", 7},
                                              {"\\\\.\\ezusb-127", 127},
                                              {"\\\\.\\ezusb-128", -1},
                                              {"\\\\.\\ezusb-07", -1},
                                              {"\\\\.\\ezusb-00", -1},
                                              {"\\\\.\\ezusb--0", -1},
                                              {"\\\\.\\ezusb--1", -1},
                                              {"\\\\.\\ezusb-+1", -1},
                                              {"\\\\.\\ezusb- 1", -1},
                                              {"\\\\.\\ezusb-1 ", -1},
                                              {"\\\\.\\ezusb-1a", -1},
                                              {"\\\\.\\ezusb-", -1},
                                              {"\\\\.\\ezusb-4294967296", -1},
                                              {"ezusb-1", -1},
                                              {"\\\\.\\EZUSB-1", -1},
                                              {"", -1},
                                              {nullptr, -1}};
  for (const auto& [name, number] : rows)
    EXPECT_EQ(ezusb::DeviceNumberOf(name), number) << (name ? name : "(null)");
}

}  // namespace
}  // namespace zel
