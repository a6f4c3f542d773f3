#include <dlfcn.h>
#include <time.h>

#include <string>

#include "host/loader.h"

namespace qvhost {

Library::Library(const std::string& path) {
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* why = dlerror();
    error_ = why != nullptr ? why : "dlopen failed";
  }
}

Library::~Library() {
  if (handle_ != nullptr) dlclose(handle_);
}

void* Library::Find(const char* name) const {
  return dlsym(handle_, name);
}

std::string DefaultDriverPath(const char* argv0) {
  std::string dir = argv0;
  const auto slash = dir.find_last_of('/');
  dir = slash == std::string::npos ? std::string(".") : dir.substr(0, slash);
  return dir + "/Qv_lvk5120x.so";
}

void SleepMs(int ms) {
  timespec ts{ms / 1000, (ms % 1000) * 1000000L};
  while (nanosleep(&ts, &ts) != 0) {
  }
}

}  // namespace qvhost
