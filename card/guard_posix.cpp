// The guarded count call on POSIX: handlers for the fault signals are installed just
// for the call and restored after it; a fault returns through siglongjmp.
#include <csetjmp>
#include <csignal>

#include "card/card_library.h"

namespace qv {

namespace {

constexpr int kSignals[] = {SIGSEGV, SIGBUS, SIGILL, SIGFPE};
constexpr int kSignalCount = sizeof(kSignals) / sizeof(kSignals[0]);

thread_local sigjmp_buf* t_landing = nullptr;
struct sigaction g_previous[kSignalCount];

void OnFault(int sig) {
  if (t_landing != nullptr) siglongjmp(*t_landing, sig);
  // A fault on another thread while we are armed: give it back to its own handler.
  for (int i = 0; i < kSignalCount; ++i)
    if (kSignals[i] == sig) sigaction(sig, &g_previous[i], nullptr);
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
  struct sigaction action = {};
  action.sa_handler = OnFault;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_NODEFER;
  for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &action, &g_previous[i]);

  bool returned = false;
  try {
    returned = CallArmed(lib, count, result);
  } catch (...) {
    t_landing = nullptr;
    returned = false;
  }
  for (int i = 0; i < kSignalCount; ++i) sigaction(kSignals[i], &g_previous[i], nullptr);
  return returned;
}

}  // namespace qv
