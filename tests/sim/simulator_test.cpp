// Configuration, card enumeration, opening and closing, journal and trace.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "tests/sim/sim_test_util.h"
#include "trace/trace_line.h"

namespace qv::sim::test {
namespace {

namespace fs = std::filesystem;

class SimTest : public ::testing::Test {
 protected:
  void SetUp() override { OX952Sim_Reset(); }
  void TearDown() override {
    SetEnv("VODRA_OX952_SIM", "");
    SetEnv("VODRA_OX952_TRACE", "");
    OX952Sim_Reset();
  }

  static fs::path TempFile(const char* name) {
    const fs::path path = fs::temp_directory_path() / name;
    fs::remove(path);
    return path;
  }

  static std::vector<OX952SimCall> Journal() {
    std::vector<OX952SimCall> calls(OX952Sim_JournalSize());
    for (uint32_t i = 0; i < calls.size(); ++i) EXPECT_EQ(OX952Sim_JournalEntry(i, &calls[i]), 0);
    return calls;
  }
};

TEST_F(SimTest, DefaultIsOneFreeLvk5120BAtBus2Slot13) {
  uint32_t count = 0, id = 0, bus = 0, slot = 0;
  ASSERT_EQ(OX952_CardsInSystem(&count), 0u);
  EXPECT_EQ(count, 1u);
  EXPECT_EQ(OX952_Card_DID(0, &id), 0u);
  EXPECT_EQ(OX952_Card_BUS(0, &bus), 0u);
  EXPECT_EQ(OX952_Card_SLOT(0, &slot), 0u);
  EXPECT_EQ(id, 512u);
  EXPECT_EQ(bus, 2u);
  EXPECT_EQ(slot, 13u);
  EXPECT_NE(OX952_Card_DID(1, &id), 0u);
  EXPECT_NE(OX952_CardsInSystem(nullptr), 0u);
  EXPECT_STREQ(OX952Sim_ConfigError(), "");
}

TEST_F(SimTest, ConfigurationListsCardsInOrder) {
  ASSERT_EQ(OX952Sim_Configure("# two cards\r\n"
                               "\n"
                               "card 513 0x01 0x0A        # not of the family\r\n"
                               "  card\t0x210 4 5 in-use\n"
                               "card 530 7 8 free"),
            0)
      << OX952Sim_ConfigError();
  uint32_t count = 0, id = 0, bus = 0, slot = 0;
  ASSERT_EQ(OX952_CardsInSystem(&count), 0u);
  ASSERT_EQ(count, 3u);
  OX952_Card_DID(0, &id);
  OX952_Card_BUS(0, &bus);
  OX952_Card_SLOT(0, &slot);
  EXPECT_EQ(id, 513u);
  EXPECT_EQ(bus, 1u);
  EXPECT_EQ(slot, 10u);
  OX952_Card_DID(1, &id);
  EXPECT_EQ(id, 528u);
  EXPECT_EQ(OX952_Open(1, 0), static_cast<uint32_t>(OX952SIM_ERR_IN_USE));
  EXPECT_EQ(OX952_Open(2, 0), 0u);

  // No card lines: a system without cards, which is not the default.
  ASSERT_EQ(OX952Sim_Configure("# nothing here\n"), 0);
  ASSERT_EQ(OX952_CardsInSystem(&count), 0u);
  EXPECT_EQ(count, 0u);
}

TEST_F(SimTest, BadConfigurationSaysWhereAndFailsTheCount) {
  const struct {
    const char* text;
    const char* error;
  } cases[] = {
      {"card 512 2", "OX952Sim_Configure:1: missing slot"},
      {"card 512 2 0x", "OX952Sim_Configure:1: bad slot '0x'"},
      {"card 512 2 -1", "OX952Sim_Configure:1: bad slot '-1'"},
      {"card 4294967296 2 3", "OX952Sim_Configure:1: bad device ID '4294967296'"},
      {"card 512 2 3 busy", "OX952Sim_Configure:1: expected 'free' or 'in-use', not 'busy'"},
      {"card 512 2 3 free x", "OX952Sim_Configure:1: unexpected 'x'"},
      {"# ok\n\ncard 512 1 1\nfrob", "OX952Sim_Configure:4: unknown keyword 'frob'"},
      {"fault OX952_Foo 1 2", "OX952Sim_Configure:1: unknown function 'OX952_Foo'"},
      {"fault Open 0 2", "OX952Sim_Configure:1: call number must be 1 or more"},
      {"fault Open 1 0", "OX952Sim_Configure:1: a fault's result must be non-zero"},
      {"raise segfault", "OX952Sim_Configure:1: unknown kind 'segfault'"},
      {"raise cpp-exception 0", "OX952Sim_Configure:1: call number must be 1 or more"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_NE(OX952Sim_Configure(c.text), 0);
    EXPECT_EQ(std::string(OX952Sim_ConfigError()).rfind(c.error, 0), 0u) << OX952Sim_ConfigError();
    uint32_t count = 99;
    EXPECT_EQ(OX952_CardsInSystem(&count), static_cast<uint32_t>(OX952SIM_ERR_CONFIG));
    EXPECT_EQ(OX952Sim_CardCount(), 0u);
  }
  EXPECT_NE(OX952Sim_Configure(nullptr), 0);
}

TEST_F(SimTest, ConfigurationFileComesFromTheEnvironment) {
  const fs::path path = TempFile("qv_sim_config.txt");
  std::ofstream(path) << "card 528 3 4\ncard 530 5 6 in-use\n";
  SetEnv("VODRA_OX952_SIM", path.string());
  OX952Sim_Reset();
  uint32_t count = 0, id = 0;
  ASSERT_EQ(OX952_CardsInSystem(&count), 0u);
  EXPECT_EQ(count, 2u);
  OX952_Card_DID(1, &id);
  EXPECT_EQ(id, 530u);

  std::ofstream(path) << "card 528 3 4\ncard 530 5\n";
  OX952Sim_Reset();
  EXPECT_EQ(OX952_CardsInSystem(&count), static_cast<uint32_t>(OX952SIM_ERR_CONFIG));
  EXPECT_EQ(std::string(OX952Sim_ConfigError()), path.string() + ":2: missing slot");

  fs::remove(path);
  OX952Sim_Reset();
  EXPECT_NE(OX952_CardsInSystem(&count), 0u);
  EXPECT_EQ(std::string(OX952Sim_ConfigError()), path.string() + ": cannot be read");

  SetEnv("VODRA_OX952_SIM", "");  // empty is the same as unset: the default card, asked for
  OX952Sim_Reset();
  ASSERT_EQ(OX952_CardsInSystem(&count), 0u);
  EXPECT_EQ(count, 1u);
}

TEST_F(SimTest, FaultHitsOnlyTheNthCallAndResetRestartsTheCount) {
  ASSERT_EQ(OX952Sim_Configure("card 512 2 13\n"
                               "fault OX952_Card_DID 2 7\n"
                               "fault Open 1 9\n"
                               "fault OX952_CardsInSystem 3 1\n"),
            0);
  uint32_t id = 0, count = 0;
  EXPECT_EQ(OX952_Card_DID(0, &id), 0u);
  id = 0;
  EXPECT_EQ(OX952_Card_DID(0, &id), 7u);
  EXPECT_EQ(id, 0u) << "a faulted call stores nothing";
  EXPECT_EQ(OX952_Card_DID(0, &id), 0u);
  EXPECT_EQ(OX952_Open(0, 0), 9u);
  EXPECT_EQ(OX952Sim_OpenCardCount(), 0u) << "a faulted open opens nothing";
  EXPECT_EQ(OX952_Open(0, 0), 0u);
  EXPECT_EQ(OX952_CardsInSystem(&count), 0u);
  EXPECT_EQ(OX952_CardsInSystem(&count), 0u);
  EXPECT_EQ(OX952_CardsInSystem(&count), 1u);
  EXPECT_EQ(OX952_CardsInSystem(&count), 0u);

  ASSERT_EQ(OX952Sim_Configure("card 512 2 13\nfault OX952_Card_DID 2 7\n"), 0);
  EXPECT_EQ(OX952_Card_DID(0, &id), 0u);
  EXPECT_EQ(OX952_Card_DID(0, &id), 7u);
}

TEST_F(SimTest, OpenTwiceFailsAndCloseOfAClosedCardChangesNothing) {
  ASSERT_EQ(OX952Sim_Configure("card 512 2 13\ncard 528 2 14\ncard 530 3 1\n"), 0);
  uint32_t base = 0, second = 0;
  EXPECT_EQ(OX952_BAR11_BaseAdr(0, &base, &second), static_cast<uint32_t>(OX952SIM_ERR_NOT_OPEN));
  EXPECT_EQ(OX952_Close(0), static_cast<uint32_t>(OX952SIM_ERR_NOT_OPEN));
  EXPECT_EQ(OX952Sim_OpenCardCount(), 0u);

  ASSERT_EQ(OX952_Open(0, 0), 0u);
  EXPECT_EQ(OX952_Open(0, 0), static_cast<uint32_t>(OX952SIM_ERR_IN_USE));
  EXPECT_EQ(OX952Sim_OpenCardCount(), 1u);
  EXPECT_NE(OX952_Open(3, 0), 0u);

  // Base addresses: distinct, non-zero, page-aligned, as reported by the test interface.
  std::vector<uint32_t> bases;
  for (uint32_t card = 0; card < 3; ++card) {
    if (card > 0) {
      ASSERT_EQ(OX952_Open(card, 0), 0u);
    }
    ASSERT_EQ(OX952_BAR11_BaseAdr(card, &base, &second), 0u);
    EXPECT_EQ(base, OX952Sim_BaseAddress(card));
    EXPECT_NE(base, 0u);
    EXPECT_EQ(base % 4096, 0u);
    for (uint32_t other : bases) EXPECT_NE(base, other);
    bases.push_back(base);
  }
  EXPECT_EQ(OX952_BAR11_BaseAdr(0, nullptr, &second),
            static_cast<uint32_t>(OX952SIM_ERR_NULL_POINTER));
  EXPECT_EQ(OX952_BAR11_BaseAdr(0, &base, nullptr), 0u);

  EXPECT_EQ(OX952_Close(1), 0u);
  EXPECT_EQ(OX952_Close(1), static_cast<uint32_t>(OX952SIM_ERR_NOT_OPEN));
  EXPECT_EQ(OX952Sim_OpenCardCount(), 2u);
  EXPECT_EQ(OX952Sim_IsOpen(0), 1);
  EXPECT_EQ(OX952Sim_IsOpen(1), 0);
  EXPECT_EQ(OX952_Open(1, 0), 0u) << "a closed card can be opened again";
}

TEST_F(SimTest, AccessOutsideAnOpenWindowReadsZeroAndIsCounted) {
  const uint32_t base0 = OX952Sim_BaseAddress(0);
  EXPECT_EQ(OX952_MemWrite(base0 + 4, 0, 0x55), 0u);
  EXPECT_EQ(OX952_MemRead(base0, 0), 0u);
  EXPECT_EQ(OX952Sim_WrittenByte(0, 4), -1) << "a closed card takes no writes";
  EXPECT_EQ(OX952Sim_ClosedCardAccessCount(), 2u);

  const uint32_t base = OpenCard(0);
  ASSERT_EQ(base, base0);
  OX952Sim_SetReadByte(0, 1020, 0x77);
  EXPECT_EQ(OX952_MemRead(base + 1020, 0), 0x77u);
  EXPECT_EQ(OX952_MemRead(base + 1024, 0), 0u);
  EXPECT_EQ(OX952_MemRead(base - 1, 0), 0u);
  EXPECT_EQ(OX952_MemRead(0, 0), 0u);
  EXPECT_EQ(OX952_MemWrite(base + OX952SIM_BASE_STEP, 0, 1), 0u);  // where a second card would be
  EXPECT_EQ(OX952Sim_ClosedCardAccessCount(), 6u);
}

TEST_F(SimTest, JournalRecordsArgumentsOutValuesAndResults) {
  uint32_t count = 0, id = 0;
  OX952_CardsInSystem(&count);
  OX952_Card_DID(0, &id);
  OX952_Card_SLOT(5, &id);
  const uint32_t base = OpenCard(0);
  OX952_MemWrite(base + 900, 0, 0x107);
  OX952_MemRead(base + 512, 0);
  OX952_Close(0);

  const std::vector<OX952SimCall> calls = Journal();
  ASSERT_EQ(calls.size(), 8u);
  const struct {
    OX952SimFunction function;
    uint32_t args[3];
    uint32_t result;
  } expected[] = {
      {OX952SIM_CardsInSystem, {1, 0, 0}, 0},
      {OX952SIM_Card_DID, {0, 512, 0}, 0},
      {OX952SIM_Card_SLOT, {5, 0, 0}, OX952SIM_ERR_BAD_CARD},
      {OX952SIM_Open, {0, 0, 0}, 0},
      {OX952SIM_BAR11_BaseAdr, {0, base, OX952SIM_WINDOW_SIZE}, 0},
      {OX952SIM_MemWrite, {base + 900, 0, 0x107}, 0},
      {OX952SIM_MemRead, {base + 512, 0, 0}, 0},
      {OX952SIM_Close, {0, 0, 0}, 0},
  };
  for (size_t i = 0; i < calls.size(); ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(calls[i].function, expected[i].function);
    EXPECT_EQ(calls[i].args[0], expected[i].args[0]);
    EXPECT_EQ(calls[i].args[1], expected[i].args[1]);
    EXPECT_EQ(calls[i].args[2], expected[i].args[2]);
    EXPECT_EQ(calls[i].result, expected[i].result);
  }
  OX952SimCall call{};
  EXPECT_NE(OX952Sim_JournalEntry(8, &call), 0);
  EXPECT_NE(OX952Sim_JournalEntry(0, nullptr), 0);
  OX952Sim_ClearJournal();
  EXPECT_EQ(OX952Sim_JournalSize(), 0u);
  EXPECT_EQ(OX952Sim_WrittenByte(0, 900), 0x07) << "clearing the journal keeps the registers";

  EXPECT_STREQ(OX952Sim_FunctionName(OX952SIM_CardsInSystem), "OX952_CardsInSystem");
  EXPECT_STREQ(OX952Sim_FunctionName(OX952SIM_BAR11_BaseAdr), "OX952_BAR11_BaseAdr");
  EXPECT_STREQ(OX952Sim_FunctionName(OX952SIM_MemWrite), "OX952_MemWrite");
}

TEST_F(SimTest, TraceAppendsOneReadableLinePerCall) {
  const fs::path path = TempFile("qv_sim_trace.txt");
  std::ofstream(path) << "earlier line\n";
  SetEnv("VODRA_OX952_TRACE", path.string());
  ASSERT_EQ(OX952Sim_Configure("card 512 2 13\nfault OX952_Card_BUS 1 7\n"), 0);
  uint32_t count = 0, bus = 0;
  OX952_CardsInSystem(&count);
  OX952_Card_BUS(0, &bus);
  const uint32_t base = OpenCard(0);
  ASSERT_EQ(base, 0xD0000000u);
  OX952_MemWrite(base + 900, 0, 7);
  OX952_MemRead(base + 512, 0);
  OX952_Close(0);
  OX952_Close(0);

  // Read while the file is still open: every line is flushed as it is written.
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  const std::vector<std::string> expected = {
      "earlier line",
      "OX952_CardsInSystem(out 1) = 0",
      "OX952_Card_BUS(0, out -) = 7",
      "OX952_Open(0, 0) = 0",
      "OX952_BAR11_BaseAdr(0, out 0xD0000000, out 0x00000400) = 0",
      "OX952_MemWrite(0xD0000384, 0, 0x07) = 0",
      "OX952_MemRead(0xD0000200, 0) = 0x00",
      "OX952_Close(0) = 0",
      "OX952_Close(0) = 4",
  };
  EXPECT_EQ(lines, expected);
}

// The replay reads lines back with the letters that wrote them: what it accepts is exactly
// what the formatter writes, so that a broken line is reported, never answered from.
TEST(TraceLineTest, ParsedLinesFormatBackAndBrokenOnesAreRefused) {
  const struct {
    const char* line;
    bool ok;
  } cases[] = {
      {"OX952_CardsInSystem(out 4294967295) = 0", true},
      {"OX952_BAR11_BaseAdr(1, out 0xD0010000, out -) = 7", true},
      {"OX952_MemRead(0xD0000200, 0) = 0xFFFFFFFF", true},
      {"OX952_MemWrite(0xD0000200, 0, 0xE8) ...", true},
      {"OX952_CardsInSystem(out -) raises access-violation", true},
      {"OX952_CardsInSystem(out 4294967296) = 0", false},
      {"OX952_MemRead(0xD0000200, 0) = 0x1FFFFFFFF", false},
      {"OX952_MemRead(0xD00002X0, 0) = 0x01", false},
      {"OX952_MemRead(0xD0000200, 0) = 1", false},
      {"OX952_Card_DID(0, 512) = 0", false},
      {"OX952_Open(0, 0) = 0 ", false},
      {"OX952_Open(0, 0) ", false},
      {"OX952_Open(0) = 0", false},
      {"OX952_Open(-1, 0) = 0", false},
      {"OX952_Opens(0, 0) = 0", false},
      {"OX952_MemWri", false},
  };
  for (const auto& c : cases) {
    trace::TraceCall call;
    trace::Ending ending;
    std::string_view raised;
    ASSERT_EQ(trace::ParseTraceLine(c.line, &call, &ending, &raised), c.ok) << c.line;
    if (!c.ok) continue;
    char line[192];
    trace::FormatTraceLine(call, ending, line, sizeof line, raised);
    EXPECT_STREQ(line, c.line);
  }
  // Every function of the one list, under every ending that the tracer and the simulator
  // write, reads back as written; the call alone, as reports show it, is no trace line.
  for (uint32_t f = 0; f < trace::kFunctionCount; ++f) {
    const trace::TraceCall call{
        .function = f, .args = {1, 0xD0000200, 0xFF}, .stored = 6, .result = 0x10};
    for (const trace::Ending ending : {trace::Ending::kResult, trace::Ending::kInFlight,
                                       trace::Ending::kRaises, trace::Ending::kNone}) {
      char line[192], again[192];
      trace::FormatTraceLine(call, ending, line, sizeof line, "cpp-exception");
      trace::TraceCall back;
      trace::Ending back_ending;
      std::string_view raised;
      ASSERT_EQ(trace::ParseTraceLine(line, &back, &back_ending, &raised),
                ending != trace::Ending::kNone)
          << line;
      if (ending == trace::Ending::kNone) continue;
      EXPECT_EQ(back_ending, ending) << line;
      trace::FormatTraceLine(back, back_ending, again, sizeof again, raised);
      EXPECT_STREQ(again, line);
    }
  }
  // The tracing library's marks of a run read back as what they are; anything near them is a
  // plain note.
  const struct {
    const char* line;
    trace::RunMark mark;
  } marks[] = {
      {"# process 4242 starts", trace::RunMark::kStart},
      {"# process 4294967295 ends cleanly", trace::RunMark::kEnd},
      {"# process 4242 starts now", trace::RunMark::kNone},
      {"# process -1 starts", trace::RunMark::kNone},
      {"# process 4242 ends", trace::RunMark::kNone},
      {"#process 4242 starts", trace::RunMark::kNone},
  };
  for (const auto& m : marks) {
    ASSERT_EQ(trace::ParseRunMark(m.line), m.mark) << m.line;
    if (m.mark == trace::RunMark::kNone) continue;
    char line[64];
    trace::FormatRunMark(m.mark, std::strtoul(m.line + 10, nullptr, 10), line, sizeof line);
    EXPECT_STREQ(line, m.line);
  }
  EXPECT_EQ(trace::TimeStampLength("2026-12-08 05:48:45.376 OX952_Close(0) = 0"), 24u);
  EXPECT_EQ(trace::TimeStampLength("2026-12-08 05:48:45.37 OX952_Close(0) = 0"), 0u);
}

}  // namespace
}  // namespace qv::sim::test
