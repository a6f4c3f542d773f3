#include <gtest/gtest.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <unwind.h>

#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
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

// The landing must give the caller its own signal mask back.
__attribute__((noinline)) void NullWriteWithASignalBlocked() {
  sigset_t usr1;
  sigemptyset(&usr1);
  sigaddset(&usr1, SIGUSR1);
  pthread_sigmask(SIG_BLOCK, &usr1, nullptr);
  NullWrite();
}

// As the library's own pthread_exit, or the host's cancellation at a point inside it.
void EndThread() {
  pthread_exit(nullptr);
}

// A library that maps its card's memory: a read past the end of a file's mapping.
__attribute__((noinline, no_sanitize("address"))) void ReadPastTheEndOfAMappedFile() {
  static const volatile char* const mapped = [] {
    std::FILE* empty = std::tmpfile();
    void* mapping = mmap(nullptr, 4096, PROT_READ, MAP_SHARED, fileno(empty), 0);
    return static_cast<const volatile char*>(mapping);
  }();
  static_cast<void>(mapped[0]);
}

// raise() as a library may use it: for an error of its own, or as a breakpoint.
void RaiseFloatingPointError() {
  raise(SIGFPE);
}

// A host handler that makes a guarded call of its own interrupts the library, which then
// faults.
uint32_t OX952_CALL NoCards(uint32_t* count) {
  *count = 0;
  return 0;
}
void GuardedCallInAHandler(int) {
  qv::CardLibrary table = FakeLibrary::Table();
  table.CardsInSystem = NoCards;
  uint32_t cards = 0, result = 0;
  if (!qv::GuardedCardsInSystem(table, &cards, &result)) std::abort();
}
__attribute__((noinline)) void NullWriteAfterAGuardedCallInAHandler() {
  struct sigaction action = {};
  action.sa_handler = GuardedCallInAHandler;
  sigaction(SIGUSR2, &action, nullptr);
  raise(SIGUSR2);
  NullWrite();
}

}  // namespace behaviour

std::vector<LibraryBehaviour> PlatformBehaviours() {
  return {
      {"signal mask changed, then a null write", behaviour::NullWriteWithASignalBlocked, true},
      {"read past the end of a mapped empty file", behaviour::ReadPastTheEndOfAMappedFile, true},
      {"raise(SIGFPE)", behaviour::RaiseFloatingPointError, true},
      {"a host handler makes a guarded call, then a null write",
       behaviour::NullWriteAfterAGuardedCallInAHandler, true},
      {.name = "pthread_exit",
       .act = behaviour::EndThread,
       .escapes = true,
       .thread = LibraryThread::kEnds},
  };
}

std::string GuardState() {
  std::string state;
  char text[96];
  // Linux's SA_RESTORER, which the C library adds to every disposition that it sets.
  constexpr unsigned kRestorer = 0x04000000;
  for (int sig : {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP}) {
    struct sigaction action = {};
    sigaction(sig, nullptr, &action);
    std::snprintf(text, sizeof text, "%d:%p/%x ", sig, reinterpret_cast<void*>(action.sa_handler),
                  static_cast<unsigned>(action.sa_flags) & ~kRestorer);
    state += text;
  }
  sigset_t mask;
  pthread_sigmask(SIG_BLOCK, nullptr, &mask);
  state += "mask";
  for (int sig = 1; sig < NSIG; ++sig) {
    if (sigismember(&mask, sig) == 1) state += " " + std::to_string(sig);
  }
  stack_t alternate = {};
  sigaltstack(nullptr, &alternate);
  std::snprintf(text, sizeof text, " altstack %p %zu %x uncaught %d", alternate.ss_sp,
                alternate.ss_size, static_cast<unsigned>(alternate.ss_flags),
                std::uncaught_exceptions());
  return state + text;
}

const char* WhyNotHere(const LibraryBehaviour&) {
  return nullptr;
}

