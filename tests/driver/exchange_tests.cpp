// The data exchange through the exports, against the simulated card.
#include <gtest/gtest.h>

#include <map>
#include <stdexcept>

#include "card/registers.h"
#include "driver/channels.h"
#include "driver_support.h"

namespace qvtest {
namespace {

class Exchange : public ::testing::Test {
 protected:
  void SetUp() override {
    OX952Sim_Reset();
    Ini ini;
    ini.extra = "CNT1CWReg=0x0C\r\nCNTEnReg=7\r\n";
    path_ = dir_.File("p.ini");
    WriteBytes(path_, ini.Bytes());
    p_ = MakeDriver();
    ASSERT_TRUE(CallInit(p_, path_).ok);
    OX952Sim_ClearJournal();
  }
  void TearDown() override {
    Done(p_);
    DisposeDriver(p_);
  }
  uint32_t Get(uint32_t channel, int32_t kind = 5, uintptr_t start = 0xEEEEEEEE) {
    THostValue v{kind, start};
    GetInput(p_, channel, &v);
    return static_cast<uint32_t>(v.Value);
  }
  // The bytes written during the last calls, as offset -> value, in order.
  std::vector<std::pair<uint32_t, uint32_t>> Writes() {
    std::vector<std::pair<uint32_t, uint32_t>> w;
    for (uint32_t i = 0; i < OX952Sim_JournalSize(); ++i) {
      OX952SimCall c{};
      OX952Sim_JournalEntry(i, &c);
      if (c.function == OX952SIM_MemWrite) w.emplace_back(c.args[0] - base(), c.args[2]);
    }
    return w;
  }
  uint32_t base() const { return OX952Sim_BaseAddress(0); }
  qv::TData& d() { return Instance(p_); }
  // The text of a value cell after one tick of the shown window.
  std::string Shown(int label) {
    DriverProc(p_, 1, 0, 0, 0, 0);
    d().Dialog->Timer1Timer();
    return d().Dialog->LabelText(label);
  }

