// The guarded count call on POSIX: handlers for the fault signals are installed while at
// least one thread is inside a guarded call, and the ones found before are put back when
// the last one leaves; a fault inside the call returns through siglongjmp.
#include <cfenv>
#include <csetjmp>
#include <csignal>
#include <mutex>

#include "card/card_library.h"

namespace qv {

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};
constexpr int kSignalCount = sizeof(kSignals) / sizeof(kSignals[0]);

thread_local sigjmp_buf* t_landing = nullptr;

// Signal dispositions are per process: two threads in guarded calls at once share one
// installation, or the second would save the first's handler and restore it for good.
std::mutex g_install_mutex;
int g_threads_inside = 0;
struct sigaction g_previous[kSignalCount];

void OnFault(int sig, siginfo_t* info, void* context) {
  if (t_landing != nullptr) siglongjmp(*t_landing, sig);
  // A fault on a thread outside any guarded call is not ours: hand it to the handler that
  // was there before, or let the default action happen when the instruction runs again.
  for (int i = 0; i < kSignalCount; ++i) {
    if (kSignals[i] != sig) continue;
    const struct sigaction& previous = g_previous[i];
    if ((previous.sa_flags & SA_SIGINFO) != 0) {
      previous.sa_sigaction(sig, info, context);
    } else if (previous.sa_handler != SIG_DFL && previous.sa_handler != SIG_IGN) {
      previous.sa_handler(sig);
    } else {
      sigaction(sig, &previous, nullptr);
    }
  }
}

void EnterGuard() {
  std::lock_guard<std::mutex> lock(g_install_mutex);
  if (g_threads_inside++ > 0) return;
  struct sigaction action = {};
  action.sa_sigaction = OnFault;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_SIGINFO | SA_NODEFER | SA_ONSTACK;
  for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &action, &g_previous[i]);
}

void LeaveGuard() {
  std::lock_guard<std::mutex> lock(g_install_mutex);
  if (--g_threads_inside > 0) return;
  for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &g_previous[i], nullptr);
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
  // A library that faulted may have left floating-point traps unmasked.
  std::fenv_t fenv;
  std::fegetenv(&fenv);
  EnterGuard();
  bool returned = false;
  try {
    returned = CallArmed(lib, count, result);
  } catch (...) {
    t_landing = nullptr;
    returned = false;
  }
  LeaveGuard();
  if (!returned) std::fesetenv(&fenv);
  return returned;
}

}  // namespace qv
