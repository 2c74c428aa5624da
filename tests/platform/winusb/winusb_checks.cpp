// Checks of the library on WinUSB, under wine, through the stand-ins of setupapi.dll (beside
// this program) and winusb.dll (put in the system folder for the run), which serve the chips of
// a bench on real time (standin.h):
//   winusb_checks.exe PATH\ZELUSB.dll GROUP
// The real ZELUSB.dll (the Cypress-driver flavour, not the simulator one) is registered for the
// run and its controls are created by CLSID. GROUP is one table of scenarios:
//   controls  boot, moves and reads, SetSerial across two units, the legacy device file first
//   faults    a stall, a timeout, an unplug between two requests, a second opener, a refused
//             pipe policy, another driver's unit, a handle not opened overlapped, winusb.dll
//             from the system folder only
//   numbers   numbers kept while units leave and arrive, through controls and through the
//             driver itself; a closed handle; the unit list; units present together numbered
//             by port; a long read in pieces
//   measure   CPU time and Win32 calls per request, through WinUSB and on the bench driver
// Prints one line per failed check and "N passed, N failed"; exits 1 on any failure.
#include <windows.h>

#include <ocidl.h>
#include <oleauto.h>
#include <winusb.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ZELUSB_h.h"
#include "controls/kestrin_control.h"
#include "devices/dual_motor_registers.h"
#include "link/ez_usb_link.h"
#include "platform/driver_winusb_win32.h"
#include "platform/ezusb_requests.h"
#include "sim/bench.h"
#include "tests/module/wine/check.h"
#include "tests/platform/winusb/standin.h"

namespace {

using wine_check::failed;
using wine_check::passed;

constexpr std::int32_t kNoPosition = 0x7FFFFFFF;
constexpr int kNoDevice = 1, kDataRead = 6;

// --- The stand-ins' controls and what they saw ----------------------------------------------

std::vector<std::string> seen;  // the stand-in winusb.dll's lines, in order
void Watch(const char* line) {
  seen.emplace_back(line);
}

struct StandIns {
  standin::ServeFunction serve = nullptr;
  standin::FailFunction fail = nullptr;
  standin::FailFunction failPolicy = nullptr;
  standin::CallsFunction usbCalls = nullptr;
  standin::CallsFunction setupCalls = nullptr;
  BOOL(WINAPI* initialize)(HANDLE, PWINUSB_INTERFACE_HANDLE) = nullptr;
  BOOL(WINAPI* free)(WINUSB_INTERFACE_HANDLE) = nullptr;
} standIns;

template <typename Function>
Function Resolve(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

// The folder of a module's file, with its last backslash.
std::wstring FolderOf(HMODULE module) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(module, path, MAX_PATH);
  std::wstring folder(path);
  return folder.substr(0, folder.find_last_of(L'\\') + 1);
}

// The stand-in winusb.dll in the system folder for this run, the only place the library loads
// it from; wine's own goes aside and comes back at the end (also after a run that crashed, at
// the next run's start). In a 32-bit program the system folder is the 32-bit one.
class SystemStandIn {
 public:
  SystemStandIn() {
    wchar_t system[MAX_PATH] = {};
    GetSystemDirectoryW(system, MAX_PATH);
    placed_ = std::wstring(system) + L"\\winusb.dll";
    aside_ = placed_ + L".zel-aside";
    used_ = placed_ + L".zel-used";
    Restore();
    const std::wstring standIn = FolderOf(nullptr) + L"winusb.dll";
    ok_ = MoveFileW(placed_.c_str(), aside_.c_str()) &&
          CopyFileW(standIn.c_str(), placed_.c_str(), TRUE);
  }
  ~SystemStandIn() { Restore(); }
  SystemStandIn(const SystemStandIn&) = delete;
  SystemStandIn& operator=(const SystemStandIn&) = delete;
  bool Placed() const { return ok_; }