  TempDir dir_;
  std::string path_;
  PData p_ = nullptr;
};

using Bytes = std::vector<std::pair<uint32_t, uint32_t>>;

TEST_F(Exchange, SnapshotOrderAndDistinctBytesOnTheRightChannels) {
  // Distinct bytes in every read register the snapshot takes.
  uint8_t b = 0x11;
  for (uint32_t block : {512u, 640u, 768u})
    for (uint32_t off : {0u, 4u, 8u, 16u, 20u, 24u}) OX952Sim_SetReadByte(0, block + off, b++);
  for (uint32_t off : {624u, 752u, 880u, 912u, 400u, 0u}) OX952Sim_SetReadByte(0, off, b++);

  InputRequestCompleted(p_);
  std::vector<std::string> order;
  for (uint32_t i = 0; i < OX952Sim_JournalSize(); ++i) {
    OX952SimCall c{};
    OX952Sim_JournalEntry(i, &c);
    order.push_back((c.function == OX952SIM_MemWrite ? "W" : "R") +
                    std::to_string(c.args[0] - base()));
  }
  const std::vector<std::string> expected = {"W900", "R512", "R516", "R520", "R640", "R644", "R648",
                                             "R768", "R772", "R776", "R528", "R532", "R536", "R656",
                                             "R660", "R664", "R784", "R788", "R792", "R624", "R752",
                                             "R880", "R912", "R400", "R0"};
  EXPECT_EQ(order, expected);
  EXPECT_EQ(Writes(), (Bytes{{900, 7}}));

  EXPECT_EQ(Get(0), 0x131211u);
  EXPECT_EQ(Get(3), 0x161514u);
  EXPECT_EQ(Get(1), 0x191817u);
  EXPECT_EQ(Get(4), 0x1C1B1Au);
  EXPECT_EQ(Get(2), 0x1F1E1Du);
  EXPECT_EQ(Get(5), 0x222120u);
  EXPECT_EQ(Get(21), 0x23u);
  EXPECT_EQ(Get(22), 0x24u);
  EXPECT_EQ(Get(23), 0x25u);
  EXPECT_EQ(Get(26), 0x26u);
  EXPECT_EQ(Get(29), 0x27u);
  EXPECT_EQ(Get(48), 0x28u);
  // 0x28 = 00101000: bits 3 and 5.
  for (uint32_t ch = 40; ch <= 47; ++ch)
    EXPECT_EQ(Get(ch, 2, 0xAAAAAA00) & 0xFF, (ch == 43 || ch == 45) ? 1u : 0u) << ch;
  EXPECT_EQ(Get(40, 2, 0xAAAAAA00), 0xAAAAAA00u) << "only the first byte is written";
  EXPECT_EQ(Shown(24), "1249809") << "the window got the snapshot";
}

TEST_F(Exchange, GetInputIgnoresOtherKindsChannelsAndOutputs) {
  OX952Sim_SetReadByte(0, 0, 0x81);
  InputRequestCompleted(p_);
  EXPECT_EQ(Get(40, 5), 0xEEEEEEEEu);
  EXPECT_EQ(Get(48, 2), 0xEEEEEEEEu);
  EXPECT_EQ(Get(9, 5), 0xEEEEEEEEu) << "output shadows are not reported";
  EXPECT_EQ(Get(32, 5), 0xEEEEEEEEu);
  EXPECT_EQ(Get(69, 5), 0xEEEEEEEEu);
  EXPECT_EQ(Get(0xFFFFFFFF, 5), 0xEEEEEEEEu);
  EXPECT_EQ(Get(40, 2, 0) & 0xFF, 1u);
  EXPECT_EQ(Get(47, 2, 0) & 0xFF, 1u);
  EXPECT_EQ(Get(46, 2, 0) & 0xFF, 0u);
  GetInput(p_, 0, nullptr);
}

TEST_F(Exchange, EachOutputChannelLandsAtItsOffsets) {
  for (const qv::ChannelRow& row : qv::ChannelRows()) {
    if (row.direction != qv::Direction::Output || row.rule == qv::Rule::Bit) continue;
    OX952Sim_ClearJournal();
    const uint32_t value = 0xA50000u + row.first * 0x101u;  // distinct per channel
    OutputRequest(p_, row.first, 5, value);
    SCOPED_TRACE(row.name);
    // Presets, ranges and compare values (channels 6 to 17) are 24 bits wide, the rest 8.
    if (row.first >= 6 && row.first <= 17) {
      EXPECT_EQ(Writes(), (Bytes{{row.offset, value & 0xFF},
                                 {row.offset + 4, (value >> 8) & 0xFF},
                                 {row.offset + 8, 0xA5}}));
    } else {
      EXPECT_EQ(Writes(), (Bytes{{row.offset, value & 0xFF}}));
    }
  }
}

TEST_F(Exchange, WidthCutsControlWordsAndClears) {
  OutputRequest(p_, 6, 5, 0x12345678);
  EXPECT_EQ(Writes(), (Bytes{{512, 0x78}, {516, 0x56}, {520, 0x34}}));
  EXPECT_EQ(d().Karta.CNT0SetReg, 0x345678u);
  EXPECT_EQ(d().PendingCmd, 0x10);

  OX952Sim_ClearJournal();
  OutputRequest(p_, 9, 5, static_cast<uintptr_t>(-1));
  EXPECT_EQ(Writes(), (Bytes{{528, 0xFF}, {532, 0xFF}, {536, 0xFF}}));
  EXPECT_EQ(d().Karta.CNT0RngReg, 0xFFFFFFu);

  OX952Sim_ClearJournal();
  OutputRequest(p_, 18, 5, 0x1FF);
  EXPECT_EQ(Writes(), (Bytes{{624, 0xFF}}));
  EXPECT_EQ(d().Karta.CNT0CWReg, 0xF7u);

  OX952Sim_ClearJournal();
  OutputRequest(p_, 27, 5, 0x77);
  OutputRequest(p_, 30, 5, 0x40);
  EXPECT_EQ(Writes(), (Bytes{{916, 0x77}, {404, 0x40}}));
  EXPECT_EQ(d().Karta.CMPClrReg, 0);
  EXPECT_EQ(d().Karta.XSTRClrReg, 0);
  EXPECT_EQ(Shown(51), "00000000") << "the window sees the shadow after the reset";
  EXPECT_EQ(Shown(42), "11110111");
}

TEST_F(Exchange, OutputBitsReadModifyWriteTheShadow) {
  OutputRequest(p_, 52, 2, 1);
  OutputRequest(p_, 50, 2, 2);      // any lowest byte but 0 sets
  OutputRequest(p_, 52, 2, 0x100);  // lowest byte 0: clears
  OutputRequest(p_, 67, 2, 0xFF);
  EXPECT_EQ(Writes(), (Bytes{{4, 0x04}, {4, 0x05}, {4, 0x01}, {928, 0x80}}));
  EXPECT_EQ(d().Karta.DOUTReg, 0x01);
  EXPECT_EQ(d().Karta.RTDOReg, 0x80);
  EXPECT_EQ(CountCalls(OX952SIM_MemRead), 0) << "the port is never read back";
}

TEST_F(Exchange, OneCombinedLoadCommandPerBatch) {
  OutputRequestCompleted(p_);
  EXPECT_EQ(OX952Sim_JournalSize(), 0u) << "nothing pending, no access";
  OutputRequest(p_, 6, 5, 1);
  OutputRequest(p_, 8, 5, 2);
  OutputRequest(p_, 6, 5, 3);
  OX952Sim_ClearJournal();
  OutputRequestCompleted(p_);
  EXPECT_EQ(Writes(), (Bytes{{900, 0x50}, {904, 0}, {908, 0}}));
  EXPECT_EQ(d().PendingCmd, 0);
  OX952Sim_ClearJournal();
  OutputRequestCompleted(p_);
  EXPECT_EQ(OX952Sim_JournalSize(), 0u);
}

TEST_F(Exchange, WrongKindsAndUnassignedChannelsWriteNothingButHandOver) {
  d().Dialog->Karta.CNTEnReg = 0xEE;
  OutputRequest(p_, 6, 2, 5);
  OutputRequest(p_, 50, 5, 1);
  OutputRequest(p_, 0, 5, 1);  // an input channel
  OutputRequest(p_, 59, 5, 1);
  OutputRequest(p_, 1000, 5, 1);
  EXPECT_EQ(OX952Sim_JournalSize(), 0u);
  EXPECT_EQ(Shown(48), "00000111") << "the hand-over happens on every call";
}

TEST_F(Exchange, SimulatedCountersMoveAndAPresetLoads) {
  InputRequestCompleted(p_);
  const uint32_t first = Get(0);
  InputRequestCompleted(p_);
  EXPECT_NE(Get(0), first);
  OutputRequest(p_, 7, 5, 5000);
  OutputRequestCompleted(p_);
  EXPECT_EQ(OX952Sim_Count(0, 1), 5000u);
}

}  // namespace
}  // namespace qvtest

