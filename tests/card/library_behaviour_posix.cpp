#include <fenv.h>
#include <unwind.h>

#include <csignal>
#include <cstdio>
#include <cstring>

#include "library_behaviour.h"
#include "library_behaviour_common.h"

namespace qvtest {

namespace behaviour {

// An exception of another language's runtime: same unwinder, foreign exception class.
void ForeignException() {
  static _Unwind_Exception exception;
  std::memset(&exception, 0, sizeof exception);
  std::memcpy(&exception.exception_class, "QVTSTFRN", 8);
  exception.exception_cleanup = [](_Unwind_Reason_Code, _Unwind_Exception*) {};
  _Unwind_RaiseException(&exception);
}

void HandledInside() {
  try {
    CxxThrow();
  } catch (const std::exception&) {
  }
}

__attribute__((no_sanitize("undefined"))) void UnmaskedFloatDivide() {
  feenableexcept(FE_DIVBYZERO);
  volatile double zero = 0.0;
  volatile double quotient = 1.0 / zero;
  (void)quotient;
  fedisableexcept(FE_DIVBYZERO);  // the trap did not fire
}

}  // namespace behaviour

std::string GuardState() {
  std::string state;
  for (int sig : {SIGSEGV, SIGBUS, SIGILL, SIGFPE}) {
    struct sigaction action = {};
    sigaction(sig, nullptr, &action);
    char text[64];
    std::snprintf(text, sizeof text, "%d:%p ", sig, reinterpret_cast<void*>(action.sa_handler));
    state += text;
  }
  return state;
}

}  // namespace qvtest
