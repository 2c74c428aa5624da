// What the stand-ins of setupapi.dll and winusb.dll share with the check program that loads
// them. Under wine, whose own winusb.dll does nothing, the checks load these two ahead of wine's
// own (WINEDLLOVERRIDES "setupapi,winusb=n,b"): setupapi.dll from beside the check program, and
// winusb.dll from the system folder, the only place the library loads it from, where the check
// program puts it for its run (and where wine's own goes back at the end).
//
// A unit is a plain file in the folder named by the environment variable ZEL_STANDIN_DEVICES,
// named like the interface path of a USB device without serial number,
//   usb#vid_5a45&pid_314d#6&2c4f1a0&0&3#{a5dcbf10-6530-11d2-901f-00c04fb951ed}
// (its device instance ID is USB\VID_5A45&PID_314D\6&2C4F1A0&0&3), holding the number of the
// bench chip behind it in decimal, or "other" for a device bound to another driver. A folder of
// that name answers an opener with access denied, as Windows answers a second opener of a
// WinUSB device whatever its share mode (wine answers a busy file with a sharing violation), so
// the checks stand one in a unit's place while "another program" holds it. The
// setupapi.dll stand-in lists the folder; CreateFileW opens the files (exclusively when asked,
// like a device); the winusb.dll stand-in reads the file behind a handle to bind it to its chip
// and serves control transfers from the chip through the bench's driver seam.
#pragma once

#include <cstdint>

namespace zel {
class Driver;
}

namespace standin {

inline constexpr const wchar_t kDeviceFolderVariable[] = L"ZEL_STANDIN_DEVICES";
inline constexpr const wchar_t kInterfaceSuffix[] = L"#{a5dcbf10-6530-11d2-901f-00c04fb951ed}";

// The winusb.dll stand-in's controls, exported by these names (C linkage, default calling
// convention).
extern "C" {
// Serves chips from `bench` (chip N is the bench's device number N); nullptr: no chips.
using ServeFunction = void (*)(zel::Driver* bench);
// The next `count` control transfers (StandInFail) or pipe policies (StandInFailPolicy) fail
// with the Windows error `error`, reaching no chip and leaving the pipe's policy as it was.
using FailFunction = void (*)(unsigned long error, int count);
// Every WinUSB call is described to `watcher` as one line, for example
//   initialize 3 | refused: another driver | refused: not overlapped | refused: chip 3 gone |
//   policy 0 3 1000 |
//   policy 0 3 1000 fail | control C0 A0 1D10 0000 1 ok | descriptor 1 0 0000 18 ok | free
using WatchFunction = void (*)(void (*watcher)(const char* line));
// Calls of the stand-in's WinUSB functions (winusb.dll) or SetupAPI functions (setupapi.dll)
// so far.
using CallsFunction = unsigned long (*)();
}

inline constexpr const char kServe[] = "StandInServe";
inline constexpr const char kFail[] = "StandInFail";
inline constexpr const char kFailPolicy[] = "StandInFailPolicy";
inline constexpr const char kWatch[] = "StandInWatch";
inline constexpr const char kCalls[] = "StandInCalls";

}  // namespace standin
