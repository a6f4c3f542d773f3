#include <windows.h>

#include <cstdio>

#include "trace/trace_platform.h"

namespace qv::trace {

namespace {

std::string Win32OwnFolder() {
  HMODULE self = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCSTR>(&Win32OwnFolder), &self))
    return {};
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(self, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return {};
  std::string folder(path, n);
  const auto slash = folder.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}

void* Win32Load(const char* path, std::string* error) {
  // The real library's own dependencies are looked up beside it first (which needs a full
  // path).
  char full[MAX_PATH];
  const DWORD n = GetFullPathNameA(path, MAX_PATH, full, nullptr);
  const bool absolute = n > 0 && n < MAX_PATH;
  HMODULE library =
      LoadLibraryExA(absolute ? full : path, nullptr, absolute ? LOAD_WITH_ALTERED_SEARCH_PATH : 0);
  if (library == nullptr) *error = "LoadLibrary failed, error " + std::to_string(GetLastError());
  return reinterpret_cast<void*>(library);
}

void* Win32Find(void* library, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void Win32Now(char* out, std::size_t size) {
  SYSTEMTIME t{};
  GetLocalTime(&t);
  std::snprintf(out, size, "%04u-%02u-%02u %02u:%02u:%02u.%03u", t.wYear % 10000u, t.wMonth, t.wDay,
                t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
}

unsigned long Win32ProcessId() {
  return GetCurrentProcessId();
}

}  // namespace

const TracePlatform kTracePlatform = {.OwnFolder = Win32OwnFolder,
                                      .Load = Win32Load,
                                      .Find = Win32Find,
                                      .Now = Win32Now,
                                      .ProcessId = Win32ProcessId};

}  // namespace qv::trace
