// The automation members that the three controls share, written once. `Control` supplies its
// link (Link()), motor controller (Motors()), unit information (Info()), the serial filter
// (SerialFilter()) and the firmware directory (FirmwareDirectory()). Every member returns S_OK,
// except E_OUTOFMEMORY when a result string cannot be allocated and E_POINTER for a null result
// pointer; device failures show in the results and in LastError.
//
// The move members also feed the control's move completions (controls/move_completions.h),
// which MovesPending, PollMoves and TakeCompletion hand out.
#pragma once

#include <cstdint>
#include <cstdio>

#include "controls/move_completions.h"
#include "controls/unit_selection.h"
#include "devices/motor_controller.h"
#include "link/ez_usb_link.h"
#include "platform/automation.h"

namespace zel {

template <typename Control>
class CommonMembers {
 public:
  // Searches the class's units and selects one; run at construction and by SetSerial.
  bool Connect() {
    Control& c = self();
    return UnitSelection(Control::kClass, c.Link(), c.Motors(), c.Info(), c.SerialFilter(),
                         c.DefaultSpeed(), c.FirmwareDirectory())
        .Connect();
  }

  // The move completions (controls/move_completions.h). After each member call, take what is
  // queued; while a move is pending, poll every kMovePollPauseMs (pausing through the driver,
  // Link().Pause) and take again. A synchronous move member returns with its completion queued.
  //
  // Whether a move on `motor` (0: any motor) is remembered and has not completed yet.
  bool MovesPending(std::int32_t motor = 0) const noexcept { return moves_.Pending(motor); }
  // Reads each remembered motor's status (and a resting one's position); queues completions.
  void PollMoves() noexcept { moves_.Poll(self().Motors(), self().Link()); }
  // The oldest queued completion, taken out; false when none is queued.
  bool TakeCompletion(MoveCompletion& completion) noexcept { return moves_.Take(completion); }

  HRESULT MoveHome(std::int32_t lMotorID, VARIANT_BOOL bAsynchron, VARIANT_BOOL* bResult) noexcept {
    if (bResult == nullptr) return E_POINTER;
    return Move(MoveKind::kHome, lMotorID, self().Motors().MoveHome(lMotorID), bAsynchron, bResult);
  }
  HRESULT MoveMotor(std::int32_t lMotorID, std::int32_t lSteps, VARIANT_BOOL bAsynchron,
                    VARIANT_BOOL* bResult) noexcept {
    if (bResult == nullptr) return E_POINTER;
    return Move(MoveKind::kMove, lMotorID, self().Motors().MoveMotor(lMotorID, lSteps), bAsynchron,
                bResult);
  }
  HRESULT MoveToPos(std::int32_t lMotorID, std::int32_t lPosition, VARIANT_BOOL bAsynchron,
                    VARIANT_BOOL* bResult) noexcept {
    if (bResult == nullptr) return E_POINTER;
    return Move(MoveKind::kMove, lMotorID, self().Motors().MoveToPos(lMotorID, lPosition),
                bAsynchron, bResult);
  }
  HRESULT GetMotorStatus(std::int32_t lMotorID, EMotorStatus* eStatus) noexcept {
    if (eStatus == nullptr) return E_POINTER;
    *eStatus = static_cast<EMotorStatus>(self().Motors().GetMotorStatus(lMotorID));
    return S_OK;
  }
  HRESULT GetMotorPosition(std::int32_t lMotorID, std::int32_t* lPosition) noexcept {
    return Value(lPosition, [&] { return self().Motors().GetMotorPosition(lMotorID); });
  }
  HRESULT Stop(std::int32_t lMotorID, VARIANT_BOOL* bResult) noexcept {
    return Value(bResult, [&] { return ToVariantBool(self().Motors().Stop(lMotorID)); });
  }
  HRESULT SetMotorFreq(std::int32_t lMotorID, std::int32_t lFreq, VARIANT_BOOL* bResult) noexcept {
    return Value(bResult,
                 [&] { return ToVariantBool(self().Motors().SetMotorFreq(lMotorID, lFreq)); });
  }
  HRESULT GetMotorFreq(std::int32_t lMotorID, std::int32_t* lFrequence) noexcept {
    return Value(lFrequence, [&] { return self().Motors().GetMotorFreq(lMotorID); });
  }
  HRESULT SetMotorMode(std::int32_t lMotorID, std::int32_t lMotorMode,
                       VARIANT_BOOL* bResult) noexcept {
    return Value(bResult,
                 [&] { return ToVariantBool(self().Motors().SetMotorMode(lMotorID, lMotorMode)); });
  }
  HRESULT GetMotorMode(std::int32_t lMotorID, std::int32_t* plMotorMode) noexcept {
    return Value(plMotorMode, [&] { return self().Motors().GetMotorMode(lMotorID); });
  }

