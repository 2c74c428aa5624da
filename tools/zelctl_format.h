// How zelctl writes a call's outcome: "Member -> VALUE", one line per call.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "controls/move_completions.h"
#include "platform/automation.h"

namespace zel::zelctl {

// The out value of a call: none (a property put), a 32-bit integer (long and the enumerations),
// a VARIANT_BOOL, a double, or a text (a BSTR, already converted to the narrow code page).
using OutValue = std::variant<std::monostate, std::int32_t, VARIANT_BOOL, double, std::string>;

struct CallResult {
  HRESULT hr = S_OK;
  OutValue value;
};

// Integers in decimal (a VARIANT_BOOL as its signed 16-bit value), doubles in their shortest
// form that reads back exactly ("inf" for positive infinity), texts in double quotes with '"'
// and '\' escaped by a backslash, "S_OK" when there is no value, and "HRESULT 0x8007000E" for a
// failing result, whatever the value.
std::string FormatValue(const CallResult& result);

// "Member -> VALUE".
std::string FormatResultLine(std::string_view member, const CallResult& result);

// "MoveComplete MOTOR STATUS POSITION", or "HomeComplete ...": a line of the wait word.
std::string FormatCompletionLine(const MoveCompletion& completion);

// The shortest text that reads back as exactly `value`.
std::string FormatDouble(double value);

}  // namespace zel::zelctl
