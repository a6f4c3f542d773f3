// The guarded count call on Windows: a frame-based exception handler around the call,
// as a compiler's __try/__except would place it, and inside it a catch of our own
// compiler's C++ exceptions. The handler sees only what the library lets escape (an
// exception that the library raises and handles itself never reaches it), takes every
// exception whatever its code, unwinds the library's frames and resumes after the call
// with "raised".
#include <malloc.h>
#include <windows.h>

#include "card/card_library.h"
#include "card/fp_state_x86.h"
#include "card/guard_win32.h"

namespace qv {

bool PlatformHasSse() {
#if defined(__i386__)
  return IsProcessorFeaturePresent(PF_XMMI_INSTRUCTIONS_AVAILABLE) != 0;
#else
  return true;
#endif
}

using CountFn = decltype(CardLibrary::CardsInSystem);

namespace {

// A C++ exception of our own compiler's kind is caught here, inside the frame: on i686 it
// never takes the SEH path, and on x86_64 a foreign handler that unwinds it leaves it
// counted as uncaught, and loops in the cleanups of frames with destructors.
__attribute__((noinline)) bool CallCatchingCxx(CountFn fn, uint32_t* count, uint32_t* result) {
  try {
    *result = fn(count);
    return true;
  } catch (...) {
    return false;
  }
}

}  // namespace

#if defined(__i386__)

// 32-bit: the handler chain is a list of records on the stack, headed at fs:[0].
namespace {

struct GuardFrame {
  EXCEPTION_REGISTRATION_RECORD record;  // first: fs:[0] points here
  void* landing[5];                      // __builtin_setjmp buffer
};

// NT_TIB.ExceptionList, the head of this thread's chain.
EXCEPTION_REGISTRATION_RECORD* ChainHead() {
  EXCEPTION_REGISTRATION_RECORD* head;
  asm volatile("movl %%fs:0, %0" : "=r"(head));
  return head;
}
void SetChainHead(EXCEPTION_REGISTRATION_RECORD* head) {
  asm volatile("movl %0, %%fs:0" : : "r"(head) : "memory");
}

GuardUnwinder g_unwinder = RtlUnwind;

// 32-bit Windows' RtlUnwind may return with EBX, ESI and EDI changed (the system's C runtime
// saves them around its own call), so the handler calls it through this thunk, which keeps
// them and EBP; TargetIp is the point right after the call, as the C runtime passes it.
extern "C" void QvUnwindKeepingRegisters(GuardUnwinder unwind, void* target_frame,
                                         EXCEPTION_RECORD* record);
asm(R"(
    .text
    .p2align 4
    .def _QvUnwindKeepingRegisters; .scl 3; .type 32; .endef
_QvUnwindKeepingRegisters:
    pushl %ebx
    pushl %esi
    pushl %edi
    pushl %ebp
    movl 20(%esp), %eax
    movl 24(%esp), %ecx
    movl 28(%esp), %edx
    pushl $0
    pushl %edx
    pushl $1f
    pushl %ecx
    call *%eax
1:  popl %ebp
    popl %edi
    popl %esi
    popl %ebx
    ret
)");

// The headers' EXCEPTION_ROUTINE is stdcall; the dispatcher restores its stack itself after
// the call, so handlers written as cdecl work as well.
extern "C" EXCEPTION_DISPOSITION NTAPI QvGuardHandler(EXCEPTION_RECORD* record, void* establisher,
                                                      CONTEXT*, void*) {
  if ((record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0)
    return ExceptionContinueSearch;
  GuardFrame* frame = static_cast<GuardFrame*>(establisher);
  // Let the frames that the library (and the dispatcher) left above ours unwind; afterwards
  // ours heads the chain, and the jump drops the dispatcher's stack below the call site.
  QvUnwindKeepingRegisters(g_unwinder, establisher, record);
  __builtin_longjmp(frame->landing, 1);
}

// Kept apart from anything with a destructor: the jump skips destructors. True when the
// call returned.
__attribute__((noinline)) bool CallFramed(CountFn fn, uint32_t* count, uint32_t* result) {
  GuardFrame frame;
  frame.record.Handler = QvGuardHandler;
  frame.record.Next = ChainHead();
  if (__builtin_setjmp(frame.landing) != 0) {
    SetChainHead(frame.record.Next);
    return false;
  }
  SetChainHead(&frame.record);
  const bool returned = CallCatchingCxx(fn, count, result);
  SetChainHead(frame.record.Next);
  return returned;
}

}  // namespace

void SetGuardUnwinder(GuardUnwinder unwinder) {
  g_unwinder = unwinder != nullptr ? unwinder : RtlUnwind;
}

#elif defined(__x86_64__)

// 64-bit: handlers are found through the functions' unwind tables, so the frame is a
// small function whose unwind data names our handler. QvGuardCall(call) runs
// QvRunGuarded(call); QvGuardLanding is where an unwind to this frame resumes. The nop keeps the
// call's return address out of what unwinders take for an epilogue, in which they would not ask our
// handler.
struct GuardedCall {
  CountFn fn;
  uint32_t* count;
  uint32_t* result;
  bool returned;
};

extern "C" {
void QvGuardCall(GuardedCall* call);
void QvGuardLanding();
void QvRunGuarded(GuardedCall* call) {
  call->returned = CallCatchingCxx(call->fn, call->count, call->result);
}
}
asm(R"(
    .text
    .p2align 4
    .def QvGuardCall; .scl 3; .type 32; .endef
    .seh_proc QvGuardCall
QvGuardCall:
    subq $40, %rsp
    .seh_stackalloc 40
    .seh_handler QvGuardHandler, @except
    .seh_endprologue
    call QvRunGuarded
    nop
QvGuardLanding:
    addq $40, %rsp
    ret
    .seh_endproc
)");

extern "C" EXCEPTION_DISPOSITION QvGuardHandler(EXCEPTION_RECORD* record, void* establisher,
                                                CONTEXT*, DISPATCHER_CONTEXT* dispatch) {
  if ((record->ExceptionFlags & (EXCEPTION_UNWINDING | EXCEPTION_EXIT_UNWIND)) != 0)
    return ExceptionContinueSearch;
  // Unwinds the library's frames (their cleanups run) and resumes at the landing with
  // this frame's registers, as if QvRunGuarded had returned.
  RtlUnwindEx(establisher, reinterpret_cast<void*>(&QvGuardLanding), record, nullptr,
              dispatch->ContextRecord, dispatch->HistoryTable);
  return ExceptionContinueSearch;  // not reached
}

namespace {

bool CallFramed(CountFn fn, uint32_t* count, uint32_t* result) {
  GuardedCall call = {fn, count, result, false};
  QvGuardCall(&call);
  return call.returned;
}

}  // namespace

#else
#error "the guarded call knows the exception model of i686 and x86_64 Windows only"
#endif

namespace {

// Whether a page of this thread's stack is still a guard page.
bool StackHasGuardPage() {
  MEMORY_BASIC_INFORMATION region = {};
  if (VirtualQuery(&region, &region, sizeof region) == 0) return true;
  char* const stack = static_cast<char*>(region.AllocationBase);
  for (char* at = stack; VirtualQuery(at, &region, sizeof region) != 0 &&
                         region.AllocationBase == stack && region.RegionSize != 0;
       at += region.RegionSize) {
    if ((region.Protect & PAGE_GUARD) != 0) return true;
  }
  return false;
}

}  // namespace

bool GuardedCardsInSystem(const CardLibrary& lib, uint32_t* count, uint32_t* result) {
  const FpState fp = SaveFpState(SseUsable());
  const bool returned = CallFramed(lib.CardsInSystem, count, result);
  if (!returned) {
    // An overflow uses up the stack's guard page; without a new one the next overflow on
    // this thread would end the process before any handler ran. Whatever reached us: the
    // library may have caught an overflow itself and raised something else.
    if (!StackHasGuardPage()) _resetstkoflw();
    // Last, after every call of ours: the system calls behind _resetstkoflw may reset the
    // x87 control word (seen under Wine on qemu's emulation).
    RestoreFpState(fp);
  }
  return returned;
}

}  // namespace qv
