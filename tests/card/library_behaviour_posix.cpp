#include <gtest/gtest.h>
#include <unwind.h>

#include <atomic>
#include <csetjmp>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>

#include "card/card_library.h"
#include "fake_library.h"
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

}  // namespace behaviour

std::string GuardState() {
  std::string state;
  for (int sig : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP}) {
    struct sigaction action = {};
    sigaction(sig, nullptr, &action);
    char text[64];
    std::snprintf(text, sizeof text, "%d:%p ", sig, reinterpret_cast<void*>(action.sa_handler));
    state += text;
  }
  return state;
}

bool FloatingPointTrapsFire() {
  return true;
}

namespace {

// A host with a fault handler of its own, which finds its way back by itself.
std::atomic<void*> g_host_saw{nullptr};
sigjmp_buf g_host_landing;
void HostHandler(int, siginfo_t* info, void*) {
  g_host_saw = info->si_addr;
  siglongjmp(g_host_landing, 1);
}

__attribute__((noinline, no_sanitize("address", "undefined"))) void WriteAt(uintptr_t address) {
  volatile int* volatile target = reinterpret_cast<volatile int*>(address);
  *target = 1;
}

std::atomic<int> g_phase{0};
uint32_t StayInside(uint32_t* count) {
  g_phase = 1;
  while (g_phase != 2) std::this_thread::yield();
  *count = 1;
  return 0;
}

// While a guarded call holds our handlers in place, a fault on another thread belongs to
// the host: its handler gets it, with the fault's own siginfo.
TEST(GuardedCount, AFaultElsewhereMeanwhileReachesTheHostsHandler) {
  struct sigaction host = {}, before = {};
  host.sa_sigaction = HostHandler;
  host.sa_flags = SA_SIGINFO | SA_NODEFER;
  sigemptyset(&host.sa_mask);
  ASSERT_EQ(sigaction(SIGSEGV, &host, &before), 0);
  qv::CardLibrary table = FakeLibrary::Table();
  table.CardsInSystem = StayInside;
  g_phase = 0;
  std::thread inside([&table] {
    uint32_t cards = 0, result = 0;
    EXPECT_TRUE(qv::GuardedCardsInSystem(table, &cards, &result));
  });
  while (g_phase != 1) std::this_thread::yield();
  if (sigsetjmp(g_host_landing, 1) == 0) WriteAt(0x40);
  g_phase = 2;
  inside.join();
  EXPECT_EQ(g_host_saw.load(), reinterpret_cast<void*>(0x40));
  struct sigaction after = {};
  sigaction(SIGSEGV, &before, &after);
  EXPECT_EQ(after.sa_sigaction, HostHandler);
}

}  // namespace

}  // namespace qvtest