 private:
  // The stand-in is still loaded at the end, and a loaded module's file can be renamed but not
  // replaced: it moves aside first, and goes when nothing has it loaded (at the latest at the
  // next run's start).
  void Restore() {
    DeleteFileW(used_.c_str());
    if (GetFileAttributesW(aside_.c_str()) == INVALID_FILE_ATTRIBUTES) return;
    MoveFileW(placed_.c_str(), used_.c_str());
    MoveFileW(aside_.c_str(), placed_.c_str());
    DeleteFileW(used_.c_str());
  }
  std::wstring placed_, aside_, used_;
  bool ok_ = false;
};

bool LoadStandIns() {
  // The modules the library loads: winusb.dll from the system folder, setupapi.dll from this
  // program's folder, first in the search.
  HMODULE usb = LoadLibraryExW(L"winusb.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  HMODULE setup = LoadLibraryW(L"setupapi.dll");
  if (usb == nullptr || setup == nullptr) return false;
  standIns.serve = Resolve<standin::ServeFunction>(usb, standin::kServe);
  standIns.fail = Resolve<standin::FailFunction>(usb, standin::kFail);
  standIns.failPolicy = Resolve<standin::FailFunction>(usb, standin::kFailPolicy);
  standIns.usbCalls = Resolve<standin::CallsFunction>(usb, standin::kCalls);
  standIns.setupCalls = Resolve<standin::CallsFunction>(setup, standin::kCalls);
  standIns.initialize = Resolve<decltype(standIns.initialize)>(usb, "WinUsb_Initialize");
  standIns.free = Resolve<decltype(standIns.free)>(usb, "WinUsb_Free");
  auto watch = Resolve<standin::WatchFunction>(usb, standin::kWatch);
  if (!standIns.serve || !standIns.fail || !standIns.failPolicy || !standIns.usbCalls ||
      !standIns.setupCalls || !standIns.initialize || !standIns.free || !watch)
    return false;
  watch(&Watch);
  return true;
}

int Count(const std::string& prefix) {
  return static_cast<int>(std::count_if(seen.begin(), seen.end(), [&](const std::string& line) {
    return line.rfind(prefix, 0) == 0;
  }));
}

// --- Units: files in a folder, chips on a bench ----------------------------------------------

enum class Model { kKestrin, kPolyax };

struct Unit {
  int port;  // the last part of the device instance ID
  int chip;  // bench device number; -1: a device bound to another driver
  Model model = Model::kKestrin;
  bool firmware = true;
  const char* serial = "";
};

class Units {
 public:
  Units() {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    folder_ = std::wstring(temp) + L"zel-winusb-" + std::to_wstring(GetCurrentProcessId());
    CreateDirectoryW(folder_.c_str(), nullptr);
    SetEnvironmentVariableW(standin::kDeviceFolderVariable, folder_.c_str());
  }
  ~Units() {
    Clear();
    RemoveDirectoryW(folder_.c_str());
  }

  // A fresh bench with these units' chips, and their files unless `plugNow` is false.
  void Attach(const std::vector<Unit>& units, bool plugNow = true) {
    Clear();
    zel::sim::BenchConfig config;
    for (const Unit& unit : units) {
      if (unit.chip < 0) continue;
      zel::sim::UnitConfig chip;
      chip.device = unit.chip;
      chip.model = unit.model == Model::kKestrin ? zel::sim::UnitModel::kKestrin
                                                 : zel::sim::UnitModel::kPolyax;
      chip.firmwareRunning = unit.firmware;
      chip.serial = unit.serial;
      config.units.push_back(chip);
    }
    standIns.serve(nullptr);
    bench_ = std::make_unique<zel::sim::Bench>(config, zel::sim::Clocking::kLive);
    bench_->SetTraceRecording(false);
    standIns.serve(bench_.get());
    if (plugNow)
      for (const Unit& unit : units) Plug(unit);
    seen.clear();
  }

  void Plug(const Unit& unit) {
    files_.push_back(PathOf(unit));
    HANDLE file = CreateFileW(files_.back().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    const std::string text = unit.chip < 0 ? "other" : std::to_string(unit.chip);
    DWORD written = 0;
    WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    CloseHandle(file);
    if (unit.chip >= 0 && bench_->HasUnit(unit.chip) && !bench_->Plugged(unit.chip))
      bench_->Replug(unit.chip);
  }
  void Unplug(const Unit& unit) {
    DeleteFileW(PathOf(unit).c_str());
    if (unit.chip >= 0) bench_->Unplug(unit.chip);
  }
  std::wstring PathOf(const Unit& unit) const {
    wchar_t name[160];
    swprintf(
        name, 160, L"%ls\\usb#vid_5a45&pid_%04x#6&2c4f1a0&0&%d%ls", folder_.c_str(),
        unit.model == Model::kKestrin ? zel::ezusb::kProductKestrin : zel::ezusb::kProductPolyax,
        unit.port, standin::kInterfaceSuffix);
    return name;
  }
  zel::sim::Bench& Bench() { return *bench_; }

 private:
  void Clear() {
    for (const auto& file : files_) DeleteFileW(file.c_str());
    files_.clear();
  }

  std::wstring folder_;
  std::vector<std::wstring> files_;
  std::unique_ptr<zel::sim::Bench> bench_;
};

// Holds a file as another program does: exclusively, which wine answers with a sharing
// violation, or as a WinUSB device is held, which Windows answers with access denied whatever
// the share mode; for that the file moves out of the units' folder and a folder stands in its
// place (standin.h).
class Holder {
 public:
  enum class Kind { kExclusive, kWinUsb };
  explicit Holder(const std::wstring& path, Kind kind = Kind::kWinUsb) : path_(path) {
    if (kind == Kind::kWinUsb) {
      static int held = 0;
      aside_ = path.substr(0, path.find_last_of(L'\\')) + L"-held-" + std::to_wstring(++held);
      held_ = MoveFileW(path.c_str(), aside_.c_str()) && CreateDirectoryW(path.c_str(), nullptr);
      return;
    }
    file_ = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                        FILE_FLAG_OVERLAPPED, nullptr);
    held_ = file_ != INVALID_HANDLE_VALUE;
  }
  ~Holder() {
    if (file_ != INVALID_HANDLE_VALUE) CloseHandle(file_);
    if (!aside_.empty()) {
      RemoveDirectoryW(path_.c_str());
      MoveFileW(aside_.c_str(), path_.c_str());
    }
  }
  Holder(const Holder&) = delete;
  Holder& operator=(const Holder&) = delete;
  bool Holds() const { return held_; }

 private:
  std::wstring path_, aside_;
  HANDLE file_ = INVALID_HANDLE_VALUE;
  bool held_ = false;
};

// The legacy driver's device file \\.\ezusb-0. Wine opens \\.\NAME as the file NAME in its
// prefix's dosdevices folder, so a plain file there stands in for the Cypress driver's device
// (one whose requests all fail).
class LegacyDevice {
 public:
  LegacyDevice() {
    wchar_t prefix[MAX_PATH] = {};
    if (GetEnvironmentVariableW(L"WINEPREFIX", prefix, MAX_PATH) == 0) return;
    path_ = std::wstring(L"Z:") + prefix + L"/dosdevices/ezusb-0";
    std::replace(path_.begin(), path_.end(), L'/', L'\\');
    Remove();  // left by a run that crashed
  }
  ~LegacyDevice() { Remove(); }
  bool Create() {
    HANDLE file = CreateFileW(path_.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    HANDLE opened =
        CreateFileA("\\\\.\\ezusb-0", GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (opened == INVALID_HANDLE_VALUE) return false;  // wine does not map the name here
    CloseHandle(opened);
    return true;
  }
  void Remove() {
    if (!path_.empty()) DeleteFileW(path_.c_str());
  }
  const std::wstring& Path() const { return path_; }

 private:
  std::wstring path_;
};

// --- The library, by CLSID -------------------------------------------------------------------

// A control created by CLSID that lives for a scope.
class Kestrin {
 public:
  Kestrin() {
    if (CoCreateInstance(CLSID_CKestrinControl, nullptr, CLSCTX_INPROC_SERVER, IID_IKestrinControl,
                         reinterpret_cast<void**>(&control_)) != S_OK) {
      std::printf("FAILED: no KestrinControl from its CLSID\n");
      std::exit(1);
    }
  }
  ~Kestrin() {
    if (control_ != nullptr) control_->Release();
  }
  bool Present() {
    VARIANT_BOOL present = -2;
    control_->IsDevicePresent(&present);
    return present == 1;
  }
  int LastError() {
    EUSBError error = eErrorNoMotorCommunication;
    control_->get_LastError(&error);
    return static_cast<int>(error);
  }
  LONG Position() {
    LONG position = 0;
    control_->GetMotorPosition(1, &position);
    return position;
  }
  bool Move(LONG steps) {
    VARIANT_BOOL moved = 0;
    control_->MoveMotor(1, steps, VARIANT_FALSE, &moved);
    return moved == 1;
  }
  bool Select(const wchar_t* serial) {
    BSTR wanted = SysAllocString(serial);
    VARIANT_BOOL selected = 0;
    control_->SetSerial(wanted, &selected);
    SysFreeString(wanted);
    return selected == 1;
  }
  std::wstring Serial() {
    BSTR text = nullptr;
    control_->GetSerial(&text);
    std::wstring serial = text == nullptr ? L"" : std::wstring(text, SysStringLen(text));
    SysFreeString(text);
    return serial;
  }

 private:
  IKestrinControl* control_ = nullptr;
};

std::int32_t BenchPosition(Units& units, int chip) {
  return static_cast<std::int32_t>(units.Bench().Peek32(chip, zel::dual_motor::kPositionMotor1));
}

void Report(const char* row) {
  static int before = 0;
  std::printf("%s: %s\n", failed > before ? "FAILED" : "ok", row);
  before = failed;
}

// --- controls --------------------------------------------------------------------------------

void Controls(Units& units, LegacyDevice& legacy) {
  // A unit without firmware: booted, moved and read, with the exact WinUSB traffic of the
  // search's first requests.
  units.Attach({{1, 0, Model::kKestrin, false}});
  {
    Kestrin kestrin;
    CHECK(kestrin.Present());
    CHECK(units.Bench().FirmwareRunning(0));
    const std::vector<std::string> first = {"initialize 0",
                                            "policy 0 3 1000",
                                            "descriptor 1 0 0000 18 ok",
                                            "free",
                                            "initialize 0",
                                            "policy 0 3 1000",
                                            "control C0 A0 1D10 0000 1 ok",
                                            "free",
                                            "initialize 0",
                                            "policy 0 3 1000",
                                            "free"};  // the status check opens and closes
    CHECK(seen.size() > first.size() && std::equal(first.begin(), first.end(), seen.begin()));
    // Reset held and released, twice each as every memory write goes out.
    CHECK(Count("control 40 A0 7F92 0000 1 ok") == 4);
    CHECK(Count("initialize") == Count("free"));
    CHECK(kestrin.Move(40));
    CHECK(kestrin.Position() == 40 && BenchPosition(units, 0) == 40);
    CHECK(kestrin.LastError() == 0);
  }
  Report("a unit without firmware is booted, moves and reads");

  // Two units: SetSerial selects the second, and moves reach it alone.
  units.Attach(
      {{1, 0, Model::kKestrin, true, "KS-0001"}, {2, 1, Model::kKestrin, true, "KS-0002"}});
  {
    Kestrin kestrin;
    CHECK(kestrin.Select(L"KS-0002"));
    CHECK(kestrin.Serial() == L"KS-0002");
    CHECK(kestrin.Move(25));
    CHECK(BenchPosition(units, 1) == 25 && BenchPosition(units, 0) == 0);
    CHECK(kestrin.Select(L"KS-0001") && kestrin.Serial() == L"KS-0001");
    CHECK(!kestrin.Select(L"ks-0001") && kestrin.LastError() == kNoDevice);
  }
  Report("SetSerial across two units");

  // The legacy driver's device file \\.\ezusb-0, when it exists, is device 0 even while busy:
  // WinUSB's unit 0 is not opened for it.
  struct Row {
    const char* name;
    bool legacy, busy;
    bool present;
  };
  const Row rows[] = {
      {"no legacy device file: WinUSB unit 0", false, false, true},
      {"a legacy device file is preferred", true, false, false},
      {"a busy legacy device file is not passed over", true, true, false},
  };
  for (const Row& row : rows) {
    units.Attach({{1, 0, Model::kKestrin, true}});
    if (row.legacy) CHECK(legacy.Create());
    {
      std::unique_ptr<Holder> holder;
      if (row.busy) {
        holder = std::make_unique<Holder>(legacy.Path(), Holder::Kind::kExclusive);
        CHECK(holder->Holds());
      }
      Kestrin kestrin;
      CHECK(kestrin.Present() == row.present);
      CHECK((Count("initialize 0") > 0) == row.present);
    }
    legacy.Remove();
    Report(row.name);
  }
}

// --- faults ----------------------------------------------------------------------------------

void Faults(Units& units) {
  const Unit unit{1, 0, Model::kKestrin, true};
  struct Row {
    const char* name;
    std::function<void(Kestrin&)> fault;  // before the read
    LONG read;                            // what the read returns
    int error;                            // LastError after it
    const char* line;                     // what the stand-in saw of it
    std::function<void(Kestrin&)> heal;
    LONG healed;  // the position read after healing: 0 when the unit lost power
  };
  std::unique_ptr<Holder> holder;
  const Row rows[] = {
      {"a stall", [](Kestrin&) { standIns.fail(ERROR_GEN_FAILURE, 1); }, kNoPosition, kDataRead,
       "control C0 A0 1C36 0000 4 fail", [](Kestrin&) {}, 10},
      {"a timeout", [](Kestrin&) { standIns.fail(ERROR_SEM_TIMEOUT, 1); }, kNoPosition, kDataRead,
       "control C0 A0 1C36 0000 4 timeout", [](Kestrin&) {}, 10},
      {"an unplug between two requests", [&](Kestrin&) { units.Unplug(unit); }, kNoPosition,
       kNoDevice, "", [&](Kestrin&) { units.Plug(unit); }, 0},
      // The status asked afterwards finds the unit gone.
      {"a unit removed during a request",
       [&](Kestrin&) { units.Bench().UnplugBeforeRequest(1, 0); }, kNoPosition, kNoDevice,
       "control C0 A0 1C36 0000 4 fail", [&](Kestrin&) { units.Bench().Replug(0); }, 0},
      {"a second opener is refused",
       [&](Kestrin&) {
         holder = std::make_unique<Holder>(units.PathOf(unit));
         CHECK(holder->Holds());
       },
       kNoPosition, kNoDevice, "", [&](Kestrin&) { holder.reset(); }, 10},
      // The pipe keeps WinUSB's default timeout, and the read goes through.
      {"a refused pipe policy does not fail the open",
       [](Kestrin&) { standIns.failPolicy(ERROR_INVALID_PARAMETER, 1); }, 10, 0,
       "policy 0 3 1000 fail", [](Kestrin&) {}, 10},
  };
  for (const Row& row : rows) {
    units.Attach({unit});
    Kestrin kestrin;
    CHECK(kestrin.Present());
    CHECK(kestrin.Move(10) && kestrin.Position() == 10);
    row.fault(kestrin);
    seen.clear();
    CHECK(kestrin.Position() == row.read);
    CHECK(kestrin.LastError() == row.error);
    if (*row.line != '\0') CHECK(std::find(seen.begin(), seen.end(), row.line) != seen.end());
    if (*row.line == '\0') CHECK(Count("control") == 0);
    if (row.error == kNoDevice) CHECK(!kestrin.Present());
    CHECK(Count("initialize") == Count("free"));
    row.heal(kestrin);
    CHECK(kestrin.Position() == row.healed && kestrin.LastError() == 0 && kestrin.Present());
    Report(row.name);
  }

  // A device bound to another driver: WinUSB refuses it, and it is passed over like an absent
  // one.
  units.Attach({{1, -1}, {2, 0, Model::kKestrin, true}});
  {
    Kestrin kestrin;
    CHECK(kestrin.Present() && kestrin.Position() == 0);
    CHECK(Count("refused: another driver") > 0 && Count("initialize 0") > 0);
  }
  units.Attach({{1, -1}});
  {
    Kestrin kestrin;
    CHECK(!kestrin.Present() && kestrin.LastError() == kNoDevice);
    CHECK(Count("control") == 0 && Count("descriptor") == 0);
  }
  Report("a unit bound to another driver");

  // WinUSB binds a handle opened for overlapped use only, as the library opens units.
  units.Attach({unit});
  for (const bool overlapped : {false, true}) {
    HANDLE file = CreateFileW(units.PathOf(unit).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, overlapped ? FILE_FLAG_OVERLAPPED : 0, nullptr);
    WINUSB_INTERFACE_HANDLE usb = nullptr;
    const bool bound = standIns.initialize(file, &usb) != FALSE;
    CHECK(bound == overlapped && (bound || GetLastError() == ERROR_INVALID_HANDLE));
    if (bound) standIns.free(usb);
    CloseHandle(file);
  }
  Report("WinUSB binds only a handle opened overlapped");
}

// Before anything else loads winusb.dll: the library's first open loads it from the system
// folder, not the winusb.dll beside this program (the stand-in's own file, planted there).
void FirstLoad() {
  {
    zel::WinUsbDriver driver;
    driver.List();
  }
  HMODULE loaded = GetModuleHandleW(L"winusb.dll");
  wchar_t system[MAX_PATH] = {}, wow64[MAX_PATH] = {};
  GetSystemDirectoryW(system, MAX_PATH);
  GetSystemWow64DirectoryW(wow64, MAX_PATH);  // a 32-bit program's system folder on 64 bits
  const std::wstring folder = loaded == nullptr ? L"" : FolderOf(loaded);
  CHECK(lstrcmpiW(folder.c_str(), (std::wstring(system) + L"\\").c_str()) == 0 ||
        (*wow64 != L'\0' && lstrcmpiW(folder.c_str(), (std::wstring(wow64) + L"\\").c_str()) == 0));
  CHECK(lstrcmpiW(folder.c_str(), FolderOf(nullptr).c_str()) != 0);
  Report("winusb.dll comes from the system folder, never from beside the program");
}

// --- numbers ---------------------------------------------------------------------------------

// The chip that answers at each device number now, through a driver of its own; -1 none.
std::vector<int> Answering(zel::Driver& driver, int numbers) {
  std::vector<int> chips;
  for (int number = 0; number < numbers; ++number) {
    char name[32];
    std::snprintf(name, sizeof name, "%s%d", zel::ezusb::kDeviceNamePrefix, number);
    seen.clear();
    const zel::DriverHandle handle = driver.Open(name);
    chips.push_back(handle == zel::kNoDriverHandle || seen.empty()
                        ? -1
                        : std::atoi(seen.front().c_str() + std::strlen("initialize ")));
    driver.Close(handle);
  }
  return chips;
}

void Numbers(Units& units) {
  // Through controls: a control bound to a unit stays on it while an earlier unit leaves and
  // while a unit arrives at a lower port, whatever other controls' searches find meanwhile.
  const Unit first{2, 0, Model::kKestrin, true, "KS-0001"};
  const Unit second{3, 1, Model::kKestrin, true, "KS-0002"};
  const Unit lower{1, 2, Model::kKestrin, true, "KS-0003"};
  units.Attach({first, second, lower}, false);
  units.Plug(first);
  units.Plug(second);
  {
    Kestrin bound;
    CHECK(bound.Select(L"KS-0002"));
    units.Unplug(first);
    {
      Kestrin searching;  // reads the list again
      CHECK(searching.Present() && searching.Serial() == L"KS-0002");
    }
    CHECK(bound.Move(30));
    CHECK(BenchPosition(units, 1) == 30 && BenchPosition(units, 0) == 0);
    units.Plug(first);
    units.Plug(lower);
    {
      Kestrin searching;
      CHECK(searching.Select(L"KS-0003"));
    }
    CHECK(bound.Move(-5));
    CHECK(BenchPosition(units, 1) == 25 && BenchPosition(units, 2) == 0);
    CHECK(bound.Serial() == L"KS-0002");
  }
  Report("a bound control stays on its unit while others leave and arrive");

  // Through the driver: which chip answers at each number after each step.
  struct Step {
    bool plug;
    Unit unit;
    std::vector<int> answering;  // chip at numbers 0, 1, 2
  };
  struct Row {
    const char* name;
    std::vector<Step> steps;
  };
  const Unit a{1, 0}, b{2, 1}, polyaxAtA{1, 2, Model::kPolyax};
  const Row rows[] = {
      {"an earlier unit leaves",
       {{true, a, {0, -1, -1}},
        {true, b, {0, 1, -1}},
        {false, a, {-1, 1, -1}},
        {true, a, {0, 1, -1}}}},
      {"a unit arrives at a lower port", {{true, b, {1, -1, -1}}, {true, a, {1, 0, -1}}}},
      {"another product at a unit's port",
       {{true, a, {0, -1, -1}},
        {false, a, {-1, -1, -1}},
        {true, polyaxAtA, {-1, 2, -1}},
        {false, polyaxAtA, {-1, -1, -1}},
        {true, a, {0, -1, -1}}}},
  };
  for (const Row& row : rows) {
    units.Attach({a, b, polyaxAtA}, false);
    zel::WinUsbDriver driver;
    for (const Step& step : row.steps) {
      if (step.plug) {
        units.Plug(step.unit);
      } else {
        units.Unplug(step.unit);
      }
      CHECK(Answering(driver, 3) == step.answering);
    }
    Report(row.name);
  }

  // A handle kept after its Close fails, and never reaches or closes the unit's next session.
  units.Attach({{1, 0}});
  {
    zel::WinUsbDriver driver;
    const std::string name = std::string(zel::ezusb::kDeviceNamePrefix) + "0";
    const zel::DriverHandle first = driver.Open(name.c_str());
    driver.Close(first);
    const zel::DriverHandle second = driver.Open(name.c_str());
    CHECK(first != zel::kNoDriverHandle && second != zel::kNoDriverHandle && second != first);
    CHECK(zel::WinUsbDriver::OwnsHandle(first) && zel::WinUsbDriver::OwnsHandle(second));
    std::uint8_t descriptor[zel::ezusb::kDescriptorSize];
    const auto read = [&](zel::DriverHandle handle) {
      std::uint32_t returned = 0;
      return driver.Request(handle, zel::ezusb::kIoctlGetDeviceDescriptor, nullptr, 0, descriptor,
                            sizeof descriptor, returned) &&
             returned == sizeof descriptor;
    };
    seen.clear();
    CHECK(!read(first));
    driver.Close(first);
    CHECK(seen.empty());
    CHECK(read(second));
    driver.Close(second);
    CHECK(Count("free") == 1);
  }
  Report("a closed handle never reaches the unit's next session");

  // The list: number, product, port and whether each unit can be opened now.
  // Two units held by other programs: one answers a sharing violation, one access denied.
  units.Attach({{1, 0}, {2, 1, Model::kPolyax}, {3, -1}, {4, 2}, {5, 3}});
  {
    zel::WinUsbDriver driver;
    Holder exclusive(units.PathOf({4, 2}), Holder::Kind::kExclusive);
    Holder winusb(units.PathOf({5, 3}));
    CHECK(exclusive.Holds() && winusb.Holds());
    const auto listed = driver.List();
    using State = zel::ListedUnit::State;
    const struct {
      int number;
      std::uint16_t product;
      const char* port;
      State state;
    } expected[] = {
        {0, 0x314D, "USB\\VID_5A45&PID_314D\\6&2C4F1A0&0&1", State::kReady},
        {1, 0x314E, "USB\\VID_5A45&PID_314E\\6&2C4F1A0&0&2", State::kReady},
        {2, 0x314D, "USB\\VID_5A45&PID_314D\\6&2C4F1A0&0&3", State::kOtherDriver},
        {3, 0x314D, "USB\\VID_5A45&PID_314D\\6&2C4F1A0&0&4", State::kInUse},
        {4, 0x314D, "USB\\VID_5A45&PID_314D\\6&2C4F1A0&0&5", State::kInUse},
    };
    CHECK(listed.size() == std::size(expected));
    for (std::size_t k = 0; k < std::min(listed.size(), std::size(expected)); ++k) {
      CHECK(listed[k].number == expected[k].number);
      CHECK(listed[k].productId == expected[k].product);
      CHECK(listed[k].port == expected[k].port);
      CHECK(listed[k].state == expected[k].state);
    }
  }
  Report("the unit list");

  // Units present together are numbered in the order of their hub ports, as numbers.
  const struct {
    const char* name;
    std::vector<int> ports;     // of the units attached, in that order
    std::vector<int> numbered;  // the port at numbers 0, 1, ...
  } orders[] = {
      {"units present together: port 10 after port 2", {10, 2}, {2, 10}},
      {"units present together: ports 9 to 11 after port 1", {11, 1, 10, 9}, {1, 9, 10, 11}},
  };
  for (const auto& row : orders) {
    std::vector<Unit> attached;
    for (const int port : row.ports) attached.push_back({port, static_cast<int>(attached.size())});
    units.Attach(attached);
    zel::WinUsbDriver driver;
    std::vector<int> numbered;
    for (const auto& unit : driver.List()) {
      CHECK(unit.number == static_cast<int>(numbered.size()));
      numbered.push_back(std::atoi(unit.port.c_str() + unit.port.find_last_of('&') + 1));
    }
    CHECK(numbered == row.numbered);
    Report(row.name);
  }

  // A read longer than WinUSB's 4096 bytes goes in pieces, each at the address where the last
  // one ended; the bytes returned are their sum.
  units.Attach({{1, 0, Model::kKestrin, false}});
  {
    std::vector<std::uint8_t> pattern(10000);
    for (std::size_t k = 0; k < pattern.size(); ++k) pattern[k] = static_cast<std::uint8_t>(k * 7);
    units.Bench().PokeBytes(0, 0x0100, pattern);
    zel::WinUsbDriver driver;
    zel::EzUsbLink link(driver);
    std::vector<std::uint8_t> read(10000);
    CHECK(link.FindFirstDevice());
    seen.clear();
    CHECK(link.ReadMemory(read.data(), 10000, 0x0100) == 10000 && read == pattern);
    const std::vector<std::string> pieces = {"control C0 A0 0100 0000 4096 ok",
                                             "control C0 A0 1100 0000 4096 ok",
                                             "control C0 A0 2100 0000 1808 ok"};
    std::vector<std::string> controls;
    std::copy_if(seen.begin(), seen.end(), std::back_inserter(controls),
                 [](const std::string& line) { return line.rfind("control", 0) == 0; });
    CHECK(controls == pieces);
  }
  Report("a long read in pieces");
}

// --- measure ---------------------------------------------------------------------------------

double ThreadCpuMicros() {
  FILETIME created, ended, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user);
  auto micros = [](const FILETIME& t) {
    return (static_cast<double>(t.dwHighDateTime) * 4294967296.0 + t.dwLowDateTime) / 10.0;
  };
  return micros(kernel) + micros(user);
}

// 100 rounds of 20 position reads and a synchronous 5-step move: the CPU time of this thread per
// driver request, the requests counted by the bench.
template <typename Round>
double CpuPerRequest(zel::sim::Bench& bench, Round round, std::uint64_t& requests) {
  const std::uint64_t before = bench.RequestCount();
  const double start = ThreadCpuMicros();
  for (int k = 0; k < 100; ++k) round();
  requests = bench.RequestCount() - before;
  return requests == 0 ? 0 : (ThreadCpuMicros() - start) / static_cast<double>(requests);
}

// The library's calls of the kernel32 functions it opens, drives and closes units with, counted
// by pointing its import table entries at counting forwarders.
unsigned long kernelCalls = 0;
HANDLE WINAPI CountedCreateFileA(LPCSTR a, DWORD b, DWORD c, LPSECURITY_ATTRIBUTES d, DWORD e,
                                 DWORD f, HANDLE g) {
  ++kernelCalls;
  return CreateFileA(a, b, c, d, e, f, g);
}
HANDLE WINAPI CountedCreateFileW(LPCWSTR a, DWORD b, DWORD c, LPSECURITY_ATTRIBUTES d, DWORD e,
                                 DWORD f, HANDLE g) {
  ++kernelCalls;
  return CreateFileW(a, b, c, d, e, f, g);
}
BOOL WINAPI CountedCloseHandle(HANDLE a) {
  ++kernelCalls;
  return CloseHandle(a);
}
DWORD WINAPI CountedGetLastError() {
  ++kernelCalls;
  return GetLastError();
}
BOOL WINAPI CountedDeviceIoControl(HANDLE a, DWORD b, LPVOID c, DWORD d, LPVOID e, DWORD f,
                                   LPDWORD g, LPOVERLAPPED h) {
  ++kernelCalls;
  return DeviceIoControl(a, b, c, d, e, f, g, h);
}

bool CountKernelCalls(HMODULE library) {
  const struct {
    const char* name;
    void (*counted)();
  } counted[] = {
      {"CreateFileA", reinterpret_cast<void (*)()>(&CountedCreateFileA)},
      {"CreateFileW", reinterpret_cast<void (*)()>(&CountedCreateFileW)},
      {"CloseHandle", reinterpret_cast<void (*)()>(&CountedCloseHandle)},
      {"GetLastError", reinterpret_cast<void (*)()>(&CountedGetLastError)},
      {"DeviceIoControl", reinterpret_cast<void (*)()>(&CountedDeviceIoControl)},
  };
  auto* base = reinterpret_cast<BYTE*>(library);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(
      base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const auto& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  int replaced = 0;
  for (auto* dll = reinterpret_cast<IMAGE_IMPORT_DESCRIPTOR*>(base + imports.VirtualAddress);
       dll->Name != 0; ++dll) {
    if (lstrcmpiA(reinterpret_cast<const char*>(base + dll->Name), "KERNEL32.dll") != 0) continue;
    auto* name = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->OriginalFirstThunk);
    auto* slot = reinterpret_cast<IMAGE_THUNK_DATA*>(base + dll->FirstThunk);
    for (; name->u1.AddressOfData != 0; ++name, ++slot) {
      if (IMAGE_SNAP_BY_ORDINAL(name->u1.Ordinal)) continue;
      const char* imported =
          reinterpret_cast<const char*>(base + name->u1.AddressOfData + sizeof(WORD));
      for (const auto& entry : counted) {
        if (std::strcmp(imported, entry.name) != 0) continue;
        DWORD was = 0;
        VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, PAGE_READWRITE, &was);
        slot->u1.Function = reinterpret_cast<ULONG_PTR>(entry.counted);
        VirtualProtect(&slot->u1.Function, sizeof slot->u1.Function, was, &was);
        ++replaced;
      }
    }
  }
  return replaced == static_cast<int>(std::size(counted));
}

void Measure(Units& units, HMODULE library) {
  units.Attach({{1, 0, Model::kKestrin, true}});
  std::uint64_t throughWinUsb = 0, onBench = 0;
  unsigned long usbCalls = 0, setupCalls = 0, kernel = 0;
  int opens = 0;
  double winusbCpu = 0;
  {
    Kestrin kestrin;
    CHECK(kestrin.Present());
    seen.clear();
    CHECK(CountKernelCalls(library));
    kernelCalls = 0;
    const unsigned long usbBefore = standIns.usbCalls(), setupBefore = standIns.setupCalls();
    winusbCpu = CpuPerRequest(
        units.Bench(),
        [&] {
          for (int read = 0; read < 20; ++read) kestrin.Position();
          kestrin.Move(5);
        },
        throughWinUsb);
    opens = Count("initialize");
    kernel = kernelCalls;
    usbCalls = standIns.usbCalls() - usbBefore;
    setupCalls = standIns.setupCalls() - setupBefore;
  }
  double benchCpu = 0;
  {
    zel::KestrinControl kestrin({units.Bench(), ""});  // firmware runs: no image needed
    benchCpu = CpuPerRequest(
        units.Bench(),
        [&] {
          std::int32_t position = 0;
          VARIANT_BOOL moved = 0;
          for (int read = 0; read < 20; ++read) kestrin.GetMotorPosition(1, &position);
          kestrin.MoveMotor(1, 5, 0, &moved);
        },
        onBench);
  }
  CHECK(throughWinUsb > 0 && onBench > 0);
  const double requests = static_cast<double>(throughWinUsb);
  std::printf("requests: %llu through WinUSB, %llu on the bench driver\n",
              static_cast<unsigned long long>(throughWinUsb),
              static_cast<unsigned long long>(onBench));
  std::printf(
      "CPU per request: %.1f us through WinUSB and the stand-ins, %.1f us on the bench "
      "driver\n",
      winusbCpu, benchCpu);
  std::printf(
      "per request: %.2f opens, %.2f WinUSB calls, %.2f SetupAPI calls, %.2f kernel32 "
      "calls (CreateFileA, CreateFileW, GetLastError, CloseHandle, DeviceIoControl)\n",
      opens / requests, usbCalls / requests, setupCalls / requests, kernel / requests);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::printf("usage: winusb_checks PATH\\ZELUSB.dll GROUP\n");
    return 2;
  }
  const std::wstring wide(argv[2]);
  const std::string group(wide.begin(), wide.end());
  const SystemStandIn placed;
  if (!placed.Placed()) {
    std::printf("FAILED: the stand-in winusb.dll cannot be put in the system folder\n");
    return 1;
  }
  if (group == "faults") FirstLoad();
  if (!LoadStandIns()) {
    std::printf(
        "FAILED: the stand-ins of winusb.dll and setupapi.dll are not loaded (is setupapi.dll "
        "beside this program, with WINEDLLOVERRIDES setupapi,winusb=n,b?)\n");
    return 1;
  }
  HMODULE library = LoadLibraryW(argv[1]);
  auto registerServer = Resolve<HRESULT(STDAPICALLTYPE*)()>(library, "DllRegisterServer");
  auto unregisterServer = Resolve<HRESULT(STDAPICALLTYPE*)()>(library, "DllUnregisterServer");
  if (library == nullptr || registerServer == nullptr || registerServer() != S_OK) {
    std::printf("FAILED: cannot register %ls\n", argv[1]);
    return 1;
  }
  CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  {
    Units units;
    LegacyDevice legacy;  // none: every group but the legacy rows has WinUSB's unit 0 at 0
    if (group == "controls") {
      Controls(units, legacy);
    } else if (group == "faults") {
      Faults(units);
    } else if (group == "numbers") {
      Numbers(units);
    } else if (group == "measure") {
      Measure(units, library);
    } else {
      std::printf("FAILED: unknown group %s\n", group.c_str());
      ++failed;
    }
    standIns.serve(nullptr);
  }
  CoUninitialize();
  unregisterServer();
  std::printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
