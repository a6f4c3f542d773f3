// The behaviours that need no platform interface; included by the platform files.
#pragma once

#include <stdexcept>

#include "library_behaviour.h"

namespace qvtest::behaviour {

// Platform parts: another runtime's exception, one raised and handled inside the library,
// and a floating-point division with the division-by-zero trap unmasked.
void ForeignException();
void HandledInside();
void UnmaskedFloatDivide();

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

namespace qvtest {

inline const LibraryBehaviour* LibraryBehaviours(int* count) {
  static const LibraryBehaviour kBehaviours[] = {
      {"null write", behaviour::NullWrite, true},
      {"illegal instruction", behaviour::IllegalInstruction, true},
      {"integer division by zero", behaviour::IntegerDivideByZero, true},
      {"floating-point division by zero, trap unmasked", behaviour::UnmaskedFloatDivide, true,
       true},
      {"C++ throw", behaviour::CxxThrow, true},
      {"foreign exception", behaviour::ForeignException, true},
      {"exception handled inside", behaviour::HandledInside, false},
  };
  *count = sizeof kBehaviours / sizeof kBehaviours[0];
  return kBehaviours;
}

}  // namespace qvtest
