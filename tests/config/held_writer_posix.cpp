#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "tests/config/test_files.h"

namespace qv::test {

// The same open file description and lock that the log writer takes.
HeldWriter::HeldWriter(const std::string& path) {
  const int fd = open(path.c_str(), O_WRONLY | O_APPEND | O_CLOEXEC);
  if (fd < 0) return;
  if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    close(fd);
    return;
  }
  handle_ = fd;
  held_ = true;
}

HeldWriter::~HeldWriter() {
  if (held_) close(static_cast<int>(handle_));
}

}  // namespace qv::test
