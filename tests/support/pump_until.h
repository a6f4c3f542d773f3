// Pumps the thread's window messages until a condition holds.
#pragma once

#include <chrono>
#include <thread>

#include "host/pump.h"

namespace qvtest {

// True once `done` holds; false after 20 s, a bound that only stops a broken window or timer
// from hanging the test. The short sleeps leave the CPU to the window manager and the X server.
template <typename F>
bool PumpUntil(F done) {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done()) {
    if (std::chrono::steady_clock::now() > give_up) return false;
    qv::PumpWindowMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

}  // namespace qvtest
