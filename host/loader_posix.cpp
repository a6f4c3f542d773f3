#include <dlfcn.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

#include "host/loader.h"

namespace qvhost {

Library::Library(const std::string& path, bool /*altered*/) {
  // dlopen searches the library path for a name without a slash; the libraries it needs are
  // found through LD_LIBRARY_PATH, then the RUNPATH ($ORIGIN: its own folder), then the
  // system's folders: one way only.
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

std::string LoadedCardLibraryPath() {
  void* library = dlopen(CardLibraryFileName(), RTLD_LAZY | RTLD_NOLOAD);
  if (library == nullptr) return {};
  void* symbol = dlsym(library, "OX952_CardsInSystem");
  Dl_info info{};
  std::string path;
  if (symbol != nullptr && dladdr(symbol, &info) != 0 && info.dli_fname != nullptr)
    path = info.dli_fname;
  dlclose(library);
  return path;
}

std::string ProgramFolder() {
  char path[PATH_MAX];
  const ssize_t n = readlink("/proc/self/exe", path, sizeof path - 1);
  return n > 0 ? Beside(std::string(path, static_cast<size_t>(n)), ".") : std::string(".");
}

std::string FoundIn(const std::string& path, const std::string& driver, bool /*altered*/) {
  const std::string folder = Beside(path, ".");
  if (const char* list = std::getenv("LD_LIBRARY_PATH")) {
    const std::string paths = list;
    for (size_t start = 0; start <= paths.size();) {
      size_t end = paths.find(':', start);
      if (end == std::string::npos) end = paths.size();
      if (end > start && SamePath(paths.substr(start, end - start), folder))
        return "a folder on LD_LIBRARY_PATH";
      start = end + 1;
    }
  }
  if (SamePath(Beside(driver, "."), folder)) return "the driver's folder";
  return "the system's library folders";
}

bool SamePath(const std::string& a, const std::string& b) {
  char x[PATH_MAX], y[PATH_MAX];
  if (realpath(a.c_str(), x) == nullptr || realpath(b.c_str(), y) == nullptr) return a == b;
  return std::string(x) == y;
}

bool TwoWaysOfLoading() {
  return false;
}

void* LoadedCardLibraryFunction(const char* name) {
  void* library = dlopen(CardLibraryFileName(), RTLD_LAZY | RTLD_NOLOAD);
  if (library == nullptr) return nullptr;
  void* function = dlsym(library, name);
  dlclose(library);  // the driver still holds it
  return function;
}

std::string ProfileFilePath(const std::string& path) {
  return path;
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
