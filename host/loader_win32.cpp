#include <windows.h>

#include <string>

#include "host/loader.h"

namespace qvhost {

Library::Library(const std::string& path) {
  handle_ = LoadLibraryA(path.c_str());
  if (handle_ == nullptr) error_ = "LoadLibrary failed, error " + std::to_string(GetLastError());
}

Library::~Library() {
  if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
}

void* Library::Find(const char* name) const {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

std::string DefaultDriverPath(const char* argv0) {
  std::string dir = argv0;
  const auto slash = dir.find_last_of("/\\");
  dir = slash == std::string::npos ? std::string(".") : dir.substr(0, slash);
  return dir + "\\Qv_lvk5120x.dll";
}

void SleepMs(int ms) {
  Sleep(static_cast<DWORD>(ms));
}

}  // namespace qvhost
