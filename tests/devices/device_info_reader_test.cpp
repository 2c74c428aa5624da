// Serial numbers and firmware versions read from units on the bench.
#include "devices/device_info_reader.h"

#include <gtest/gtest.h>

#include "devices/unit_info_registers.h"
#include "tests/devices/register_exchanges.h"

namespace zel {
namespace {

using testing::CountOf;
using testing::Exchanges;
using Lines = std::vector<std::string>;

sim::BenchConfig Kestrin(std::string serial, std::uint8_t marker = 0xB0) {
  sim::UnitConfig unit;
  unit.serial = std::move(serial);
  unit.eepromMarker = marker;
  unit.version = {2, 10};
  return testing::RunningUnit(sim::UnitModel::kKestrin, unit);
}

struct Unit {
  explicit Unit(sim::BenchConfig config) : bench(config) {}
  sim::Bench bench;
  EzUsbLink link{bench};
  DeviceLock lock;
  DeviceInfoReader info{link, lock};
};

// The mailbox writes only: count, address, command per exchange.
Lines MailboxWrites(const sim::Bench& bench) {
  return testing::Only(Exchanges(bench), "write");
}

// The writes of one 8-byte exchange.
Lines ExchangeAt(const char* address) {
  const std::string a = std::string("write 0 0x1C94 ") + address + " ok";
  return {"write 0 0x1C93 08 ok", "write 0 0x1C93 08 ok", a, a,
          "write 0 0x1C90 02 ok", "write 0 0x1C90 02 ok"};
}

TEST(DeviceInfoReaderTest, OneByteExchange) {
  Unit unit(Kestrin("KS-0001"));
  std::uint8_t marker = 0;
  EXPECT_TRUE(unit.info.ReadEeprom(&marker, 1, 0));
  EXPECT_EQ(marker, 0xB0);
  EXPECT_EQ(Exchanges(unit.bench),
            (Lines{"read 0 0x1C90 1 ok 00",                         // idle at the start
                   "read 0 0x1C90 1 ok 00", "status",               // idle before the exchange
                   "write 0 0x1C93 01 ok", "write 0 0x1C93 01 ok",  // count
                   "write 0 0x1C94 00 00 ok", "write 0 0x1C94 00 00 ok",  // address
                   "write 0 0x1C90 02 ok", "write 0 0x1C90 02 ok",        // read command
                   "read 0 0x1C90 1 ok 02", "status", "sleep 10",         // busy for 2 ms
                   "read 0 0x1C90 1 ok 00", "status", "read 0 0x1C96 1 ok B0"}));
}

TEST(DeviceInfoReaderTest, SerialNumberAfterThePlainMarkerStartsAt8) {
  Unit unit(Kestrin("KS-0001"));
  EXPECT_EQ(unit.info.ReadSerialNumber(), "KS-0001");
  const Lines marker = {"write 0 0x1C93 01 ok",    "write 0 0x1C93 01 ok",
                        "write 0 0x1C94 00 00 ok", "write 0 0x1C94 00 00 ok",
                        "write 0 0x1C90 02 ok",    "write 0 0x1C90 02 ok"};
  EXPECT_EQ(MailboxWrites(unit.bench),
            testing::Join({marker, ExchangeAt("08 00"), ExchangeAt("10 00")}));
}

TEST(DeviceInfoReaderTest, SerialNumberAfterTheImageMarkerStartsAt11) {
  Unit unit(Kestrin("ABCDEFGHIJKLMNOP", 0xB2));
  EXPECT_EQ(unit.info.ReadSerialNumber(), "ABCDEFGHIJKLMNOP");  // 16 bytes, no terminator
  const Lines writes = MailboxWrites(unit.bench);
  EXPECT_EQ(Lines(writes.begin() + 6, writes.end()),
            testing::Join({ExchangeAt("0B 00"), ExchangeAt("13 00")}));
}

TEST(DeviceInfoReaderTest, UnreadableEepromGivesAnEmptySerialNumber) {
  Unit gone(Kestrin("KS-0001"));
  gone.bench.Unplug(0);
  EXPECT_EQ(gone.info.ReadSerialNumber(), "");
  EXPECT_EQ(gone.link.GetStatus(), LinkStatus::eErrorNoDevice);

  // A mailbox that never finishes: the marker exchange times out after 513 polls, and the
  // serial number read then finds the mailbox still busy.
  sim::BenchConfig stuck = Kestrin("KS-0001");
  stuck.units[0].mailboxMicros = 60'000'000;
  Unit slow(stuck);
  const auto start = slow.bench.NowMicros();
  EXPECT_EQ(slow.info.ReadSerialNumber(), "");
  const Lines all = Exchanges(slow.bench);
  EXPECT_EQ(CountOf(all, "sleep 10"), 513);
  EXPECT_EQ(CountOf(all, "read 0 0x1C90 1 ok 02"), 513 + 1);
  EXPECT_EQ(CountOf(all, "write 0 0x1C90"), 2);  // the second read never started
  EXPECT_EQ(slow.bench.NowMicros() - start, 5'130'000u);
  EXPECT_EQ(CountOf(all, "read 0 0x1C96"), 0);
}

TEST(DeviceInfoReaderTest, BusyMailboxRefusesAtOnce) {
  Unit unit(Kestrin("KS-0001"));
  unit.bench.Poke(0, unit_info::kMailbox, 7);
  std::uint8_t byte = 0x55;
  EXPECT_EQ(unit.info.GetMailboxState(), 1);
  EXPECT_FALSE(unit.info.ReadEeprom(&byte, 1, 0));
  EXPECT_EQ(byte, 0x55);
  EXPECT_EQ(MailboxWrites(unit.bench), Lines{});
}

TEST(DeviceInfoReaderTest, FailedMailboxReadIsAFailureNotIdle) {
  Unit unit(Kestrin("KS-0001"));
  unit.bench.Poke(0, unit_info::kMailbox, unit_info::kReadEeprom);
  unit.bench.FailNextRequest(sim::TraceKind::kRead);
  EXPECT_FALSE(unit.info.WaitMailboxIdle());
  EXPECT_EQ(unit.link.GetStatus(), LinkStatus::eErrorDataRead);
}

TEST(DeviceInfoReaderTest, FirmwareVersionBytes) {
  Unit unit(Kestrin("KS-0001"));
  EXPECT_EQ(unit.info.ReadFirmwareMajor(), 2);
  EXPECT_EQ(unit.info.ReadFirmwareMinor(), 10);
  EXPECT_EQ(Exchanges(unit.bench), (Lines{"read 0 0x1D12 1 ok 02", "read 0 0x1D13 1 ok 0A"}));
  unit.bench.Unplug(0);
  EXPECT_EQ(unit.info.ReadFirmwareMajor(), 0);
  EXPECT_EQ(unit.info.ReadFirmwareMinor(), 0);
}

}  // namespace
}  // namespace zel
