// The log file's platform boundary, and the log writer's pieces that tests drive directly.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "config/cfg_data.h"
#include "config/log.h"

namespace qv {

// One open log file: a file descriptor or a HANDLE, as the backend keeps it.
using LogFileHandle = intptr_t;

struct LogFileBackend {
  // Opens `name` for appending with others allowed to read but not to write. An existing
  // non-directory is opened at its end (Ok, or CannotOpen when that fails); otherwise the file
  // is created empty (Ok, or CannotCreate when that fails). Sets *handle on Ok only.
  LogResult (*open)(const char* name, LogFileHandle* handle);
  // Writes all `size` bytes at the end of the file; false when fewer were written.
  bool (*append)(LogFileHandle handle, const char* data, std::size_t size);
  // Closes the file; false when closing reported an error (the handle is gone either way).
  bool (*close)(LogFileHandle handle);
  // The local date (short format) and time (long format) of the user's regional settings,
  // from one reading of the clock, as zero-terminated texts; false when either fails.
  bool (*local_date_time)(char* date, std::size_t date_size, char* time, std::size_t time_size);
};

// The backend of this platform (logfile_posix.cpp or logfile_win32.cpp).
extern const LogFileBackend kLogFilePlatform;

// Longest log file name, the Windows path limit less its terminator.
inline constexpr std::size_t kMaxLogFileName = 259;

// Composes "[date time] (Qv_lvk5120x bus/slot) message[number]" CR LF into `out`, the number
// only when it is not kNoNumber. Returns the line's length, or 0 when it does not fit.
std::size_t ComposeLogLine(char* out, std::size_t size, std::string_view date,
                           std::string_view time, int32_t bus, int32_t slot,
                           std::string_view message, int32_t number);

// WriteLog through the given backend.
LogResult WriteLogWith(const LogFileBackend& backend, const TCFGData& cfg, std::string_view message,
                       int32_t number);

}  // namespace qv
