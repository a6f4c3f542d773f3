#include <windows.h>

#include <cstdio>
#include <string>

#include "card/search_lock.h"

namespace qv {
namespace {

// Global\: one name for every session of the machine, so that a host running as a service
// and an integrator's qvhost at the desktop share it.
constexpr wchar_t kMutexName[] = L"Global\\Qv_lvk5120x.CardSearch";

void Say(const std::string& what) {
  const std::string line = "Qv_lvk5120x: " + what + "; searching without it\n";
  std::fputs(line.c_str(), stderr);
  OutputDebugStringA(line.c_str());
}

}  // namespace

void* AcquireCardSearchLock(unsigned wait_ms) {
  HANDLE mutex = CreateMutexW(nullptr, FALSE, kMutexName);
  // Made by another user, whose default security may let us wait on it only.
  if (mutex == nullptr) mutex = OpenMutexW(SYNCHRONIZE | MUTEX_MODIFY_STATE, FALSE, kMutexName);
  if (mutex == nullptr) {
    Say("card search lock cannot be opened (error " + std::to_string(GetLastError()) + ")");
    return nullptr;
  }
  switch (WaitForSingleObject(mutex, wait_ms)) {
    case WAIT_OBJECT_0:
    case WAIT_ABANDONED:  // its holder ended mid-search; the cards are the library's to keep
      return mutex;
    case WAIT_TIMEOUT:
      Say("card search lock not had within " + std::to_string(wait_ms) +
          " ms (another search holds it)");
      break;
    default:
      Say("card search lock failed (error " + std::to_string(GetLastError()) + ")");
      break;
  }
  CloseHandle(mutex);
  return nullptr;
}

void ReleaseCardSearchLock(void* handle) {
  if (handle == nullptr) return;
  ReleaseMutex(static_cast<HANDLE>(handle));
  CloseHandle(static_cast<HANDLE>(handle));
}

}  // namespace qv
