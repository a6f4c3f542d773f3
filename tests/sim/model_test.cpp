// The card model: what reads return after which writes.
#include <gtest/gtest.h>

#include "tests/sim/sim_test_util.h"

namespace qv::sim::test {
namespace {

constexpr uint32_t kCmd = 900, kCntEn = 896;

class ModelTest : public ::testing::Test {
 protected:
  void SetUp() override {
    OX952Sim_Reset();
    base_ = OpenCard(0);
    ASSERT_NE(base_, 0u);
  }
  void TearDown() override { OX952Sim_Reset(); }

  void Write(uint32_t offset, uint32_t value) { OX952_MemWrite(base_ + offset, 0, value); }
  uint32_t Read(uint32_t offset) { return OX952_MemRead(base_ + offset, 0); }
  uint32_t Str(uint32_t x) { return Read24(base_, 512 + 128 * x); }
  uint32_t XStr(uint32_t x) { return Read24(base_, 528 + 128 * x); }
  uint32_t Status(uint32_t x) { return Read(624 + 128 * x); }

  uint32_t base_ = 0;
};

TEST_F(ModelTest, LatchAdvancesEnabledCountersByTheirStep) {
  Write(kCmd, 7);
  EXPECT_EQ(Str(0), 0u) << "disabled counters stand still";
  Write(kCntEn, 7);
  Write(kCmd, 7);
  EXPECT_EQ(Str(0), 1u);
  EXPECT_EQ(Str(1), 10u);
  EXPECT_EQ(Str(2), 100u);
  Write(kCntEn, 0x02);
  Write(kCmd, 7);
  EXPECT_EQ(Str(0), 1u);
  EXPECT_EQ(Str(1), 20u);
  EXPECT_EQ(Str(2), 100u);
  EXPECT_EQ(Status(1) & 0x08, 0x08u);
  EXPECT_EQ(Status(0) & 0x08, 0u);
  Write(kCmd, 0x01);  // latches counter 0 alone: the others keep their Str
  EXPECT_EQ(Str(1), 20u);
  EXPECT_EQ(OX952Sim_Count(0, 1), 20u);
}

TEST_F(ModelTest, CounterWrapsAtItsRange) {
  Write(kCntEn, 0x05);
  Write24(base_, 528, 5);    // counter 0 runs 0..5
  Write24(base_, 784, 150);  // counter 2 runs 0..150, step 100
  for (int i = 0; i < 5; ++i) Write(kCmd, 7);
  EXPECT_EQ(Str(0), 5u);
  EXPECT_EQ(Status(0) & 0x04, 0u);
  EXPECT_EQ(Str(2), 500u % 151u);
  Write(kCmd, 7);
  EXPECT_EQ(Str(0), 0u);
  EXPECT_EQ(Status(0) & 0x04, 0x04u) << "wrapped at the last advance";
  Write(kCmd, 7);
  EXPECT_EQ(Status(0) & 0x04, 0u);

  // Range 0 is the whole 24 bits.
  Write24(base_, 528, 0);
  Write24(base_, 512, 0xFFFFFE);
  Write(kCmd, 0x11);  // load, then latch
  EXPECT_EQ(Str(0), 0xFFFFFFu);
  EXPECT_EQ(Status(0) & 0x04, 0u);
  Write(kCmd, 0x01);
  EXPECT_EQ(Str(0), 0u);
  EXPECT_EQ(Status(0) & 0x04, 0x04u);
}

TEST_F(ModelTest, LoadCommandTakesThePresetAndWritesDoNotShowInReads) {
  Write(kCntEn, 0x07);
  Write24(base_, 512, 0x123456);
  Write24(base_, 640 + 0, 0x000100);
  EXPECT_EQ(Str(0), 0u) << "512 reads CNT0StrReg, not the preset written there";
  EXPECT_EQ(OX952Sim_WrittenByte(0, 516), 0x34);
  Write(kCmd, 0x30);  // load counters 0 and 1, no latch
  EXPECT_EQ(OX952Sim_Count(0, 0), 0x123456u);
  EXPECT_EQ(OX952Sim_Count(0, 1), 0x100u);
  EXPECT_EQ(OX952Sim_Count(0, 2), 0u);
  EXPECT_EQ(Str(0), 0u);
  Write(kCmd, 7);
  EXPECT_EQ(Str(0), 0x123457u);
  EXPECT_EQ(Str(1), 0x10Au);
  // The driver's load goes through a 24-bit write: 0x70 then 0 at 904 and 908.
  Write24(base_, kCmd, 0x70);
  EXPECT_EQ(OX952Sim_Count(0, 0), 0x123456u);
}

TEST_F(ModelTest, CompareAndXstrStatusAreStickyUntilCleared) {
  Write(kCntEn, 0x01);
  Write24(base_, 544, 2);  // CNT0CMP1
  Write24(base_, 560, 3);  // CNT0CMP2
  Write(912, 0x11);        // compare 1 and 2 of counter 0 enabled
  Write(400, 0x01);        // XSTR of counter 0 enabled
  Write(kCmd, 7);
  EXPECT_EQ(Read(912), 0u);
  EXPECT_EQ(XStr(0), 1u);
  EXPECT_EQ(Read(400), 0x01u);
  Write(kCmd, 7);
  EXPECT_EQ(Read(912), 0x01u);
  EXPECT_EQ(Status(0) & 0x03, 0x01u);
  Write(kCmd, 7);
  EXPECT_EQ(Read(912), 0x11u);
  EXPECT_EQ(Status(0) & 0x03, 0x03u);
  Write(916, 0x01);
  EXPECT_EQ(Read(912), 0x10u);
  Write(916, 0x77);
  EXPECT_EQ(Read(912), 0u);

  Write(400, 0x00);  // XSTR off: XStr keeps the last strobed value
  Write(kCmd, 7);
  EXPECT_EQ(Str(0), 4u);
  EXPECT_EQ(XStr(0), 3u);
  Write(404, 0x40);
  EXPECT_EQ(Read(400), 0u);
}

TEST_F(ModelTest, DigitalInputReadsBackTheOutputPort) {
  EXPECT_EQ(Read(0), 0u);
  Write(4, 0x1A5);
  EXPECT_EQ(Read(0), 0xA5u);
  EXPECT_EQ(OX952Sim_WrittenByte(0, 4), 0xA5);
  EXPECT_EQ(OX952Sim_WrittenByte(0, 0), -1);
}

TEST_F(ModelTest, SetReadByteOverridesTheModelUntilReset) {
  OX952Sim_SetReadByte(0, 512, 0x12);
  OX952Sim_SetReadByte(0, 516, 0x34);
  OX952Sim_SetReadByte(0, 520, 0x56);
  Write(kCntEn, 7);
  Write(kCmd, 7);
  EXPECT_EQ(Str(0), 0x563412u);
  EXPECT_EQ(OX952Sim_ReadByte(0, 516), 0x34);
  EXPECT_EQ(OX952Sim_ReadByte(0, 1024), -1);
  EXPECT_EQ(Str(1), 10u);
  OX952Sim_Reset();
  base_ = OpenCard(0);
  EXPECT_EQ(Str(0), 0u);
  EXPECT_EQ(OX952Sim_WrittenByte(0, kCmd), -1);
}

}  // namespace
}  // namespace qv::sim::test
