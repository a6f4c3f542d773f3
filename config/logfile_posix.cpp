// The log file on POSIX, behaving as the Windows one: a file without write permission bits
// is read-only even for root, and an exclusive lock stands in for the read-only share mode.
#include <fcntl.h>
#include <locale.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "config/logfile.h"

namespace qv {
namespace {

constexpr int kOpenFlags = O_WRONLY | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK;

// Takes the writer's lock and accepts only files that a write cannot block on or signal
// from; on failure closes `fd` and returns `failure`.
LogResult Claim(int fd, LogResult failure, LogFileHandle* handle) {
  struct stat st {};
  if (fstat(fd, &st) != 0 || !(S_ISREG(st.st_mode) || S_ISCHR(st.st_mode)) ||
      flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return failure;
  }
  *handle = fd;
  return LogResult::Ok;
}

LogResult Open(const char* name, LogFileHandle* handle) {
  struct stat st {};
  if (stat(name, &st) == 0 && !S_ISDIR(st.st_mode)) {
    if (S_ISREG(st.st_mode) && (st.st_mode & 0222) == 0)
      return LogResult::CannotOpen;  // read-only attribute
    const int fd = open(name, kOpenFlags);
    return fd < 0 ? LogResult::CannotOpen : Claim(fd, LogResult::CannotOpen, handle);
  }
  const int fd = open(name, kOpenFlags | O_CREAT | O_EXCL, 0644);
  return fd < 0 ? LogResult::CannotCreate : Claim(fd, LogResult::CannotCreate, handle);
}

bool Append(LogFileHandle handle, const char* data, std::size_t size) {
  ssize_t n = 0;
  do {
    n = write(static_cast<int>(handle), data, size);
  } while (n < 0 && errno == EINTR);
  return n >= 0 && static_cast<std::size_t>(n) == size;
}

bool Close(LogFileHandle handle) {
  return close(static_cast<int>(handle)) == 0;
}

// The environment's LC_TIME, read for this call only: the host owns the process locale.
bool LocalDateTime(char* date, std::size_t date_size, char* time_text, std::size_t time_size) {
  const std::time_t now = std::time(nullptr);
  struct tm local {};
  if (now == static_cast<std::time_t>(-1) || localtime_r(&now, &local) == nullptr) return false;
  locale_t loc = newlocale(LC_TIME_MASK, "", nullptr);
  if (loc == nullptr) loc = newlocale(LC_TIME_MASK, "C", nullptr);
  if (loc == nullptr) return false;
  const bool ok = strftime_l(date, date_size, "%x", &local, loc) > 0 &&
                  strftime_l(time_text, time_size, "%X", &local, loc) > 0;
  freelocale(loc);
  return ok;
}

}  // namespace

const LogFileBackend kLogFilePlatform = {
    .open = Open,
    .append = Append,
    .close = Close,
    .local_date_time = LocalDateTime,
};

}  // namespace qv
