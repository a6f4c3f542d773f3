#include <dlfcn.h>
#include <sys/stat.h>
#include <time.h>

#include <cstdlib>
#include <string>

#include "host/loader.h"

namespace qvhost {

Library::Library(const std::string& path, bool /*search*/) {
  // dlopen searches the library path for a name without a slash.
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

std::string Library::Path() const {
  void* symbol = dlsym(handle_, "OX952_CardsInSystem");
  Dl_info info{};
  if (symbol == nullptr || dladdr(symbol, &info) == 0 || info.dli_fname == nullptr) return {};
  return info.dli_fname;
}

std::string Beside(const std::string& path, const char* name) {
  const auto slash = path.find_last_of('/');
  return (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "/" + name;
}

const char* CardLibraryFileName() {
  return "libvodra_ox952.so";
}

void* LoadedCardLibraryFunction(const char* name) {
  void* library = dlopen(CardLibraryFileName(), RTLD_LAZY | RTLD_NOLOAD);
  if (library == nullptr) return nullptr;
  void* function = dlsym(library, name);
  dlclose(library);  // the driver still holds it
  return function;
}

bool FileExists(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0;
}

void SetEnvironment(const char* name, const char* value) {
  setenv(name, value, 1);
}

void BinaryStdout() {}

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
