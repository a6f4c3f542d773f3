// The floating-point state of an x86 thread that a faulting card library can leave behind,
// saved before the guarded call and put back after a caught fault, on both guards.
// A fault inside an x87 instruction leaves its operands on the register stack, and a
// library may have changed the control words; either would spoil every later result of
// the host.
#pragma once

#include <cstdint>

#if !defined(__i386__) && !defined(__x86_64__)
#error "the guarded call saves the floating-point state of x86 processors only"
#endif

namespace qv {

// fnstenv's image, the 32-bit protected-mode layout (in 64-bit mode too).
struct X87Environment {
  uint16_t control, reserved0;
  uint16_t status, reserved1;
  uint16_t tag, reserved2;  // two bits per register, 11 = empty
  uint32_t last_instruction_and_operand[4];
};
static_assert(sizeof(X87Environment) == 28);

// True where the processor has SSE and the OS saves its registers: only then does MXCSR
// exist. The platform's answer (platform backend), asked once by SseUsable.
bool PlatformHasSse();
bool SseUsable();

// The driver does its own maths on the x87 unit: these two are its only SSE instructions.
extern "C" uint32_t QvReadMxcsr();
extern "C" void QvWriteMxcsr(uint32_t mxcsr);

// Tests stand in another answer for the guarded calls that follow, and MXCSR accessors of
// their own that see whether the guard uses them; nullptr puts back the platform's answer and
// the two above.
using SseProbe = bool (*)();
using MxcsrReader = uint32_t (*)();
using MxcsrWriter = void (*)(uint32_t);
void SetSseProbe(SseProbe probe, MxcsrReader read = nullptr, MxcsrWriter write = nullptr);
MxcsrReader ReadMxcsr();
MxcsrWriter WriteMxcsr();

struct FpState {
  X87Environment x87;
  bool sse;  // MXCSR saved, and to be put back
  uint32_t mxcsr;
};

inline FpState SaveFpState(bool sse) {
  FpState state;
  // fnstenv masks every x87 exception as a side effect: load the image straight back.
  asm volatile("fnstenv %0\n\tfldenv %0" : "=m"(state.x87));
  state.sse = sse;
  state.mxcsr = sse ? ReadMxcsr()() : 0;
  return state;
}

// The state as it was before the call: control words and exception flags as saved, and
// the register stack empty, as the calling convention has it across any call. fninit
// first drops whatever exception the library left pending, which fldenv would raise.
inline void RestoreFpState(FpState state) {
  state.x87.tag = 0xFFFF;
  asm volatile("fninit\n\tfldenv %0" : : "m"(state.x87));
  if (state.sse) WriteMxcsr()(state.mxcsr);
}

}  // namespace qv
