// Profile reading on POSIX: our own reader of the Windows dialect (see profile.h).
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "config/profile.h"

namespace qv {
namespace {

// Parameter files are a few kilobytes; a bigger file is not one, and reading it whole
// into the host's memory would be unkind.
constexpr std::size_t kMaxProfileBytes = 16u << 20;

// The whole file, or nothing when it is missing, not a regular file, unreadable or too big.
std::optional<std::string> ReadWholeFile(const char* path) {
  // Non-blocking open, so that a FIFO of that name cannot hang the host; checked below.
  const int fd = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
  if (fd < 0) return std::nullopt;
  struct stat st {};
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      static_cast<unsigned long long>(st.st_size) > kMaxProfileBytes) {
    close(fd);
    return std::nullopt;
  }
  std::FILE* f = fdopen(fd, "rb");
  if (f == nullptr) {
    close(fd);
    return std::nullopt;
  }
  std::string data;
  char chunk[4096];
  std::size_t n = 0;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) {
    data.append(chunk, n);
    if (data.size() > kMaxProfileBytes) break;  // grew while we read
  }
  const bool failed = std::ferror(f) != 0 || data.size() > kMaxProfileBytes;
  std::fclose(f);
  if (failed) return std::nullopt;
  return data;
}

}  // namespace

std::size_t ReadProfileString(const char* path, std::string_view section, std::string_view key,
                              std::string_view def, char* out, std::size_t size) {
  if (out == nullptr || size == 0) return 0;
  if (path != nullptr && path[0] != '\0') {
    if (const auto file = ReadWholeFile(path)) {
      if (const auto found = FindProfileKey(*file, section, key); found && found->value)
        return CopyProfileResult(*found->value, false, out, size);
    }
  }
  return CopyProfileResult(def, true, out, size);
}

}  // namespace qv