  // Present while the link found the unit and it answers; when the last operation left a code,
  // the heartbeat decides.
  HRESULT IsDevicePresent(VARIANT_BOOL* bResult) noexcept {
    return Value(bResult, [&] {
      EzUsbLink& link = self().Link();
      if (!link.DevicePresent()) return ToVariantBool(false);
      if (link.GetStatus() == LinkStatus::eErrorNoError) return ToVariantBool(true);
      return ToVariantBool(link.IsFirmwareRunning());
    });
  }
  // The link's own code, untranslated: values from 4 on differ from the published enumeration.
  HRESULT get_LastError(std::int32_t* pVal) noexcept {
    return Value(pVal, [&] { return static_cast<std::int32_t>(self().Link().GetStatus()); });
  }
  HRESULT get_LastErrorText(BSTR* pVal) noexcept {
    if (pVal == nullptr) return E_POINTER;
    return NarrowToBstr(StatusMessage(self().Link().GetStatus()), pVal);
  }
  HRESULT SetSerial(BSTR szSerial, VARIANT_BOOL* bResult) noexcept {
    if (bResult == nullptr) return E_POINTER;
    try {
      self().SerialFilter() = BstrToNarrow(szSerial);
    } catch (...) {
      return E_OUTOFMEMORY;
    }
    *bResult = ToVariantBool(self().Connect());
    return S_OK;
  }
  // Read from the unit on every call, not the stored filter.
  HRESULT GetSerial(BSTR* szSerial) noexcept {
    if (szSerial == nullptr) return E_POINTER;
    try {
      return NarrowToBstr(self().Info().ReadSerialNumber(), szSerial);
    } catch (...) {
      return E_OUTOFMEMORY;
    }
  }
  // Minor byte first, then major; each read takes the lock on its own.
  HRESULT get_FirmwareVersion(BSTR* pVal) noexcept {
    if (pVal == nullptr) return E_POINTER;
    const unsigned minor = self().Info().ReadFirmwareMinor();
    const unsigned major = self().Info().ReadFirmwareMajor();
    char text[16];
    std::snprintf(text, sizeof text, "%u.%u", major, minor);
    return NarrowToBstr(text, pVal);
  }

 protected:
  // The last step of construction: the link looks for the class's units only, then connects.
  void Start() {
    self().Link().SetFilters(ezusb::kVendorId, Control::kClass.product->id, 0);
    Connect();
  }

  Control& self() noexcept { return static_cast<Control&>(*this); }

  template <typename T, typename Get>
  static HRESULT Value(T* out, Get get) noexcept {
    if (out == nullptr) return E_POINTER;
    *out = get();
    return S_OK;
  }

 private:
  // A move that did not start reports 0 and leaves its status code for LastError; a started
  // synchronous move reports the wait's outcome.
  HRESULT Move(MoveKind kind, std::int32_t motor, bool started, VARIANT_BOOL asynchronous,
               VARIANT_BOOL* bResult) noexcept {
    if (bResult == nullptr) return E_POINTER;
    *bResult = ToVariantBool(started);
    if (!started) return S_OK;
    DualMotorController& motors = self().Motors();
    moves_.Started(kind, motor, motors, self().Link());
    if (!FromVariantBool(asynchronous)) {
      std::int32_t lastStatus = eMotorRunning;
      *bResult = ToVariantBool(motors.AwaitRest(motor, lastStatus));
      moves_.Waited(lastStatus, motors, self().Link());
    }
    return S_OK;
  }

  MoveCompletions moves_;
};

}  // namespace zel