namespace {

void* RunBody(void* body) {
  (*static_cast<const std::function<void()>*>(body))();
  return nullptr;
}

void RunOnThread(const std::function<void()>& body, std::size_t stack_bytes) {
  pthread_attr_t attributes;
  pthread_attr_init(&attributes);
  if (stack_bytes != 0) pthread_attr_setstacksize(&attributes, stack_bytes);
  pthread_t thread;
  ASSERT_EQ(
      pthread_create(&thread, &attributes, RunBody, const_cast<std::function<void()>*>(&body)), 0);
  pthread_attr_destroy(&attributes);
  pthread_join(thread, nullptr);
}

}  // namespace

// The alternate stack of the SS_AUTODISARM pass lies above the thread's stack, as a mapping
// made before the thread's does: the landing then jumps down the address space.
char* MapAbove(const void* stack_top, std::size_t size) {
  const uintptr_t top = reinterpret_cast<uintptr_t>(stack_top);
  for (uintptr_t at = (top | 0xFFFFF) + 1; at < top + (256u << 20); at += 1u << 20) {
    void* mapping = mmap(reinterpret_cast<void*>(at), size, PROT_READ | PROT_WRITE,
                         MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    if (mapping == reinterpret_cast<void*>(at)) return static_cast<char*>(mapping);
    if (mapping != MAP_FAILED) munmap(mapping, size);
  }
  return nullptr;
}

void OnSmallStack(const std::function<void()>& body) {
  bool finished = false;
  RunOnThread(
      [&] {
        stack_t own = {};
        sigaltstack(nullptr, &own);  // the sanitizer's, if any: put back at the end
        constexpr std::size_t kAlternateSize = 64 * 1024;
        char* const alternate = MapAbove(&own, kAlternateSize);
        ASSERT_NE(alternate, nullptr);
        constexpr int kAutoDisarm = static_cast<int>(1u << 31);  // SS_AUTODISARM, from Linux
        const stack_t settings[] = {{nullptr, SS_DISABLE, 0},
                                    {alternate, kAutoDisarm, kAlternateSize}};
        for (const stack_t& setting : settings) {
          const bool disarms = setting.ss_flags == kAutoDisarm;
          SCOPED_TRACE(disarms ? "alternate stack, SS_AUTODISARM" : "no alternate stack");
#if defined(__SANITIZE_ADDRESS__)
          // A jump out of a handler on such a stack leaves AddressSanitizer without the
          // thread's stack bounds (it says so), and the frames left behind poisoned.
          if (disarms) {
            std::printf("skipped SS_AUTODISARM: AddressSanitizer cannot unpoison after it\n");
            continue;
          }
#endif
          ASSERT_EQ(sigaltstack(&setting, nullptr), 0);
          body();
        }
        sigaltstack(&own, nullptr);
        munmap(alternate, kAlternateSize);
        finished = true;
      },
      256 * 1024);
  EXPECT_TRUE(finished) << "the thread was ended";
}

void OnThreadOfItsOwn(const std::function<void()>& body) {
  RunOnThread(body, 0);
}

namespace {

std::atomic<int> g_phase{0};
uint32_t StayInside(uint32_t* count) {
  g_phase = 1;
  while (g_phase != 2) std::this_thread::yield();
  *count = 1;
  return 0;
}

// A guarded call on a thread of its own that stays inside the library until Release.
class CallInside {
 public:
  CallInside() {
    table_.CardsInSystem = StayInside;
    g_phase = 0;
    thread_ = std::thread([this] {
      // As a host's thread: without the alternate stack that the sanitizer gives each one.
      stack_t own = {};
      const stack_t none = {nullptr, SS_DISABLE, 0};
      sigaltstack(&none, &own);
      uint32_t cards = 0, result = 0;
      returned_ = qv::GuardedCardsInSystem(table_, &cards, &result);
      sigaltstack(&own, nullptr);
    });
    while (g_phase != 1) std::this_thread::yield();
  }
  bool Release() {
    g_phase = 2;
    thread_.join();
    return returned_;
  }

 private:
  qv::CardLibrary table_ = FakeLibrary::Table();
  std::thread thread_;
  bool returned_ = false;
};

// A signal that reaches our handler but is not a fault of the library inside a guarded call
// on that thread goes where the kernel would have sent it without us. Each case runs in a
// child process: what the host has for the signal, and the event, while another thread is
// inside a guarded call. The host's handler writes one character per call: '1', or 'x'
// when it was not called as the kernel would have called it. It lets the faulting write
// go on by opening the page. The host runs with SIGUSR2 blocked.
enum class Host {
  kDefault,
  kIgnored,
  kInfoHandler,   // SA_SIGINFO, with SIGUSR1 in its mask
  kPlainHandler,  // SA_NODEFER | SA_RESETHAND
  kOnStack,       // SA_SIGINFO | SA_ONSTACK, needs 96 KiB of stack, as a crash reporter may
  kPassingOn,     // SA_SIGINFO, passes the signal on to the handler it found: installed while
                  // another thread was inside a guarded call, it found ours, and it must stay
                  // when that call ends
  kPuttingBack,   // as kPassingOn, but puts back the handler it found and returns
};
enum class Event {
  kFaultHere,
  kFaultHereTwice,
  kBreakpointHere,
  kKilledToTheThreadInside,  // kill from another process, taken by the thread inside
};

struct HostCase {
  const char* name;
  int sig;
  Host host;
  Event event;
  const char* output;  // what the host's handlers wrote, at the end of stderr
  int dies_by;         // 0: the process lives
};

void* g_page = nullptr;
struct sigaction g_found;  // what the passing-on handler found

void Report(bool as_the_kernel_calls_it) {
  [[maybe_unused]] const ssize_t written = write(2, as_the_kernel_calls_it ? "1" : "x", 1);
}
bool Blocked(int sig) {
  sigset_t mask;
  pthread_sigmask(SIG_BLOCK, nullptr, &mask);
  return sigismember(&mask, sig) == 1;
}
void OpenPage() {
  mprotect(g_page, 4096, PROT_READ | PROT_WRITE);
}
void HostInfoHandler(int sig, siginfo_t* info, void*) {
  Report(info->si_addr == g_page && Blocked(SIGUSR1) && Blocked(SIGUSR2) && Blocked(sig));
  OpenPage();
}
void HostOnStackHandler(int, siginfo_t*, void*) {
  volatile char frame[96 * 1024];
  for (std::size_t i = 0; i < sizeof frame; i += 512) frame[i] = 1;
  Report(frame[0] == 1);
}
void HostPlainHandler(int sig) {
  Report(!Blocked(sig));
  OpenPage();
}
void HostPassingOnHandler(int sig, siginfo_t* info, void* context) {
  Report(true);
  g_found.sa_sigaction(sig, info, context);
}
void HostPuttingBackHandler(int sig, siginfo_t*, void*) {
  Report(true);
  sigaction(sig, &g_found, nullptr);
}

__attribute__((noinline, no_sanitize("address"))) void WriteToThePage() {
  *static_cast<volatile int*>(g_page) = 1;
}

void Install(int sig, Host host) {
  struct sigaction action = {};
  sigemptyset(&action.sa_mask);
  sigaddset(&action.sa_mask, SIGUSR1);
  action.sa_handler = host == Host::kIgnored ? SIG_IGN : SIG_DFL;
  if (host == Host::kPlainHandler) {
    action.sa_handler = HostPlainHandler;
    action.sa_flags = SA_NODEFER | SA_RESETHAND;
  } else if (host != Host::kDefault && host != Host::kIgnored) {
    action.sa_sigaction = host == Host::kInfoHandler ? HostInfoHandler
                          : host == Host::kOnStack   ? HostOnStackHandler
                          : host == Host::kPassingOn ? HostPassingOnHandler
                                                     : HostPuttingBackHandler;
    action.sa_flags = SA_SIGINFO | (host == Host::kOnStack ? SA_ONSTACK : 0);
  }
  sigaction(sig, &action, &g_found);
}

[[noreturn]] void RunHost(const HostCase& c) {
  const rlimit no_core = {0, 0};
  setrlimit(RLIMIT_CORE, &no_core);
  alarm(10);  // a signal going round for ever ends here, as SIGALRM
  g_page = mmap(nullptr, 4096, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  [[maybe_unused]] const ssize_t written = write(2, "host handler calls: ", 20);
  sigset_t usr2;
  sigemptyset(&usr2);
  sigaddset(&usr2, SIGUSR2);
  pthread_sigmask(SIG_BLOCK, &usr2, nullptr);
  const bool found_ours = c.host == Host::kPassingOn || c.host == Host::kPuttingBack;
  Install(c.sig, found_ours ? Host::kDefault : c.host);
  // A fault landed on this thread first: nothing of that call may be left armed here.
  FakeLibrary::Get().Reset({{512, 1, 1}});
  FakeLibrary::Get().count_action = behaviour::NullWrite;
  uint32_t cards = 0, result = 0;
  if (qv::GuardedCardsInSystem(FakeLibrary::Table(), &cards, &result)) _exit(3);
  std::unique_ptr<CallInside> inside = std::make_unique<CallInside>();
  if (found_ours) {
    Install(c.sig, c.host);
    inside->Release();
    inside = std::make_unique<CallInside>();
  }
  switch (c.event) {
    case Event::kFaultHereTwice:
      WriteToThePage();
      mprotect(g_page, 4096, PROT_NONE);
      [[fallthrough]];
    case Event::kFaultHere:
      WriteToThePage();
      break;
    case Event::kBreakpointHere:
      behaviour::Breakpoint();
      break;
    case Event::kKilledToTheThreadInside: {
      sigset_t sig;
      sigemptyset(&sig);
      sigaddset(&sig, c.sig);
      pthread_sigmask(SIG_BLOCK, &sig, nullptr);
      const pid_t sender = fork();
      if (sender == 0) _exit(kill(getppid(), c.sig) == 0 ? 0 : 1);
      int status = 0;
      if (waitpid(sender, &status, 0) != sender || status != 0) _exit(4);
      // Taken once no longer pending; an ignored one never is.
      sigset_t pending;
      do {
        sigpending(&pending);
      } while (sigismember(&pending, c.sig) == 1);
      break;
    }
  }
  inside->Release();
  _exit(0);
}

TEST(GuardedCount, ASignalNotOursGoesWhereTheKernelWouldSendIt) {
  const HostCase kCases[] = {
      {"SA_SIGINFO handler", SIGSEGV, Host::kInfoHandler, Event::kFaultHere, "calls: 1$", 0},
      {"plain handler, two faults", SIGSEGV, Host::kPlainHandler, Event::kFaultHereTwice,
       "calls: 1$", SIGSEGV},
      {"default", SIGSEGV, Host::kDefault, Event::kFaultHere, "calls: $", SIGSEGV},
      {"default, sent with kill", SIGSEGV, Host::kDefault, Event::kKilledToTheThreadInside,
       "calls: $", SIGSEGV},
      {"default, breakpoint", SIGTRAP, Host::kDefault, Event::kBreakpointHere, "calls: $", SIGTRAP},
      {"ignored", SIGSEGV, Host::kIgnored, Event::kFaultHere, "calls: $", SIGSEGV},
      {"ignored, sent with kill", SIGSEGV, Host::kIgnored, Event::kKilledToTheThreadInside,
       "calls: $", 0},
      {"SA_ONSTACK handler needing 96 KiB, on the thread inside", SIGFPE, Host::kOnStack,
       Event::kKilledToTheThreadInside, "calls: 1$", 0},
      {"passing on to ours", SIGSEGV, Host::kPassingOn, Event::kFaultHere, "calls: 1$", SIGSEGV},
      {"putting ours back and returning", SIGSEGV, Host::kPuttingBack, Event::kFaultHere,
       "calls: 1$", SIGSEGV},
  };
  for (const HostCase& c : kCases) {
    SCOPED_TRACE(c.name);
    EXPECT_EXIT(
        RunHost(c),
        [&c](int status) {
          return c.dies_by != 0 ? WIFSIGNALED(status) && WTERMSIG(status) == c.dies_by
                                : WIFEXITED(status) && WEXITSTATUS(status) == 0;
        },
        c.output);
  }
}

}  // namespace

}  // namespace qvtest
