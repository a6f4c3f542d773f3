// The data exchange allocates nothing in steady state: every record copy reuses storage.
#include <gtest/gtest.h>

#include "driver_support.h"
#include "heap_count.h"

namespace qvtest {
namespace {

uint32_t OX952_CALL NoRead(uint32_t, uint32_t) {
  return 0x5A;
}
uint32_t OX952_CALL NoWrite(uint32_t, uint32_t, uint32_t) {
  return 0;
}

TEST(Exchange, ThousandCyclesAllocateNothing) {
  OX952Sim_Reset();
  TempDir dir;
  Ini ini;
  WriteBytes(dir.File("p.ini"), ini.Bytes());
  PData p = MakeDriver();
  ASSERT_TRUE(CallInit(p, dir.File("p.ini")).ok);
  // The same instance, with a card library whose byte accesses return at once.
  qv::CardLibrary quiet = *Instance(p).Library;
  quiet.MemRead = NoRead;
  quiet.MemWrite = NoWrite;
  Instance(p).Library = &quiet;

  auto cycle = [&](uint32_t n) {
    InputRequestCompleted(p);
    for (uint32_t ch = 0; ch <= 68; ++ch) {
      THostValue v{ch >= 40 && ch <= 47 ? 2 : 5, 0};
      GetInput(p, ch, &v);
    }
    OutputRequest(p, 6, 5, n);
    OutputRequest(p, 18, 5, n);
    OutputRequest(p, 27, 5, 1);
    OutputRequest(p, 52, 2, n & 1);
    OutputRequest(p, 58, 5, n);
    OutputRequestCompleted(p);
  };
  cycle(0);  // the first hand-over may size the window's copies
  const long before = HeapAllocations();
  for (uint32_t n = 1; n <= 1000; ++n) cycle(n);
  EXPECT_EQ(HeapAllocations() - before, 0);
  Instance(p).Library = &qv::ImportedCardLibrary();
  Done(p);
  DisposeDriver(p);
}

}  // namespace
}  // namespace qvtest
