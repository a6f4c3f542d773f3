// The behaviours that need no platform interface; included by the platform files.
#pragma once

#include <cfenv>
#include <cstdint>
#include <cstdio>
#include <stdexcept>
#include <string>

#include "card/fp_state_x86.h"
#include "library_behaviour.h"

namespace qvtest::behaviour {

// Platform parts: another runtime's exception, and one raised and handled inside the
// library.
void ForeignException();
void HandledInside();

// Kept out of line so that the fault happens inside the call, as in a real library.
__attribute__((noinline, no_sanitize("address", "undefined"))) inline void NullWrite() {
  volatile int* volatile nowhere = nullptr;
  *nowhere = 1;
}
// What a fault in the middle of a computation leaves: both units rounding toward zero and
// three x87 registers loaded.
__attribute__((noinline)) inline void NullWriteMidComputation() {
  std::fesetround(FE_TOWARDZERO);
  asm volatile("fld1\n\tfldpi\n\tfldz\n\tmovl $1, 0" ::: "memory");
  __builtin_unreachable();
}
__attribute__((noinline)) inline void IllegalInstruction() {
  __builtin_trap();
}
// A breakpoint left in a release build.
__attribute__((noinline)) inline void Breakpoint() {
  asm volatile("int3");
}
// The division instruction itself: compilers turn a division in C++ into other code.
__attribute__((noinline)) inline void IntegerDivideByZero() {
  int quotient = 1, remainder = 0;
  const int zero = 0;
  asm volatile("idivl %2" : "+a"(quotient), "+d"(remainder) : "r"(zero));
}
// 1 / 0 in the x87 unit with the trap unmasked: the exception is raised at the next
// waiting instruction, with both operands still loaded. Masks and rounding of the SSE unit
// are changed too.
__attribute__((noinline)) inline void UnmaskedFloatDivide() {
  uint16_t control;
  uint32_t mxcsr;
  asm volatile("fnstcw %0\n\tstmxcsr %1" : "=m"(control), "=m"(mxcsr));
  const uint16_t unmasked = control & ~0x0004u;
  const uint32_t sse = (mxcsr & ~0x0200u) | 0x6000u;
  asm volatile(
      "ldmxcsr %1\n\tfldcw %0\n\tfldz\n\tfld1\n\tfdiv %%st(1), %%st\n\tfwait\n\t"
      "fstp %%st(0)\n\tfstp %%st(0)" ::"m"(unmasked),
      "m"(sse));
  // Here only where the trap did not fire.
  asm volatile("fnclex\n\tfldcw %0\n\tldmxcsr %1" ::"m"(control), "m"(mxcsr));
}
__attribute__((noinline)) inline void CxxThrow() {
  throw std::runtime_error("library failure");
}

}  // namespace qvtest::behaviour

namespace qvtest {

inline const LibraryBehaviour* LibraryBehaviours(int* count) {
  static const LibraryBehaviour kBehaviours[] = {
      {"null write", behaviour::NullWrite, true},
      {"null write mid-computation", behaviour::NullWriteMidComputation, true},
      {"illegal instruction", behaviour::IllegalInstruction, true},
      {"breakpoint", behaviour::Breakpoint, true},
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

// The thread's floating-point state as text: x87 control, status and tag words, MXCSR.
inline std::string FpStateText() {
  const qv::FpState fp = qv::SaveFpState();
  char text[64];
  std::snprintf(text, sizeof text, "x87 %04x %04x %04x sse %08x", fp.x87.control, fp.x87.status,
                fp.x87.tag, static_cast<unsigned>(fp.mxcsr));
  return text;
}

}  // namespace qvtest
