// The behaviours that need no platform interface; included by the platform files.
#pragma once

#include <stdexcept>

namespace qvtest::behaviour {

// Kept out of line so that the fault happens inside the call, as in a real library.
__attribute__((noinline, no_sanitize("address", "undefined"))) inline void NullWrite() {
  volatile int* volatile nowhere = nullptr;
  *nowhere = 1;
}
__attribute__((noinline)) inline void IllegalInstruction() {
  __builtin_trap();
}
// The division instruction itself: compilers turn a division in C++ into other code.
__attribute__((noinline)) inline void IntegerDivideByZero() {
  int quotient = 1, remainder = 0;
  const int zero = 0;
  asm volatile("idivl %2" : "+a"(quotient), "+d"(remainder) : "r"(zero));
}
__attribute__((noinline)) inline void CxxThrow() {
  throw std::runtime_error("library failure");
}

}  // namespace qvtest::behaviour
