// MXCSR, touched only where it exists, and the answer to whether it does.
#include "card/fp_state_x86.h"

#include <atomic>

namespace qv {

namespace {

std::atomic<SseProbe> g_sse_probe{PlatformHasSse};
std::atomic<int> g_sse{-1};  // -1: not asked yet
std::atomic<MxcsrReader> g_read{QvReadMxcsr};
std::atomic<MxcsrWriter> g_write{QvWriteMxcsr};

}  // namespace

bool SseUsable() {
  int sse = g_sse.load(std::memory_order_relaxed);
  if (sse < 0) {
    sse = g_sse_probe.load()() ? 1 : 0;
    g_sse.store(sse, std::memory_order_relaxed);
  }
  return sse != 0;
}

void SetSseProbe(SseProbe probe, MxcsrReader read, MxcsrWriter write) {
  g_sse_probe = probe != nullptr ? probe : PlatformHasSse;
  g_read = read != nullptr ? read : QvReadMxcsr;
  g_write = write != nullptr ? write : QvWriteMxcsr;
  g_sse = -1;
}

MxcsrReader ReadMxcsr() {
  return g_read.load(std::memory_order_relaxed);
}

MxcsrWriter WriteMxcsr() {
  return g_write.load(std::memory_order_relaxed);
}

// Out of line, so that the binary check finds them here and nowhere else.
extern "C" __attribute__((noinline)) uint32_t QvReadMxcsr() {
  uint32_t mxcsr;
  asm volatile("stmxcsr %0" : "=m"(mxcsr));
  return mxcsr;
}

extern "C" __attribute__((noinline)) void QvWriteMxcsr(uint32_t mxcsr) {
  asm volatile("ldmxcsr %0" : : "m"(mxcsr));
}

}  // namespace qv
