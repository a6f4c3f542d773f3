#include <windows.h>

#include "tests/sim/sim_test_util.h"

namespace qv::sim::test {

namespace {

LONG WINAPI OnException(EXCEPTION_POINTERS* info) {
  switch (info->ExceptionRecord->ExceptionCode) {
    case EXCEPTION_ACCESS_VIOLATION:
      ExitProcess(kExitAccessViolation);
    case EXCEPTION_ILLEGAL_INSTRUCTION:
      ExitProcess(kExitIllegalInstruction);
    case 0xE06D7363:  // an MSVC C++ exception
      ExitProcess(kExitCppException);
  }
  return EXCEPTION_CONTINUE_SEARCH;
}

}  // namespace

void ExitOnFault() {
  SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX);
  // First in line, so that no frame handler of the runtime sees the fault before us.
  AddVectoredExceptionHandler(1, OnException);
}

}  // namespace qv::sim::test
