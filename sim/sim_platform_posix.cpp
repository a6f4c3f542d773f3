#include <cstdint>
#include <cstdlib>
#include <stdexcept>

#include "sim/sim_platform.h"

namespace qv::sim {

namespace {

bool PosixGetEnv(const char* name, std::string* value) {
  const char* text = std::getenv(name);
  if (text == nullptr) return false;
  *value = text;
  return true;
}

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
    case RaiseKind::kCppException:
      throw std::runtime_error("VODRA_OX952 simulator: configured exception");
    case RaiseKind::kNone:
      break;
  }
}

}  // namespace

const SimPlatform kSimPlatform = {.GetEnv = PosixGetEnv, .Raise = PosixRaise};

}  // namespace qv::sim
