#include <dlfcn.h>
#include <unwind.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include "sim/sim_platform.h"

namespace qv::sim {

namespace {

// A real fault, so that whoever guards the call sees exactly what a broken library
// causes; the sanitizers must not turn the store into a report of their own.
__attribute__((no_sanitize("address", "undefined"))) void PosixRaise(RaiseKind kind) {
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
    case RaiseKind::kCppException:
      throw std::runtime_error("VODRA_OX952 simulator: configured exception");
    case RaiseKind::kForeignException: {
      // Another language's exception: the same unwinder, a class of its own.
      static _Unwind_Exception exception;
      std::memset(&exception, 0, sizeof exception);
      std::memcpy(&exception.exception_class, "VODRAFRN", 8);
      exception.exception_cleanup = [](_Unwind_Reason_Code, _Unwind_Exception*) {};
      _Unwind_RaiseException(&exception);
      break;
    }
    case RaiseKind::kHandledException:
      try {
        throw std::runtime_error("VODRA_OX952 simulator: handled inside");
      } catch (const std::runtime_error&) {
      }
      break;
    case RaiseKind::kNone:
      break;
  }
}

std::string PosixOwnPath() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&PosixOwnPath), &info) == 0 || info.dli_fname == nullptr)
    return {};
  return info.dli_fname;
}

void PosixWarn(const std::string& line) {
  std::fprintf(stderr, "%s\n", line.c_str());
}

}  // namespace

const SimPlatform kSimPlatform = {.Raise = PosixRaise, .OwnPath = PosixOwnPath, .Warn = PosixWarn};

}  // namespace qv::sim
