#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>

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

// The system's words for an error code, without the line end it adds.
std::string SystemMessage(DWORD code) {
  char text[256] = {};
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           code, 0, text, sizeof text, nullptr);
  while (n > 0 && (text[n - 1] == '\n' || text[n - 1] == '\r' || text[n - 1] == ' ')) --n;
  const std::string number = "error " + std::to_string(code);
  return n == 0 ? number : std::string(text, n) + " (" + number + ")";
}

void* Win32OpenFile(const char* path, std::string* error) {
  HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    *error = SystemMessage(GetLastError());
    return nullptr;
  }
  SetHandleInformation(file, HANDLE_FLAG_INHERIT, 0);
  return file;
}

void Win32CloseFile(void* file) {
  CloseHandle(file);
}

// The tracers lock one byte far past any trace's end, not the lines themselves: a lock on
// Windows also stops other writers (the simulator's own trace) from writing the bytes it
// covers.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

void Win32LockFile(void* file, bool hold) {
  OVERLAPPED at{};
  at.OffsetHigh = kLockOffsetHigh;
  if (hold)
    LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, &at);
  else
    UnlockFileEx(file, 0, 1, 0, &at);
}

int64_t Win32FileSize(void* file) {
  LARGE_INTEGER size{};
  return GetFileSizeEx(file, &size) ? static_cast<int64_t>(size.QuadPart) : -1;
}

OVERLAPPED At(int64_t offset) {
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(static_cast<uint64_t>(offset) & 0xFFFFFFFFu);
  at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
  return at;
}

// Repeats `io(done, &n)`, which transfers from `done` bytes on and sets what it did, until all
// `size` bytes are through.
template <typename Io>
bool Whole(std::size_t size, Io io) {
  for (std::size_t done = 0; done < size;) {
    DWORD n = 0;
    if (!io(done, &n) || n == 0) return false;
    done += n;
  }
  return true;
}

bool Win32ReadAt(void* file, int64_t offset, char* data, std::size_t size) {
  return Whole(size, [&](std::size_t done, DWORD* n) {
    OVERLAPPED at = At(offset + static_cast<int64_t>(done));
    return ReadFile(file, data + done, static_cast<DWORD>(size - done), n, &at) != FALSE;
  });
}

bool Win32WriteAt(void* file, int64_t offset, const char* data, std::size_t size) {
  return Whole(size, [&](std::size_t done, DWORD* n) {
    OVERLAPPED at = At(offset + static_cast<int64_t>(done));
    return WriteFile(file, data + done, static_cast<DWORD>(size - done), n, &at) != FALSE;
  });
}

}  // namespace

const TracePlatform kTracePlatform = {.OwnFolder = Win32OwnFolder,
                                      .Load = Win32Load,
                                      .Find = Win32Find,
                                      .Now = Win32Now,
                                      .ProcessId = Win32ProcessId,
                                      .OpenFile = Win32OpenFile,
                                      .CloseFile = Win32CloseFile,
                                      .LockFile = Win32LockFile,
                                      .FileSize = Win32FileSize,
                                      .ReadAt = Win32ReadAt,
                                      .WriteAt = Win32WriteAt};

}  // namespace qv::trace
