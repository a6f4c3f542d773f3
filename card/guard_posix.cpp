// The guarded count call on POSIX: handlers for the fault signals are installed while at
// least one thread is inside a guarded call, and the ones found before are put back when
// the last one leaves; a fault inside the call returns through siglongjmp. Nothing that a
// signal handler may reach (ours, or a guarded call made from the host's) allocates or
// waits for its own thread.
#include <pthread.h>
#include <sched.h>
#include <sys/auxv.h>
#include <sys/mman.h>
#include <ucontext.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csetjmp>
#include <csignal>
#include <cstddef>
#include <cstdint>

#include "card/card_library.h"
#include "card/forced_unwind.h"
#include "card/fp_state_x86.h"

namespace qv {

bool PlatformHasSse() {
#if defined(__i386__)
  // CPUID.1:EDX bit 25, which the kernel leaves out where it does not save the SSE registers.
  constexpr unsigned long kHwcapSse = 1ul << 25;
  return (getauxval(AT_HWCAP) & kHwcapSse) != 0;
#else
  return true;
#endif
}

namespace {

// SIGTRAP: a breakpoint instruction left in the library's release build.
constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP};
constexpr int kSignalCount = sizeof(kSignals) / sizeof(kSignals[0]);
// Linux's flag: the kernel disarms the alternate stack while a handler runs on it.
constexpr int kAutoDisarm = static_cast<int>(1u << 31);

// Read in the signal handler. The initial-exec model makes that a plain thread-pointer
// load; the default model of a library opened with dlopen may allocate on first use.
__attribute__((tls_model("initial-exec"))) thread_local sigjmp_buf* t_landing = nullptr;
// Guarded calls that this thread is inside: one made from a signal handler during another
// finds the handlers and the alternate stack in place.
__attribute__((tls_model("initial-exec"))) thread_local int t_depth = 0;
// The signal that this thread is passing on to a host handler, and the frame that does it:
// a call of ours below that frame with the same siginfo comes back from that handler.
__attribute__((tls_model("initial-exec"))) thread_local const siginfo_t* t_passing_on = nullptr;
__attribute__((tls_model("initial-exec"))) thread_local uintptr_t t_passing_frame = 0;
// The last signal passed on to a host handler that found ours in place when it was installed,
// once that handler has returned. The same signal again at once (the fault run again, or
// raised again) is that handler handing it back to the one it found.
struct Passed {
  int sig;
  int code;
  void* address;
  uintptr_t pc;
};
__attribute__((tls_model("initial-exec"))) thread_local Passed t_handed_back = {};

// Signal dispositions are per process: two threads in guarded calls at once share one
// installation, or the second would save the first's handler and restore it for good. The
// few calls that install and remove it are kept apart by a flag, not a mutex, and run with
// every signal blocked: no handler can interrupt the thread that holds it and wait for it.
std::atomic_flag g_installing = ATOMIC_FLAG_INIT;
int g_threads_inside = 0;
struct sigaction g_previous[kSignalCount];
// A handler that the host put over ours during a guarded call, and whether the one in
// g_previous is such a handler: passing a signal on to ours is how it hands the signal back.
void* g_over_ours[kSignalCount];
bool g_previous_found_ours[kSignalCount];

void* HandlerOf(const struct sigaction& action) {
  return (action.sa_flags & SA_SIGINFO) != 0 ? reinterpret_cast<void*>(action.sa_sigaction)
                                             : reinterpret_cast<void*>(action.sa_handler);
}

uintptr_t ProgramCounter(const void* context) {
  const mcontext_t& registers = static_cast<const ucontext_t*>(context)->uc_mcontext;
#if defined(__x86_64__)
  return static_cast<uintptr_t>(registers.gregs[REG_RIP]);
#else
  return static_cast<uintptr_t>(registers.gregs[REG_EIP]);
#endif
}

// The default action, as the kernel takes it: a fault runs its instruction again and meets
// it; a breakpoint and a signal sent with kill do not, so they are raised anew.
void TakeDefault(int sig, const siginfo_t* info) {
  struct sigaction action = {};
  action.sa_handler = SIG_DFL;
  sigaction(sig, &action, nullptr);
  if (info->si_code <= 0 || sig == SIGTRAP) raise(sig);
}

// A signal that is not ours goes where the kernel would have sent it without us: the host's
// handler, called as the kernel calls it (its mask, SA_NODEFER, SA_RESETHAND; on the
// thread's alternate stack, which during a guarded call may be ours), or the default action.
__attribute__((noinline)) void PassOn(int sig, siginfo_t* info, void* context) {
  const uintptr_t frame = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  const int i = static_cast<int>(std::find(kSignals, kSignals + kSignalCount, sig) - kSignals);
  struct sigaction& host = g_previous[i];
  const struct sigaction handler = host;
  const bool ignored = (handler.sa_flags & SA_SIGINFO) == 0 && handler.sa_handler == SIG_IGN;
  const bool has_handler =
      (handler.sa_flags & SA_SIGINFO) != 0 || (handler.sa_handler != SIG_DFL && !ignored);
  // A host handler that passes the signal on to the one it found, ours, would go round
  // with it for ever: the default ends that. It passes it on by calling ours, or by putting
  // ours back and returning (the fault runs again) or raising it again.
  const Passed now = {sig, info->si_code, info->si_addr, ProgramCounter(context)};
  const Passed before = t_handed_back;
  t_handed_back = {};
  const bool again = before.sig == sig &&
                     (now.code <= 0 || (before.code == now.code && before.address == now.address &&
                                        before.pc == now.pc));
  const bool returned_to_us = (info == t_passing_on && frame < t_passing_frame) || again;
  if (returned_to_us || !has_handler) {
    // Only a signal sent with kill can be ignored; the kernel forces a fault's default.
    if (!returned_to_us && ignored && info->si_code <= 0) return;
    TakeDefault(sig, info);
    return;
  }
  if ((handler.sa_flags & SA_RESETHAND) != 0) {
    host.sa_handler = SIG_DFL;
    host.sa_flags = 0;
  }
  sigset_t mask = static_cast<ucontext_t*>(context)->uc_sigmask;
  sigorset(&mask, &mask, &handler.sa_mask);
  if ((handler.sa_flags & SA_NODEFER) == 0) sigaddset(&mask, sig);
  pthread_sigmask(SIG_SETMASK, &mask, nullptr);
  t_passing_on = info;
  t_passing_frame = frame;
  if ((handler.sa_flags & SA_SIGINFO) != 0) {
    handler.sa_sigaction(sig, info, context);
  } else {
    handler.sa_handler(sig);
  }
  t_passing_on = nullptr;
  if (g_previous_found_ours[i]) t_handed_back = now;
}

// A signal that the library's code caused on this thread: a fault (si_code > 0), or one
// aimed at this thread from within the process, as raise() sends it. The host's own
// pthread_kill to this thread looks the same and counts as the library's too; a signal sent
// to the process (kill, from here or elsewhere) is not.
bool FromTheLibrary(const siginfo_t* info) {
  return info->si_code > 0 || (info->si_code == SI_TKILL && info->si_pid == getpid());
}

[[noreturn]] void Land(int sig, const void* context) {
  // On an alternate stack that the kernel disarmed (SS_AUTODISARM), armed again without that
  // flag, with which the kernel never reports a thread as on it: a fortified siglongjmp lets
  // a jump go down the address space only from the alternate stack that it is on. The
  // guard's scope puts the thread's setting back after the landing.
  const stack_t& was = static_cast<const ucontext_t*>(context)->uc_stack;
  stack_t now = {};
  if ((was.ss_flags & kAutoDisarm) != 0 && sigaltstack(nullptr, &now) == 0 &&
      (now.ss_flags & SS_DISABLE) != 0) {
    const stack_t again = {was.ss_sp, 0, was.ss_size};
    sigaltstack(&again, nullptr);
  }
  siglongjmp(*t_landing, sig);
}

void OnFault(int sig, siginfo_t* info, void* context) {
  if (t_landing != nullptr && FromTheLibrary(info)) Land(sig, context);
  PassOn(sig, info, context);
}

bool OursInstalled(const struct sigaction& current) {
  return (current.sa_flags & SA_SIGINFO) != 0 && current.sa_sigaction == OnFault;
}

class Installing {
 public:
  Installing() {
    while (g_installing.test_and_set(std::memory_order_acquire)) sched_yield();
  }
  ~Installing() { g_installing.clear(std::memory_order_release); }
  Installing(const Installing&) = delete;
  Installing& operator=(const Installing&) = delete;
};

void EnterGuard() {
  const Installing installing;
  if (g_threads_inside++ > 0) return;
  // All the previous handlers first: a fault on another thread as soon as ours is in
  // place chains to what was there.
  for (int i = 0; i < kSignalCount; ++i) {
    sigaction(kSignals[i], nullptr, &g_previous[i]);
    g_previous_found_ours[i] =
        g_over_ours[i] != nullptr && HandlerOf(g_previous[i]) == g_over_ours[i];
  }
  struct sigaction action = {};
  action.sa_sigaction = OnFault;
  sigemptyset(&action.sa_mask);
  // SA_ONSTACK: a library that overran its stack is caught on the alternate one.
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  for (int sig : kSignals) sigaction(sig, &action, nullptr);
}

void LeaveGuard() {
  const Installing installing;
  if (--g_threads_inside > 0) return;
  // A handler that the host installed in the meantime stays.
  for (int i = 0; i < kSignalCount; ++i) {
    struct sigaction current = {};
    sigaction(kSignals[i], nullptr, &current);
    const bool ours = OursInstalled(current);
    g_over_ours[i] = ours ? nullptr : HandlerOf(current);
    if (ours) sigaction(kSignals[i], &g_previous[i], nullptr);
  }
}

// The alternate stack of guarded calls on a thread that has none: mapped at its first
// guarded call and unmapped when it ends. A host handler that runs during the call runs on
// it (a crash reporter's, with SA_ONSTACK, and every one that ours passes a signal on to),
// so it is sized for such a handler, which expects a thread's stack, not for ours alone:
// 1 MiB, of which only the pages touched take memory. The inaccessible page below it turns
// a handler that needs more into a fault rather than a write over someone else's memory.
constexpr std::size_t kStackSize = 1024 * 1024;

std::size_t PageSize() {
  return static_cast<std::size_t>(getauxval(AT_PAGESZ));
}

void UnmapStack(void* mapping) {
  munmap(mapping, PageSize() + kStackSize);
}

struct ThreadStacks {
  pthread_key_t key = {};
  bool made = pthread_key_create(&key, UnmapStack) == 0;
  // Unloaded before its threads end: what they mapped stays.
  ~ThreadStacks() {
    if (made) pthread_key_delete(key);
  }
} g_thread_stacks;

__attribute__((tls_model("initial-exec"))) thread_local char* t_stack = nullptr;

// Only system calls: it may be reached from a signal handler.
char* ThreadStack() {
  if (t_stack != nullptr || !g_thread_stacks.made) return t_stack;
  const std::size_t page = PageSize();
  void* mapping = mmap(nullptr, page + kStackSize, PROT_READ | PROT_WRITE,
                       MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_STACK, -1, 0);
  if (mapping == MAP_FAILED) return nullptr;
  if (mprotect(mapping, page, PROT_NONE) != 0 ||
      pthread_setspecific(g_thread_stacks.key, mapping) != 0) {
    munmap(mapping, page + kStackSize);
    return nullptr;
  }
  t_stack = static_cast<char*>(mapping) + page;
  return t_stack;
}

class SignalsBlocked {
 public:
  SignalsBlocked() {
    sigset_t all;
    sigfillset(&all);
    pthread_sigmask(SIG_BLOCK, &all, &before_);
  }
  ~SignalsBlocked() { pthread_sigmask(SIG_SETMASK, &before_, nullptr); }
  SignalsBlocked(const SignalsBlocked&) = delete;
  SignalsBlocked& operator=(const SignalsBlocked&) = delete;

