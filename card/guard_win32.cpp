// The guarded count call on Windows: a vectored exception handler, registered just for
// the call, turns a hardware fault or a C++ exception raised by a library built with
// another compiler into a jump back to the call site.
#include <windows.h>

#include "card/card_library.h"

namespace qv {

namespace {

constexpr DWORD kMsvcCppException = 0xE06D7363;

thread_local void* t_landing[5] = {};
thread_local bool t_armed = false;

bool IsGuardedCode(DWORD code) {
  switch (code) {
    case EXCEPTION_ACCESS_VIOLATION:
    case EXCEPTION_ILLEGAL_INSTRUCTION:
    case EXCEPTION_PRIV_INSTRUCTION:
    case EXCEPTION_INT_DIVIDE_BY_ZERO:
    case EXCEPTION_INT_OVERFLOW:
    case EXCEPTION_IN_PAGE_ERROR:
    case EXCEPTION_DATATYPE_MISALIGNMENT:
    case EXCEPTION_ARRAY_BOUNDS_EXCEEDED:
    case EXCEPTION_STACK_OVERFLOW:
    case EXCEPTION_FLT_DIVIDE_BY_ZERO:
    case EXCEPTION_FLT_INVALID_OPERATION:
    case EXCEPTION_FLT_OVERFLOW:
    case EXCEPTION_FLT_UNDERFLOW:
    case EXCEPTION_FLT_STACK_CHECK:
    case EXCEPTION_FLT_INEXACT_RESULT:
    case EXCEPTION_FLT_DENORMAL_OPERAND:
    case kMsvcCppException:
      return true;
    default:
      return false;
  }
}

LONG CALLBACK OnException(EXCEPTION_POINTERS* info) {
  if (!t_armed || !IsGuardedCode(info->ExceptionRecord->ExceptionCode))
    return EXCEPTION_CONTINUE_SEARCH;
  t_armed = false;
  __builtin_longjmp(t_landing, 1);
}

// Kept apart from anything with a destructor: the jump skips destructors.
__attribute__((noinline)) bool CallArmed(const CardLibrary& lib, uint32_t* count,
                                         uint32_t* result) {
  if (__builtin_setjmp(t_landing) != 0) return false;
  t_armed = true;
  *result = lib.CardsInSystem(count);
  t_armed = false;
  return true;
}

}  // namespace

bool GuardedCardsInSystem(const CardLibrary& lib, uint32_t* count, uint32_t* result) {
  void* handler = AddVectoredExceptionHandler(1, OnException);
  bool returned = false;
  try {
    returned = CallArmed(lib, count, result);
  } catch (...) {
    returned = false;
  }
  t_armed = false;
  if (handler != nullptr) RemoveVectoredExceptionHandler(handler);
  return returned;
}

}  // namespace qv
