// The driver's log file: one time-stamped line per lifecycle event.
#pragma once

#include <cstdint>
#include <string_view>

#include "config/cfg_data.h"

namespace qv {

// 0 written (or logging off), 1 exists but cannot be opened for appending,
// 2 does not exist and cannot be created, 3 composing, writing or closing failed.
using LogResult = uint8_t;

// Passed as `number` when the line carries no number.
inline constexpr int32_t kNoNumber = 2147483647;

// Appends one line to cfg.LogFileName when cfg.LogEnabled is non-zero.
LogResult WriteLog(const TCFGData& cfg, std::string_view message, int32_t number = kNoNumber);

// The Windows-1250 text of a result code (codes above 3 give the text of 3).
std::string_view LogResultText(LogResult code);

}  // namespace qv