 private:
  sigset_t before_;
};

// For the length of the outermost guarded call on this thread, however it ends: our
// handlers, and the thread's alternate stack for guarded calls if it has none of its own,
// without which an overflow of its stack could not be caught. The thread's own setting is
// put back as it was, also one that the kernel disarmed when the landing's handler ran on it
// (SS_AUTODISARM). Set up and taken down with signals blocked: a handler that makes a
// guarded call of its own finds all of it in place or nothing.
class GuardScope {
 public:
  GuardScope() {
    if (t_depth > 0) {
      ++t_depth;
      return;
    }
    const SignalsBlocked blocked;
    EnterGuard();
    // On the alternate stack already (a guarded call from a signal handler): left alone.
    keep_ = sigaltstack(nullptr, &saved_) != 0 || (saved_.ss_flags & SS_ONSTACK) != 0;
    if (!keep_ && (saved_.ss_flags & SS_DISABLE) != 0) {
      if (char* stack = ThreadStack()) {
        const stack_t own = {stack, 0, kStackSize};
        sigaltstack(&own, nullptr);
      }
    }
    t_depth = 1;
  }
  ~GuardScope() {
    if (t_depth > 1) {
      --t_depth;
      return;
    }
    const SignalsBlocked blocked;
    t_depth = 0;
    if (!keep_) sigaltstack(&saved_, nullptr);
    LeaveGuard();
  }
  GuardScope(const GuardScope&) = delete;
  GuardScope& operator=(const GuardScope&) = delete;

