#include <windows.h>

#include <cfloat>
#include <cstdio>

#include "library_behaviour.h"
#include "library_behaviour_common.h"

namespace qvtest {

namespace behaviour {

// A software exception under a code of its own, as runtimes of other languages raise them.
void ForeignException() {
  RaiseException(0xE0515601, 0, 0, nullptr);
}

// Raised and handled inside: a C++ exception caught by the library itself (an SEH
// exception on x86_64), and OutputDebugString, which raises DBG_PRINTEXCEPTION_C and
// handles it in the system library.
void HandledInside() {
  try {
    CxxThrow();
  } catch (const std::exception&) {
  }
  OutputDebugStringA("card library: handled inside\n");
}

void UnmaskedFloatDivide() {
  const unsigned int saved = _controlfp(0, 0);
  _controlfp(saved & ~static_cast<unsigned int>(_EM_ZERODIVIDE), _MCW_EM);
  volatile double zero = 0.0;
  volatile double quotient = 1.0 / zero;
  (void)quotient;
  _controlfp(saved, _MCW_EM);  // the trap did not fire
}

}  // namespace behaviour

std::string GuardState() {
  char text[32] = "";
#if defined(__i386__)
  void* head;
  asm volatile("movl %%fs:0, %0" : "=r"(head));
  std::snprintf(text, sizeof text, "chain %p", head);
#endif
  return text;
}

}  // namespace qvtest
