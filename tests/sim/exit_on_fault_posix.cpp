#include <signal.h>
#include <unistd.h>

#include "tests/sim/sim_test_util.h"

namespace qv::sim::test {

namespace {

void OnSignal(int signal) {
  _exit(signal == SIGILL ? kExitIllegalInstruction : kExitAccessViolation);
}

}  // namespace

void ExitOnFault() {
  struct sigaction action = {};
  action.sa_handler = OnSignal;
  sigaction(SIGSEGV, &action, nullptr);
  sigaction(SIGBUS, &action, nullptr);
  sigaction(SIGILL, &action, nullptr);
}

}  // namespace qv::sim::test