 private:
  stack_t saved_ = {};
  bool keep_ = true;
};

// The landing is in this frame, whose one destructor outlives it; siglongjmp skips those
// of the frames it leaves. A guarded call made inside another (from a signal handler) has
// its own, and gives the outer one back when it ends.
bool CallArmed(const CardLibrary& lib, uint32_t* count, uint32_t* result) {
  struct Rearm {
    sigjmp_buf* outer = t_landing;
    ~Rearm() { t_landing = outer; }
  };
  sigjmp_buf landing;
  const Rearm rearm;
  if (sigsetjmp(landing, 1) != 0) return false;
  // cppcheck-suppress danglingLifetime ; rearm puts the outer one back on every way out
  t_landing = &landing;
  *result = lib.CardsInSystem(count);
  return true;
}

}  // namespace

bool GuardedCardsInSystem(const CardLibrary& lib, uint32_t* count, uint32_t* result) {
  const FpState fp = SaveFpState(SseUsable());
  bool returned = false;
  {
    const GuardScope scope;
    // A C++ exception ends here; a thread's end goes on, and the scope still cleans up.
    returned =
        CatchAllButThreadEnd([&] { return CallArmed(lib, count, result); }, [] { return false; });
  }
  if (!returned) RestoreFpState(fp);
  return returned;
}

}  // namespace qv