namespace qvtest {
namespace {

// A card library that fails in the middle of the exchange: the n-th byte access raises
// a C++ exception (as a library may), after which it behaves again.
int g_throw_at = 0;
int g_accesses = 0;
uint32_t OX952_CALL FlakyRead(uint32_t address, uint32_t zero) {
  if (++g_accesses == g_throw_at) throw std::runtime_error("read failed");
  return OX952_MemRead(address, zero);
}
uint32_t OX952_CALL FlakyWrite(uint32_t address, uint32_t zero, uint32_t value) {
  if (++g_accesses == g_throw_at) throw std::runtime_error("write failed");
  return OX952_MemWrite(address, zero, value);
}

TEST_F(Exchange, ALibraryExceptionMidCycleLeavesTheInstanceUsable) {
  qv::CardLibrary flaky = *d().Library;
  flaky.MemRead = FlakyRead;
  flaky.MemWrite = FlakyWrite;
  d().Library = &flaky;
  OX952Sim_SetReadByte(0, 512, 0x21);
  OX952Sim_SetReadByte(0, 0, 0x42);

  // The snapshot stops at the failing read: the fields read before it are current, the
  // rest keep the last snapshot, and nothing escapes into the host. The window, with a
  // hand-over not yet copied, shows the records as they were before the failed call.
  OutputRequest(p_, 24, 5, 3);
  g_accesses = 0;
  g_throw_at = 5;
  InputRequestCompleted(p_);
  EXPECT_EQ(Get(0), 0x21u);
  EXPECT_EQ(Get(48), 0u);
  EXPECT_EQ(Shown(24), "0");
  EXPECT_EQ(Shown(48), "00000011");
  // A preset whose write fails stays pending for no load; the next cycle is whole again.
  OutputRequest(p_, 25, 5, 5);
  g_accesses = 0;
  g_throw_at = 2;
  OutputRequest(p_, 7, 5, 300);
  EXPECT_EQ(d().PendingCmd, 0) << "no load for a preset that did not reach the card";
  EXPECT_EQ(d().Karta.CNT1SetReg, 300u);
  EXPECT_EQ(Shown(31), "0");
  EXPECT_EQ(Shown(49), "00000101");
  g_throw_at = 0;
  InputRequestCompleted(p_);
  EXPECT_EQ(Get(48), 0x42u);
  OutputRequest(p_, 7, 5, 300);
  OutputRequestCompleted(p_);
  EXPECT_EQ(OX952Sim_Count(0, 1), 300u);
  d().Library = &qv::ImportedCardLibrary();
}

}  // namespace
}  // namespace qvtest
