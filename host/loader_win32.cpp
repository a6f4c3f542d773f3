#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdio>

#include <string>

#include "host/loader.h"

namespace qvhost {

Library::Library(const std::string& path, bool search) {
  if (search) {
    handle_ = LoadLibraryA(path.c_str());
    if (handle_ == nullptr) error_ = "LoadLibrary failed, error " + std::to_string(GetLastError());
    return;
  }
  // As a host would: the driver's own folder is searched first for the card library.
  char full[MAX_PATH];
  const DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
  const bool absolute = n > 0 && n < MAX_PATH;
  handle_ = LoadLibraryExA(absolute ? full : path.c_str(), nullptr,
                           absolute ? LOAD_WITH_ALTERED_SEARCH_PATH : 0);
  if (handle_ == nullptr) error_ = "LoadLibrary failed, error " + std::to_string(GetLastError());
}

Library::~Library() {
  if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
}

void* Library::Find(const char* name) const {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

std::string Library::Path() const {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(static_cast<HMODULE>(handle_), path, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::string(path, n) : std::string();
}

std::string Beside(const std::string& path, const char* name) {
  const auto slash = path.find_last_of("/\\");
  return (slash == std::string::npos ? std::string(".") : path.substr(0, slash)) + "\\" + name;
}

const char* CardLibraryFileName() {
  return "VODRA_OX952.DLL";
}

void* LoadedCardLibraryFunction(const char* name) {
  const HMODULE library = GetModuleHandleA(CardLibraryFileName());
  return library != nullptr ? reinterpret_cast<void*>(GetProcAddress(library, name)) : nullptr;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void SetEnvironment(const char* name, const char* value) {
  SetEnvironmentVariableA(name, value);
}

void BinaryStdout() {
  std::fflush(stdout);
  _setmode(_fileno(stdout), _O_BINARY);
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
