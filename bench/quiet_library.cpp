#include "quiet_library.h"

#include <chrono>

namespace qvbench {
namespace {

constexpr uint32_t kReadValue = 0x5A;

Access g_accesses[kMaxAccesses];
std::size_t g_count = 0;

uint32_t OX952_CALL QuietRead(uint32_t, uint32_t) {
  return kReadValue;
}
uint32_t OX952_CALL QuietWrite(uint32_t, uint32_t, uint32_t) {
  return 0;
}

std::chrono::nanoseconds g_read_time{0};
std::chrono::nanoseconds g_write_time{0};

void BusyWait(std::chrono::nanoseconds time) {
  const auto until = std::chrono::steady_clock::now() + time;
  while (std::chrono::steady_clock::now() < until) {
  }
}
uint32_t OX952_CALL SlowRead(uint32_t, uint32_t) {
  BusyWait(g_read_time);
  return kReadValue;
}
uint32_t OX952_CALL SlowWrite(uint32_t, uint32_t, uint32_t) {
  BusyWait(g_write_time);
  return 0;
}

void Record(const Access& a) {
  if (g_count < kMaxAccesses) g_accesses[g_count] = a;
  ++g_count;
}
uint32_t OX952_CALL RecordRead(uint32_t address, uint32_t) {
  Record({false, address, 0});
  return kReadValue;
}
uint32_t OX952_CALL RecordWrite(uint32_t address, uint32_t, uint32_t value) {
  Record({true, address, value});
  return 0;
}

}  // namespace

qv::CardLibrary QuietLibrary(const qv::CardLibrary& base) {
  qv::CardLibrary lib = base;
  lib.MemRead = QuietRead;
  lib.MemWrite = QuietWrite;
  return lib;
}

qv::CardLibrary SlowLibrary(const qv::CardLibrary& base, uint32_t read_ns, uint32_t write_ns) {
  g_read_time = std::chrono::nanoseconds(read_ns);
  g_write_time = std::chrono::nanoseconds(write_ns);
  qv::CardLibrary lib = base;
  lib.MemRead = SlowRead;
  lib.MemWrite = SlowWrite;
  return lib;
}

qv::CardLibrary RecordingLibrary(const qv::CardLibrary& base) {
  qv::CardLibrary lib = base;
  lib.MemRead = RecordRead;
  lib.MemWrite = RecordWrite;
  return lib;
}

void ClearRecording() {
  g_count = 0;
}
std::size_t RecordedCount() {
  return g_count;
}
const Access* Recorded() {
  return g_accesses;
}

}  // namespace qvbench
