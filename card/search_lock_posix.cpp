#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <thread>

#include "card/search_lock.h"

namespace qv {
namespace {

// /run/lock is the system's place for device-access locks that every user may take (a tmpfs,
// so a lock never outlives a boot); /tmp where a system has no /run/lock.
constexpr const char* kLockFiles[] = {"/run/lock/qv_lvk5120x.card-search",
                                      "/tmp/qv_lvk5120x.card-search"};

// Read-only is enough for flock, so a lock file made by another user serves too. It is never
// opened with O_CREAT when it exists: in a sticky folder that fails on another user's file.
int OpenLockFile(const char* path) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd >= 0 || errno != ENOENT) return fd;
    fd = open(path, O_RDONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      (void)fchmod(fd, 0644);  // whatever the host's umask
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  return -1;
}

}  // namespace

void* AcquireCardSearchLock(unsigned wait_ms) {
  int fd = -1;
  const char* path = nullptr;
  for (const char* candidate : kLockFiles) {
    path = candidate;
    if ((fd = OpenLockFile(candidate)) >= 0) break;
  }
  if (fd < 0) {
    std::fprintf(stderr,
                 "Qv_lvk5120x: card search lock %s cannot be opened (%s); searching without it\n",
                 path, std::strerror(errno));
    return nullptr;
  }
  // Each open file has a lock of its own, so threads of one process exclude each other too.
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  while (flock(fd, LOCK_EX | LOCK_NB) != 0) {
    if ((errno != EWOULDBLOCK && errno != EINTR) || std::chrono::steady_clock::now() >= give_up) {
      std::fprintf(stderr,
                   "Qv_lvk5120x: card search lock %s not had within %u ms (%s); searching "
                   "without it\n",
                   path, wait_ms,
                   errno == EWOULDBLOCK ? "another search holds it" : std::strerror(errno));
      close(fd);
      return nullptr;
    }
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return reinterpret_cast<void*>(static_cast<intptr_t>(fd) + 1);  // never nullptr
}

void ReleaseCardSearchLock(void* handle) {
  if (handle == nullptr) return;
  close(static_cast<int>(reinterpret_cast<intptr_t>(handle) - 1));  // and with it the lock
}

}  // namespace qv
