// The driver's log file: one time-stamped line per lifecycle event.
#pragma once

#include <cstdint>
#include <string_view>

#include "config/cfg_data.h"

namespace qv {

// What WriteLog reports.
enum class LogResult : uint8_t {
  Ok = 0,            // written, or logging is off
  CannotOpen = 1,    // the file exists but cannot be opened for appending
  CannotCreate = 2,  // the file does not exist and cannot be created
  AccessError = 3,   // composing, writing or closing the line failed
};

// Passed as `number` when the line carries no number.
inline constexpr int32_t kNoNumber = 2147483647;

// Appends one line to cfg.LogFileName when cfg.LogEnabled is non-zero.
LogResult WriteLog(const TCFGData& cfg, std::string_view message, int32_t number = kNoNumber);

// The Windows-1250 text of a result (a code above 3 gives the text of AccessError).
std::string_view LogResultText(LogResult code);

}  // namespace qv
