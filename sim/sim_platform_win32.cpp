#include <windows.h>

#include <cstdint>
#include <cstdio>

#include "sim/sim_platform.h"

namespace qv::sim {

namespace {

// The maker's library is built with MSVC: its C++ exceptions reach the caller as SEH
// exception 0xE06D7363 ("msc"), which a MinGW-built throw could not imitate across DLLs.
constexpr DWORD kMsvcCppException = 0xE06D7363;
constexpr ULONG_PTR kMsvcMagic = 0x19930520;
constexpr DWORD kForeignExceptionCode = 0xE0564F44;

void Win32Raise(RaiseKind kind) {
  static volatile uintptr_t unmapped = 0x10;
  switch (kind) {
    case RaiseKind::kAccessViolation:
      *reinterpret_cast<volatile uint32_t*>(unmapped) = 1;
      break;
    case RaiseKind::kIllegalInstruction:
      __builtin_trap();
    case RaiseKind::kDivideByZero:
      DivideByZero();
      break;
    case RaiseKind::kForeignException:
      // A software exception under a code of its own, as other languages' runtimes raise.
      RaiseException(kForeignExceptionCode, EXCEPTION_NONCONTINUABLE, 0, nullptr);
      break;
    case RaiseKind::kHandledException:
      // Raised and handled by the system library (DBG_PRINTEXCEPTION_C), as any library
      // that writes a debug message does.
      OutputDebugStringA("VODRA_OX952 simulator: handled inside\n");
      break;
    case RaiseKind::kCppException: {
      // magic, object, throw info (and, on 64-bit, the image base): no real object here.
      const ULONG_PTR args[4] = {kMsvcMagic, 0, 0, 0};
      RaiseException(kMsvcCppException, EXCEPTION_NONCONTINUABLE, sizeof(void*) == 8 ? 4 : 3, args);
      break;
    }
    case RaiseKind::kNone:
      break;
  }
}

std::string Win32OwnPath() {
  HMODULE self = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCSTR>(&Win32OwnPath), &self))
    return {};
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(self, path, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::string(path, n) : std::string();
}

// A host's console may be hidden: the debugger output reaches DebugView and the like.
void Win32Warn(const std::string& line) {
  std::fprintf(stderr, "%s\n", line.c_str());
  OutputDebugStringA((line + "\n").c_str());
}

}  // namespace

const SimPlatform kSimPlatform = {.Raise = Win32Raise, .OwnPath = Win32OwnPath, .Warn = Win32Warn};

}  // namespace qv::sim
