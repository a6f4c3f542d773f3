// The emulation's flaw, reduced to its core: once a second thread exists, a fault on the
// main thread must still reach the exception handlers with the main thread's own TEB (its
// id, its thread-local storage). Under qemu-i386 without the set-up's segment mend it does not.
#include <windows.h>

#include <cstdio>

namespace {

// NT_TIB.Self of the running thread, as every Windows API finds its thread.
void* OwnTeb() {
  void* teb;
#if defined(__i386__)
  asm volatile("movl %%fs:0x18, %0" : "=r"(teb));
#else
  asm volatile("movq %%gs:0x30, %0" : "=r"(teb));
#endif
  return teb;
}

DWORD g_main_thread = 0;
volatile DWORD g_seen_on = 0;
void* g_seen_teb = nullptr;

LONG CALLBACK OnFault(EXCEPTION_POINTERS* info) {
  if (info->ExceptionRecord->ExceptionCode != EXCEPTION_ACCESS_VIOLATION)
    return EXCEPTION_CONTINUE_SEARCH;
  g_seen_on = GetCurrentThreadId();
  g_seen_teb = OwnTeb();
  // Skip the faulting store, movl $1, (%eax) or (%rax): six bytes.
#if defined(__i386__)
  info->ContextRecord->Eip += 6;
#else
  info->ContextRecord->Rip += 6;
#endif
  return EXCEPTION_CONTINUE_EXECUTION;
}

DWORD WINAPI Idle(void*) {
  Sleep(2000);
  return 0;
}

}  // namespace

int main() {
  g_main_thread = GetCurrentThreadId();
  void* const main_teb = OwnTeb();
  HANDLE idle = CreateThread(nullptr, 0, Idle, nullptr, 0, nullptr);
  Sleep(100);
  AddVectoredExceptionHandler(1, OnFault);
  asm volatile("movl $1, (%0)" : : "a"(static_cast<volatile int*>(nullptr)) : "memory");
  std::printf("fault on thread %lu handled on thread %lu, TEB %p (own %p)\n", g_main_thread,
              g_seen_on, g_seen_teb, main_teb);
  WaitForSingleObject(idle, INFINITE);
  return g_seen_on == g_main_thread && g_seen_teb == main_teb ? 0 : 1;
}
