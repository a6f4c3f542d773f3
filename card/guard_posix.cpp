// The guarded count call on POSIX: handlers for the fault signals are installed while at
// least one thread is inside a guarded call, and the ones found before are put back when
// the last one leaves; a fault inside the call returns through siglongjmp.
#include <sys/auxv.h>
#include <ucontext.h>

#include <algorithm>
#include <csetjmp>
#include <csignal>
#include <cstdint>
#include <memory>
#include <mutex>
#include <new>

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

// Read in the signal handler. The initial-exec model makes that a plain thread-pointer
// load; the default model of a library opened with dlopen may allocate on first use.
__attribute__((tls_model("initial-exec"))) thread_local sigjmp_buf* t_landing = nullptr;
// The signal that this thread is passing on to a host handler, and the frame that does it:
// a call of ours below that frame with the same siginfo comes back from that handler.
__attribute__((tls_model("initial-exec"))) thread_local const siginfo_t* t_passing_on = nullptr;
__attribute__((tls_model("initial-exec"))) thread_local uintptr_t t_passing_frame = 0;

// Signal dispositions are per process: two threads in guarded calls at once share one
// installation, or the second would save the first's handler and restore it for good.
std::mutex g_install_mutex;
int g_threads_inside = 0;
struct sigaction g_previous[kSignalCount];

// The default action, as the kernel takes it: a fault runs its instruction again and meets
// it; a breakpoint and a signal sent with kill do not, so they are raised anew.
void TakeDefault(int sig, const siginfo_t* info) {
  struct sigaction action = {};
  action.sa_handler = SIG_DFL;
  sigaction(sig, &action, nullptr);
  if (info->si_code <= 0 || sig == SIGTRAP) raise(sig);
}

// A signal that is not ours goes where the kernel would have sent it without us: the host's
// handler, called as the kernel calls it (its mask, SA_NODEFER, SA_RESETHAND), or the
// default action.
__attribute__((noinline)) void PassOn(int sig, siginfo_t* info, void* context) {
  const uintptr_t frame = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
  const int i = static_cast<int>(std::find(kSignals, kSignals + kSignalCount, sig) - kSignals);
  struct sigaction& host = g_previous[i];
  const struct sigaction handler = host;
  const bool ignored = (handler.sa_flags & SA_SIGINFO) == 0 && handler.sa_handler == SIG_IGN;
  const bool has_handler =
      (handler.sa_flags & SA_SIGINFO) != 0 || (handler.sa_handler != SIG_DFL && !ignored);
  // A host handler that passes the signal on to the one it found, ours, would go round
  // with it for ever: the default ends that.
  const bool returned_to_us = info == t_passing_on && frame < t_passing_frame;
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
}

void OnFault(int sig, siginfo_t* info, void* context) {
  // Ours: a fault of the library on this thread. A signal sent with kill (si_code <= 0) is
  // not, even in the middle of the call.
  if (t_landing != nullptr && info->si_code > 0) siglongjmp(*t_landing, sig);
  PassOn(sig, info, context);
}

bool OursInstalled(int sig) {
  struct sigaction current = {};
  sigaction(sig, nullptr, &current);
  return (current.sa_flags & SA_SIGINFO) != 0 && current.sa_sigaction == OnFault;
}

void EnterGuard() {
  std::lock_guard<std::mutex> lock(g_install_mutex);
  if (g_threads_inside++ > 0) return;
  // All the previous handlers first: a fault on another thread as soon as ours is in
  // place chains to what was there.
  for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], nullptr, &g_previous[i]);
  struct sigaction action = {};
  action.sa_sigaction = OnFault;
  sigemptyset(&action.sa_mask);
  // SA_ONSTACK: a library that overran its stack is caught on the alternate one.
  action.sa_flags = SA_SIGINFO | SA_ONSTACK;
  for (int sig : kSignals) sigaction(sig, &action, nullptr);
}

void LeaveGuard() {
  std::lock_guard<std::mutex> lock(g_install_mutex);
  if (--g_threads_inside > 0) return;
  // A handler that the host installed in the meantime stays.
  for (int i = 0; i < kSignalCount; ++i) {
    if (OursInstalled(kSignals[i])) sigaction(kSignals[i], &g_previous[i], nullptr);
  }
}

// For the length of one guarded call, however it ends: our handlers, and an alternate
// signal stack for this thread if it has none, without which an overflow of its stack
// could not be caught. The thread's own setting is put back as it was, also one that the
// kernel disarmed when the landing's handler ran on it (SS_AUTODISARM).
class GuardScope {
 public:
  GuardScope() {
    EnterGuard();
    // On the alternate stack already (a guarded call from a signal handler): left alone.
    keep_ = sigaltstack(nullptr, &saved_) != 0 || (saved_.ss_flags & SS_ONSTACK) != 0;
    if (keep_ || (saved_.ss_flags & SS_DISABLE) == 0) return;
    const std::size_t size = std::max<std::size_t>(64 * 1024, SIGSTKSZ);
    own_.reset(new (std::nothrow) char[size]);
    const stack_t own = {own_.get(), 0, size};
    if (own_) sigaltstack(&own, nullptr);
  }
  ~GuardScope() {
    if (!keep_) sigaltstack(&saved_, nullptr);
    LeaveGuard();
  }
  GuardScope(const GuardScope&) = delete;
  GuardScope& operator=(const GuardScope&) = delete;

 private:
  stack_t saved_ = {};
  bool keep_ = true;
  std::unique_ptr<char[]> own_;
};

struct Disarm {
  ~Disarm() { t_landing = nullptr; }
};

// The landing is in this frame, whose one destructor outlives it; siglongjmp skips those
// of the frames it leaves.
bool CallArmed(const CardLibrary& lib, uint32_t* count, uint32_t* result) {
  sigjmp_buf landing;
  const Disarm disarm;
  if (sigsetjmp(landing, 1) != 0) return false;
  // cppcheck-suppress danglingLifetime ; disarm clears it on every way out
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
