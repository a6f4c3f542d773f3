// The guarded count call on POSIX: handlers for the fault signals are installed while at
// least one thread is inside a guarded call, and the ones found before are put back when
// the last one leaves; a fault inside the call returns through siglongjmp.
#include <csetjmp>
#include <csignal>
#include <mutex>

#include "card/card_library.h"
#include "card/fp_state_x86.h"

namespace qv {

namespace {

// SIGTRAP: a breakpoint instruction left in the library's release build.
constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE, SIGTRAP};
constexpr int kSignalCount = sizeof(kSignals) / sizeof(kSignals[0]);

// Read in the signal handler. The initial-exec model makes that a plain thread-pointer
// load; the default model of a library opened with dlopen may allocate on first use.
__attribute__((tls_model("initial-exec"))) thread_local sigjmp_buf* t_landing = nullptr;

// Signal dispositions are per process: two threads in guarded calls at once share one
// installation, or the second would save the first's handler and restore it for good.
std::mutex g_install_mutex;
int g_threads_inside = 0;
struct sigaction g_previous[kSignalCount];

void OnFault(int sig, siginfo_t* info, void* context) {
  if (t_landing != nullptr) siglongjmp(*t_landing, sig);
  // A fault on a thread outside any guarded call is not ours: hand it to the handler that
  // was there before, or put back the old disposition. The faulting instruction then runs
  // again and meets it; a breakpoint's does not, so the trap is raised anew.
  for (int i = 0; i < kSignalCount; ++i) {
    if (kSignals[i] != sig) continue;
    const struct sigaction& previous = g_previous[i];
    if ((previous.sa_flags & SA_SIGINFO) != 0) {
      previous.sa_sigaction(sig, info, context);
    } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
      previous.sa_handler(sig);
    } else {
      sigaction(sig, &previous, nullptr);
      if (sig == SIGTRAP) raise(sig);
    }
  }
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
  // SA_ONSTACK: where the host gave a thread an alternate signal stack, the handler runs
  // on it, so that a library that overran its stack is caught too.
  action.sa_flags = SA_SIGINFO | SA_NODEFER | SA_ONSTACK;
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

// Kept apart from anything with a destructor: siglongjmp skips destructors.
bool CallArmed(const CardLibrary& lib, uint32_t* count, uint32_t* result) {
  sigjmp_buf landing;
  if (sigsetjmp(landing, 1) != 0) {
    t_landing = nullptr;
    return false;
  }
  t_landing = &landing;
  *result = lib.CardsInSystem(count);
  t_landing = nullptr;
  return true;
}

}  // namespace

bool GuardedCardsInSystem(const CardLibrary& lib, uint32_t* count, uint32_t* result) {
  const FpState fp = SaveFpState();
  EnterGuard();
  bool returned = false;
  try {
    returned = CallArmed(lib, count, result);
  } catch (...) {
    t_landing = nullptr;
    returned = false;
  }
  LeaveGuard();
  if (!returned) RestoreFpState(fp);
  return returned;
}

}  // namespace qv
