#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <exception>

#include "card/guard_win32.h"
#include "fake_library.h"

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

#if defined(__i386__)
// A library function with an exception handler of its own on the chain: the guard's unwind
// must call it once, to unwind, as it takes the record off.
EXCEPTION_DISPOSITION NTAPI CountUnwinding(EXCEPTION_RECORD* record, void*, CONTEXT*, void*) {
  if ((record->ExceptionFlags & EXCEPTION_UNWINDING) != 0) ++g_unwound;
  return ExceptionContinueSearch;
}
__attribute__((noinline)) void NullWriteUnderOwnHandler() {
  EXCEPTION_REGISTRATION_RECORD record;
  record.Handler = CountUnwinding;
  asm volatile("movl %%fs:0, %0" : "=r"(record.Next));
  asm volatile("movl %0, %%fs:0" : : "r"(&record) : "memory");
  NullWrite();
  asm volatile("movl %0, %%fs:0" : : "r"(record.Next) : "memory");
}
#endif

// A library that caught an overflow of its stack itself and then raised something else
// leaves the stack without its guard page, taken away here by hand. Every other time it
// overflows, which only a guard page makes an exception rather than the process's end.
void TakeAwayTheGuardPage() {
  MEMORY_BASIC_INFORMATION region = {};
  VirtualQuery(&region, &region, sizeof region);
  char* const stack = static_cast<char*>(region.AllocationBase);
  for (char* at = stack;
       VirtualQuery(at, &region, sizeof region) != 0 && region.AllocationBase == stack;
       at += region.RegionSize) {
    DWORD was;
    if ((region.Protect & PAGE_GUARD) != 0)
      VirtualProtect(region.BaseAddress, region.RegionSize, region.Protect & ~PAGE_GUARD, &was);
  }
}
__attribute__((noinline)) void GuardPageTakenAwayThenNullWriteOrOverflow() {
  static int calls = 0;
  if (calls++ % 2 == 1) return UnboundedRecursion();
  TakeAwayTheGuardPage();
  NullWrite();
}

}  // namespace behaviour

std::vector<LibraryBehaviour> PlatformBehaviours() {
  std::vector<LibraryBehaviour> behaviours = {
      {.name = "guard page taken away, then a null write; every other time unbounded recursion",
       .act = behaviour::GuardPageTakenAwayThenNullWriteOrOverflow,
       .escapes = true,
       .thread = LibraryThread::kSmallStack},
  };
#if defined(__i386__)
  behaviours.push_back({.name = "null write under a handler of its own",
                        .act = behaviour::NullWriteUnderOwnHandler,
                        .escapes = true,
                        .unwinds = 1});
#endif
  return behaviours;
}

std::string GuardState() {
  char text[48] = "";
#if defined(__i386__)
  void* head;
  asm volatile("movl %%fs:0, %0" : "=r"(head));
  std::snprintf(text, sizeof text, "chain %p ", head);
#endif
  return text + ("uncaught " + std::to_string(std::uncaught_exceptions()));
}

const char* WhyNotHere(const LibraryBehaviour& b) {
#if defined(__i386__)
  // 32-bit programs that the emulation runs: its registration comes before the kernel's
  // own loader, as seen from Wine's drive Z:.
  if (!b.floating_point_trap) return nullptr;
  char status[16] = "";
  if (std::FILE* f = std::fopen("Z:\\proc\\sys\\fs\\binfmt_misc\\qemu-i386", "r")) {
    if (!std::fgets(status, sizeof status, f)) status[0] = 0;
    std::fclose(f);
  }
  return std::strncmp(status, "enabled", 7) == 0 ? "qemu's emulation raises no floating-point traps"
                                                 : nullptr;
#else
  // wine64's own dispatcher overruns the stack that it keeps for an overflow, and Wine
  // ends the thread before any handler runs.
  const bool wine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
  return wine && b.thread == LibraryThread::kSmallStack
             ? "wine64 ends the thread in its own dispatcher, out of stack"
             : nullptr;
#endif
}

namespace {

DWORD WINAPI RunBody(void* body) {
  (*static_cast<const std::function<void()>*>(body))();
  return 0;
}

void RunOnThread(const std::function<void()>& body, std::size_t stack_bytes) {
  HANDLE thread =
      CreateThread(nullptr, stack_bytes, RunBody, const_cast<std::function<void()>*>(&body),
                   STACK_SIZE_PARAM_IS_A_RESERVATION, nullptr);
  ASSERT_NE(thread, nullptr);
  WaitForSingleObject(thread, INFINITE);
  CloseHandle(thread);
}

}  // namespace

void OnSmallStack(const std::function<void()>& body) {
  bool finished = false;
  RunOnThread(
      [&] {
        body();
        finished = true;
      },
      256 * 1024);
  EXPECT_TRUE(finished) << "the thread was ended";
}

void OnThreadOfItsOwn(const std::function<void()>& body) {
  RunOnThread(body, 0);
}

#if defined(__i386__)
namespace {

// Unwinds, then returns with EBX, ESI and EDI changed, as 32-bit Windows' own RtlUnwind
// may; Wine's keeps them.
extern "C" void WINAPI QvTestClobberingUnwind(void*, void*, EXCEPTION_RECORD*, void*);
asm(R"(
    .text
    .def _QvTestClobberingUnwind@16; .scl 3; .type 32; .endef
_QvTestClobberingUnwind@16:
    pushl 16(%esp)
    pushl 16(%esp)
    pushl 16(%esp)
    pushl 16(%esp)
    call *__imp__RtlUnwind@16
    movl $0xBAD0BAD0, %ebx
    movl $0xBAD1BAD1, %esi
    movl $0xBAD2BAD2, %edi
    ret $16
)");

TEST(GuardedCount, LandsWhenTheUnwinderChangesEbxEsiEdi) {
  auto& lib = FakeLibrary::Get();
  qv::SetGuardUnwinder(QvTestClobberingUnwind);
  const std::string state = GuardState();
  for (int round = 0; round < 3; ++round) {
    lib.Reset({{512, 1, 1}});
    lib.count_action = behaviour::NullWrite;
    uint32_t cards = 0, result = 0;
    EXPECT_FALSE(qv::GuardedCardsInSystem(FakeLibrary::Table(), &cards, &result));
    EXPECT_EQ(GuardState(), state);
  }
  qv::SetGuardUnwinder(nullptr);
}

}  // namespace
#endif

}  // namespace qvtest
