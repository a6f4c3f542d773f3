#include <dlfcn.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

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

}  // namespace

const TracePlatform kTracePlatform = {.OwnFolder = PosixOwnFolder,
                                      .Load = PosixLoad,
                                      .Find = PosixFind,
                                      .Now = PosixNow,
                                      .ProcessId = PosixProcessId};

}  // namespace qv::trace
