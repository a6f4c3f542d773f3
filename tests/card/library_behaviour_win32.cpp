#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstring>

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

// 32-bit programs that the emulation runs: its registration comes before the kernel's own
// loader, as seen from Wine's drive Z:.
bool FloatingPointTrapsFire() {
#if defined(__i386__)
  char status[16] = "";
  if (std::FILE* f = std::fopen("Z:\\proc\\sys\\fs\\binfmt_misc\\qemu-i386", "r")) {
    if (!std::fgets(status, sizeof status, f)) status[0] = 0;
    std::fclose(f);
  }
  return std::strncmp(status, "enabled", 7) != 0;
#else
  return true;
#endif
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
