#include "quiet_library.h"

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
