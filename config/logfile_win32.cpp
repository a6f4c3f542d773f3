// The log file on Windows: appended through a handle that lets others read but not write.
#include <windows.h>

#include "config/logfile.h"

namespace qv {
namespace {

HANDLE AsHandle(LogFileHandle handle) {
  return reinterpret_cast<HANDLE>(handle);
}

LogResult Open(const char* name, LogFileHandle* handle) {
  const DWORD attributes = GetFileAttributesA(name);
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    // Windows refuses write access to a read-only file anyway; saying so here keeps that
    // true where the file system would let an administrator through (Wine run as root).
    if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) return LogResult::CannotOpen;
    const HANDLE h = CreateFileA(name, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                 FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return LogResult::CannotOpen;
    *handle = reinterpret_cast<LogFileHandle>(h);
    return LogResult::Ok;
  }
  const HANDLE h = CreateFileA(name, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, CREATE_NEW,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return LogResult::CannotCreate;
  *handle = reinterpret_cast<LogFileHandle>(h);
  return LogResult::Ok;
}

bool Append(LogFileHandle handle, const char* data, std::size_t size) {
  if (size > MAXDWORD) return false;
  DWORD written = 0;
  return WriteFile(AsHandle(handle), data, static_cast<DWORD>(size), &written, nullptr) != 0 &&
         written == size;
}

bool Close(LogFileHandle handle) {
  return CloseHandle(AsHandle(handle)) != 0;
}

bool LocalDateTime(char* date, std::size_t date_size, char* time_text, std::size_t time_size) {
  if (date_size > 0x7FFFFFFF || time_size > 0x7FFFFFFF) return false;
  SYSTEMTIME now{};
  GetLocalTime(&now);
  return GetDateFormatA(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &now, nullptr, date,
                        static_cast<int>(date_size)) > 0 &&
         GetTimeFormatA(LOCALE_USER_DEFAULT, 0, &now, nullptr, time_text,
                        static_cast<int>(time_size)) > 0;
}

}  // namespace

const LogFileBackend kLogFilePlatform = {
    .open = Open,
    .append = Append,
    .close = Close,
    .local_date_time = LocalDateTime,
};

}  // namespace qv
