#include <dlfcn.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "trace/trace_platform.h"

namespace qv::trace {

namespace {

std::string PosixOwnFolder() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&PosixOwnFolder), &info) == 0 || info.dli_fname == nullptr)
    return {};
  std::string path = info.dli_fname;
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

void* PosixLoad(const char* path, std::string* error) {
  void* library = dlopen(path, RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    const char* why = dlerror();
    *error = why != nullptr ? why : "dlopen failed";
  }
  return library;
}

void* PosixFind(void* library, const char* name) {
  return dlsym(library, name);
}

void PosixNow(char* out, std::size_t size) {
  timespec ts{};
  clock_gettime(CLOCK_REALTIME, &ts);
  tm local{};
  localtime_r(&ts.tv_sec, &local);
  std::snprintf(out, size, "%04d-%02d-%02d %02d:%02d:%02d.%03d", (local.tm_year + 1900) % 10000,
                local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                static_cast<int>(ts.tv_nsec / 1000000));
}

unsigned long PosixProcessId() {
  return static_cast<unsigned long>(getpid());
}

// The file's descriptor, carried in the pointer as descriptor + 1 (a descriptor may be 0).
int Descriptor(void* file) {
  return static_cast<int>(reinterpret_cast<intptr_t>(file) - 1);
}

void* PosixOpenFile(const char* path, std::string* error) {
  const int fd = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    *error = std::strerror(errno);
    return nullptr;
  }
  return reinterpret_cast<void*>(static_cast<intptr_t>(fd) + 1);
}

void PosixCloseFile(void* file) {
  close(Descriptor(file));
}

// flock, not fcntl: its lock belongs to this descriptor, so that the simulator closing its
// own descriptor of the same file in this process cannot release it.
void PosixLockFile(void* file, bool hold) {
  while (flock(Descriptor(file), hold ? LOCK_EX : LOCK_UN) != 0 && errno == EINTR) {
  }
}

int64_t PosixFileSize(void* file) {
  struct stat status {};
  return fstat(Descriptor(file), &status) == 0 ? static_cast<int64_t>(status.st_size) : -1;
}

// Repeats `io(done)`, which transfers from `done` bytes on and returns what it did, until all
// `size` bytes are through.
template <typename Io>
bool Whole(std::size_t size, Io io) {
  for (std::size_t done = 0; done < size;) {
    const ssize_t n = io(done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<std::size_t>(n);
  }
  return true;
}

bool PosixReadAt(void* file, int64_t offset, char* data, std::size_t size) {
  return Whole(size, [&](std::size_t done) {
    return pread(Descriptor(file), data + done, size - done, static_cast<off_t>(offset + done));
  });
}

bool PosixWriteAt(void* file, int64_t offset, const char* data, std::size_t size) {
  return Whole(size, [&](std::size_t done) {
    return pwrite(Descriptor(file), data + done, size - done, static_cast<off_t>(offset + done));
  });
}

}  // namespace

const TracePlatform kTracePlatform = {.OwnFolder = PosixOwnFolder,
                                      .Load = PosixLoad,
                                      .Find = PosixFind,
                                      .Now = PosixNow,
                                      .ProcessId = PosixProcessId,
                                      .OpenFile = PosixOpenFile,
                                      .CloseFile = PosixCloseFile,
                                      .LockFile = PosixLockFile,
                                      .FileSize = PosixFileSize,
                                      .ReadAt = PosixReadAt,
                                      .WriteAt = PosixWriteAt};

}  // namespace qv::trace
