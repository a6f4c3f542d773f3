// The lifecycle exports as the host calls them, with the simulator behind the driver.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <map>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "driver_support.h"
#include "host/loader.h"
#include "host/pump.h"
#include "monitor/layout.h"

namespace qvtest {
namespace {

namespace fs = std::filesystem;

class Lifecycle : public ::testing::Test {
 protected:
  void SetUp() override { OX952Sim_Reset(); }
  void TearDown() override {
    for (PData p : made_) {
      Done(p);
      DisposeDriver(p);
    }
  }
  PData Make() {
    made_.push_back(MakeDriver());
    return made_.back();
  }
  std::string Write(const Ini& ini, const std::string& name = "p.ini") {
    const std::string path = dir_.File(name);
    WriteBytes(path, ini.Bytes());
    return path;
  }
  std::string LogTo(const std::string& name) const {
    return "Povolen=1\r\nNázev souboru=" + dir_.File(name) + "\r\n";
  }

  TempDir dir_;
  std::vector<PData> made_;
};

TEST(Describe, VersionCheckAndDriverInfo) {
  EXPECT_EQ(Version(), 0x00030000u);
  EXPECT_EQ(Check(), 1);
  char buffer[40];
  std::memset(buffer, 0x7E, sizeof buffer);
  EXPECT_EQ(GetDriverInfo(0, buffer), buffer);
  EXPECT_EQ(std::string(buffer), qv::text::kDriverInfo.view());
  EXPECT_EQ(std::strlen(buffer), 24u);
  EXPECT_EQ(buffer[25], 0x7E) << "exactly 25 bytes written";
  EXPECT_EQ(GetDriverInfo(0, nullptr), nullptr);
}

TEST(Describe, QueryProcAnswersOnlyTheExactQuery) {
  char buffer[32];
  auto ask = [&](int32_t code, const char* name, int32_t kind) {
    std::memset(buffer, 0, sizeof buffer);
    THostValue v{kind, reinterpret_cast<uintptr_t>(buffer)};
    QueryProc(0, code, name, 0, &v);
    return std::string(buffer);
  };
  EXPECT_EQ(ask(11, "GetVersion", 11), qv::text::kDriverInfo.view());
  EXPECT_EQ(ask(11, "getversion", 11), "");
  EXPECT_EQ(ask(10, "GetVersion", 11), "");
  EXPECT_EQ(ask(11, "GetVersion", 5), "");
  EXPECT_EQ(ask(11, "", 11), "");
  EXPECT_EQ(ask(11, nullptr, 11), "");
  QueryProc(0, 11, "GetVersion", 0, nullptr);  // no record: nothing
  THostValue empty{11, 0};
  QueryProc(0, 11, "GetVersion", 0, &empty);  // no buffer: nothing
}

TEST(Describe, ExchangeHelpersTouchNothing) {
  EXPECT_EQ(BufferInfo(), 0u);
  int32_t status = 99;
  EXPECT_EQ(InputFinalized(nullptr, nullptr, &status), 1);
  EXPECT_EQ(status, 0);
  status = 99;
  EXPECT_EQ(OutputFinalized(nullptr, nullptr, &status), 1);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(InputFinalized(nullptr, nullptr, nullptr), 1);
  SetBufferAddr(nullptr);
  InputRequest(nullptr);
}

TEST(NullInstance, InitReportsAndCutsTheText) {
  char buffer[64];
  std::memset(buffer, 0x55, sizeof buffer);
  EXPECT_EQ(Init(nullptr, 0, "x.ini", 10, buffer, 0, 0, 0, 0), 0);
  EXPECT_EQ(std::string(buffer), qv::text::kInitNullPData.view().substr(0, 10));
  EXPECT_EQ(buffer[11], 0x55);

  std::memset(buffer, 0x55, sizeof buffer);
  EXPECT_EQ(Init(nullptr, 0, "x.ini", 0, buffer, 0, 0, 0, 0), 0);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(buffer[1], 0x55);
  EXPECT_EQ(Init(nullptr, 0, "x.ini", 10, nullptr, 0, 0, 0, 0), 0);
}

TEST(NullInstance, EveryExportDoesNothing) {
  OX952Sim_Reset();
  Done(nullptr);
  DisposeDriver(nullptr);
  InputRequestCompleted(nullptr);
  THostValue v{5, 1234};
  GetInput(nullptr, 0, &v);
  EXPECT_EQ(v.Value, 1234u);
  OutputRequest(nullptr, 6, 5, 1);
  OutputRequestCompleted(nullptr);
  DriverProc(nullptr, 1, 0, 0, 0, 0);
  EXPECT_EQ(OX952Sim_JournalSize(), 0u);
}

TEST_F(Lifecycle, NewInstanceState) {
  qv::TData& d = Instance(Make());
  EXPECT_EQ(d.Busy, 1);
  EXPECT_EQ(d.DialogCreated, 0);
  EXPECT_FALSE(d.Dialog);
  EXPECT_EQ(d.Karta.Opened, 0);
  EXPECT_EQ(d.CFGData.AutoDetect, 0);
  EXPECT_EQ(d.PendingCmd, 0);
}

TEST_F(Lifecycle, MissingParameterFileFailsWithoutLogOrCard) {
  PData p = Make();
  const auto r = CallInit(p, dir_.File("none.ini"));
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, qv::text::kBadParameterFile.view());
  EXPECT_EQ(OX952Sim_JournalSize(), 0u);
  EXPECT_EQ(CallInit(p, "").error, qv::text::kBadParameterFile.view());
  char buffer[64] = "untouched";
  EXPECT_EQ(Init(p, 0, nullptr, 63, buffer, 0, 0, 0, 0), 0);
  EXPECT_EQ(std::string(buffer), qv::text::kBadParameterFile.view());
}

TEST_F(Lifecycle, ParameterErrorReachesTheHostAndKeepsCFGData) {
  PData p = Make();
  Ini ini;
  ini.card = "Automatická detekce=1\r\nBUS=300\r\n";
  const auto r = CallInit(p, Write(ini));
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, ToCp1250("Chyba parametrického souboru - Nastavení karty / BUS = 300."));
  EXPECT_EQ(Instance(p).CFGData.Bus, 0);
}

TEST_F(Lifecycle, DemoInstanceNeverTouchesTheLibrary) {
  PData p = Make();
  Ini ini;
  ini.card = "Automatická detekce=0\r\nBUS=3\r\nSLOT=12\r\nDemo režim=7\r\n";
  ini.extra = "CNT0RngReg=1000\r\nCNTEnReg=0x15\r\n";
  char buffer[64] = "host text";
  ASSERT_EQ(Init(p, 0, Write(ini).c_str(), 63, buffer, 6, 7, 8, 9), 1);
  EXPECT_STREQ(buffer, "host text") << "success leaves the buffer alone";
  qv::TData& d = Instance(p);
  EXPECT_EQ(d.Busy, 0);
  EXPECT_EQ(d.Karta.CardName, "???");
  EXPECT_EQ(d.CFGData.ActualBus, 3);
  EXPECT_EQ(d.CFGData.ActualSlot, 12);
  EXPECT_EQ(d.Karta.CNT0RngReg, 1000u);
  EXPECT_EQ(d.InitArg6, 6);
  EXPECT_EQ(d.InitArg8, 8);
  EXPECT_EQ(d.InitArg9, 9);
  ASSERT_TRUE(d.Dialog);
  EXPECT_EQ(d.Dialog->Caption(), std::string(qv::text::kWindowCaption.view()) + " (3/12)" +
                                     std::string(qv::text::kDemoSuffix.view()));
  // The exchange is shut in demo mode; only GetInput answers, from zeros.
  InputRequestCompleted(p);
  OutputRequest(p, 6, 5, 5);
  OutputRequestCompleted(p);
  THostValue v{5, 77};
  GetInput(p, 0, &v);
  EXPECT_EQ(v.Value, 0u);
  Done(p);
  EXPECT_FALSE(d.Dialog);
  EXPECT_EQ(OX952Sim_JournalSize(), 0u);
}

TEST_F(Lifecycle, CardInstanceOpensProgramsAndCloses) {
  PData p = Make();
  Ini ini;
  ini.log = LogTo("drv.log");
  const auto r = CallInit(p, Write(ini));
  ASSERT_TRUE(r.ok) << qv::Cp1250ToUtf8(r.error);
  qv::TData& d = Instance(p);
  EXPECT_EQ(d.Karta.Opened, 1);
  EXPECT_EQ(d.Karta.CardName, "LVK-5120B");
  EXPECT_EQ(d.CFGData.ActualBus, 2);
  EXPECT_EQ(d.CFGData.ActualSlot, 13);
  EXPECT_EQ(d.Karta.BaseAddr, OX952Sim_BaseAddress(0));
  EXPECT_EQ(d.Dialog->Caption(), std::string(qv::text::kWindowCaption.view()) + " (2/13)");
  EXPECT_EQ(d.Dialog->LabelText(qv::kLabelCardText), "LVK-5120B  (2/13)") << "the window's records";
  EXPECT_EQ(CountCalls(OX952SIM_MemWrite), 53);
  EXPECT_EQ(OX952Sim_OpenCardCount(), 1u);
  Done(p);
  EXPECT_EQ(OX952Sim_OpenCardCount(), 0u);
  EXPECT_EQ(OX952Sim_ClosedCardAccessCount(), 0u);

  const std::string log = ReadBytes(dir_.File("drv.log"));
  EXPECT_NE(log.find(std::string("(Qv_lvk5120x 2/13) ") +
                     std::string(qv::text::kInitSucceeded.view()) + "\r\n"),
            std::string::npos)
      << log;
}

// Instances on host threads, each selecting its own card by bus and slot, over a library whose
// Open and Close take a while: the search opens the cards ahead of the chosen one, and no
// other search may meet one of them then and take it for a card in use.
TEST_F(Lifecycle, InstancesOnThreadsEachOpenTheirOwnCard) {
  ASSERT_EQ(OX952Sim_Configure("card 512 2 13\ncard 528 3 1\ncard 530 5 2\ncard 512 6 4\n"), 0);
  OX952Sim_SetOpenCloseDuration(200);
  constexpr int kRounds = 10;
  const std::pair<int, int> cards[] = {{2, 13}, {3, 1}, {5, 2}, {6, 4}};
  std::vector<std::string> paths;
  for (const auto& [bus, slot] : cards) {
    Ini ini;
    ini.card = "Automatická detekce=0\r\nBUS=" + std::to_string(bus) +
               "\r\nSLOT=" + std::to_string(slot) + "\r\nDemo režim=0\r\n";
    paths.push_back(Write(ini, "card" + std::to_string(bus) + ".ini"));
  }
  std::atomic<int> failed{0};
  std::vector<std::thread> hosts;
  for (const std::string& path : paths) {
    hosts.emplace_back([&failed, path] {
      for (int round = 0; round < kRounds; ++round) {
        PData p = MakeDriver();
        failed += !CallInit(p, path).ok;
        Done(p);
        DisposeDriver(p);
      }
    });
  }
  for (std::thread& host : hosts) host.join();
  OX952Sim_SetOpenCloseDuration(0);
  EXPECT_EQ(failed, 0) << "of " << kRounds * 4 << " Init calls";
  EXPECT_EQ(OX952Sim_OpenCardCount(), 0u);
}

// A host that closes and opens its project unloads the driver and loads it again. Nothing of
// an unloaded driver may stay behind where the host's loop would reach it: a window, a timer.
TEST_F(Lifecycle, UnloadedAndLoadedAgainWithTheWindowShown) {
  const std::string ini = Write(Ini{});
  for (int round = 0; round < 4; ++round) {
    {
      const qvhost::Library driver(
          qvhost::DefaultDriverPath(::testing::internal::GetArgvs()[0].c_str()));
      ASSERT_TRUE(driver.Loaded()) << driver.Error();
      const auto make = reinterpret_cast<decltype(&MakeDriver)>(driver.Find("MakeDriver"));
      const auto init = reinterpret_cast<decltype(&Init)>(driver.Find("Init"));
      const auto proc = reinterpret_cast<decltype(&DriverProc)>(driver.Find("DriverProc"));
      const auto done = reinterpret_cast<decltype(&Done)>(driver.Find("Done"));
      const auto dispose = reinterpret_cast<decltype(&DisposeDriver)>(driver.Find("DisposeDriver"));
      ASSERT_TRUE(make && init && proc && done && dispose);
      PData p = make();
      char error[256] = {};
      ASSERT_TRUE(init(p, 0, ini.c_str(), sizeof error, error, 0, 0, 0, 0)) << error;
      proc(p, 1, 0, 0, 0, 0);
      for (int i = 0; i < 20; ++i) {  // the window's timer ticks
        qv::PumpWindowMessages();
        qvhost::SleepMs(10);
      }
      done(p);
      dispose(p);
    }
    for (int i = 0; i < 20; ++i) {  // a timer left behind would now run unloaded code
      qv::PumpWindowMessages();
      qvhost::SleepMs(10);
    }
  }
  EXPECT_EQ(OX952Sim_OpenCardCount(), 0u);
}

TEST_F(Lifecycle, EachParameterRegisterValueReachesItsOwnRegister) {
  // Sixteen distinct values: a value that lands on another register's offset shows.
  struct Case {
    const char* key;
    uint32_t value;
    uint32_t offset;
    int width;
  };
  const Case cases[] = {
      {"CNT0RngReg", 0x010203, 528, 24}, {"CNT1RngReg", 0x040506, 656, 24},
      {"CNT2RngReg", 0x070809, 784, 24}, {"CNT0CMP1", 0x0A0B0C, 544, 24},
      {"CNT1CMP1", 0x0D0E0F, 672, 24},   {"CNT2CMP1", 0x101112, 800, 24},
      {"CNT0CMP2", 0x131415, 560, 24},   {"CNT1CMP2", 0x161718, 688, 24},
      {"CNT2CMP2", 0x191A1B, 816, 24},   {"CNT0CWReg", 0x1C, 624, 8},
      {"CNT1CWReg", 0x1D, 752, 8},       {"CNT2CWReg", 0x1E, 880, 8},
      {"CNTEnReg", 0x1F, 896, 8},        {"CMPEnReg", 0x21, 912, 8},
      {"XSTREnReg", 0x22, 400, 8},       {"RTDOCfgReg", 0x23, 932, 8},
  };
  Ini ini;
  for (const Case& c : cases)
    ini.extra += std::string(c.key) + "=" + std::to_string(c.value) + "\r\n";
  PData p = Make();
  ASSERT_TRUE(CallInit(p, Write(ini)).ok);
  const uint32_t base = OX952Sim_BaseAddress(0);
  std::map<uint32_t, std::vector<uint32_t>> written;  // offset -> bytes, in order
  for (uint32_t i = 0; i < OX952Sim_JournalSize(); ++i) {
    OX952SimCall c{};
    OX952Sim_JournalEntry(i, &c);
    if (c.function == OX952SIM_MemWrite) written[c.args[0] - base].push_back(c.args[2]);
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.key);
    for (int byte = 0; byte < c.width / 8; ++byte)
      EXPECT_EQ(written[c.offset + 4u * byte],
                std::vector<uint32_t>{(c.value >> (8 * byte)) & 0xFF})
          << "offset " << c.offset + 4u * byte;
  }
}

TEST_F(Lifecycle, SecondDoneClosesNothingAndReportsTheWindow) {
  PData p = Make();
  Ini ini;
  ini.log = LogTo("drv.log");
  ASSERT_TRUE(CallInit(p, Write(ini)).ok);
  Done(p);
  Done(p);
  EXPECT_EQ(CountCalls(OX952SIM_Close), 1);
  const std::string log = ReadBytes(dir_.File("drv.log"));
  EXPECT_NE(log.find(qv::text::kWindowFreeFailed.view()), std::string::npos);
  // After Done the exchange leaves the closed card alone.
  const uint32_t before = OX952Sim_JournalSize();
  InputRequestCompleted(p);
  OutputRequest(p, 6, 5, 1);
  OutputRequestCompleted(p);
  DriverProc(p, 1, 0, 0, 0, 0);
  EXPECT_EQ(OX952Sim_JournalSize(), before);
}

TEST_F(Lifecycle, SecondInitReleasesTheFirstCardAndWindow) {
  PData p = Make();
  const std::string path = Write(Ini{});
  ASSERT_TRUE(CallInit(p, path).ok);
  ASSERT_TRUE(CallInit(p, path).ok) << "the card is free again for the second Init";
  EXPECT_EQ(OX952Sim_OpenCardCount(), 1u);
  EXPECT_EQ(CountCalls(OX952SIM_Close), 1);
}

TEST_F(Lifecycle, LogFileThatCannotBeOpenedFailsInitButKeepsCardAndWindow) {
  PData p = Make();
  Ini ini;
  ini.log = LogTo("ro.log");
  WriteBytes(dir_.File("ro.log"), "old line\r\n");
  fs::permissions(dir_.File("ro.log"), fs::perms::owner_read | fs::perms::group_read);
  const auto r = CallInit(p, Write(ini));
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, qv::text::kLogCannotOpen.view());
  qv::TData& d = Instance(p);
  EXPECT_EQ(d.Busy, 1);
  EXPECT_EQ(d.Karta.Opened, 1);
  EXPECT_TRUE(d.Dialog);
  InputRequestCompleted(p);  // still shut
  EXPECT_EQ(CountCalls(OX952SIM_MemRead), 0);
  Done(p);
  EXPECT_EQ(OX952Sim_OpenCardCount(), 0u);
  EXPECT_FALSE(d.Dialog);
}

uint32_t OX952_CALL ThrowingWrite(uint32_t, uint32_t, uint32_t) {
  throw std::runtime_error("write failed");
}
uint32_t OX952_CALL ThrowingBaseAddress(uint32_t, uint32_t*, uint32_t*) {
  throw std::runtime_error("no base address");
}

// Unlike a card whose Init failed later, a card that was opened but could not be
// programmed, or whose base address the library threw on, is not kept for Done: it is
// closed at once.
TEST_F(Lifecycle, CardWhoseLibraryThrowsIsClosedAtOnce) {
  for (const bool in_discovery : {false, true}) {
    SCOPED_TRACE(in_discovery ? "base address" : "programming");
    OX952Sim_Reset();
    PData p = Make();
    qv::CardLibrary throwing = qv::ImportedCardLibrary();
    if (in_discovery) {
      throwing.BAR11_BaseAdr = ThrowingBaseAddress;
    } else {
      throwing.MemWrite = ThrowingWrite;
    }
    Instance(p).Library = &throwing;
    Ini ini;
    const std::string log = in_discovery ? "base.log" : "programming.log";
    ini.log = LogTo(log);
    const auto r = CallInit(p, Write(ini));
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.error, qv::text::kCardLibraryError.view());
    EXPECT_NE(ReadBytes(dir_.File(log)).find(qv::text::kCardLibraryError.view()),
              std::string::npos);
    EXPECT_EQ(OX952Sim_OpenCardCount(), 0u);
    EXPECT_EQ(Instance(p).Karta.Opened, 0);
    EXPECT_FALSE(Instance(p).Dialog);
    Done(p);
    EXPECT_EQ(CountCalls(OX952SIM_Close), 1) << "Done has nothing left to close";
    Instance(p).Library = &qv::ImportedCardLibrary();
  }
}

TEST_F(Lifecycle, DiscoveryFailureIsLoggedOrReplacedByTheLogText) {
  PData p = Make();
  Ini ini;
  ini.card = "Automatická detekce=0\r\nBUS=9\r\nSLOT=9\r\n";
  ini.log = LogTo("drv.log");
  // Each way a search ends without a card, in the host's words.
  const std::pair<const char*, std::string_view> searches[] = {
      {"", qv::text::kNoVodraCard},
      {"card 513 9 9\n", qv::text::kNoFamilyCard},
      {"card 528 9 9 in-use\n", qv::text::kCardInUse},
      {"card 530 9 9\nfault OX952_Card_SLOT 1 5\n", qv::text::kCardLibraryError},
      {"card 512 2 13\n", qv::text::kRequestedCardMissing}};
  for (const auto& [cards, text] : searches) {
    ASSERT_EQ(OX952Sim_Configure(cards), 0) << cards;
    EXPECT_EQ(CallInit(p, Write(ini)).error, text) << cards;
  }
  EXPECT_NE(ReadBytes(dir_.File("drv.log"))
                .find("(Qv_lvk5120x 9/9) " + std::string(qv::text::kRequestedCardMissing.view())),
            std::string::npos);

  ini.log = "Povolen=1\r\nNázev souboru=" + dir_.File("no/such/dir/drv.log") + "\r\n";
  const auto r = CallInit(p, Write(ini));
  EXPECT_EQ(r.error, qv::text::kLogCannotCreate.view());
  EXPECT_EQ(OX952Sim_OpenCardCount(), 0u);
}

TEST_F(Lifecycle, DisposeLogsTheRelease) {
  PData p = MakeDriver();
  Ini ini;
  ini.card = "Automatická detekce=1\r\nDemo režim=1\r\n";
  ini.log = LogTo("drv.log");
  ASSERT_TRUE(CallInit(p, Write(ini)).ok);
  Done(p);
  ASSERT_TRUE(CallInit(p, Write(ini)).ok);
  Done(p);
  DisposeDriver(p);
  const std::string log = ReadBytes(dir_.File("drv.log"));
  EXPECT_NE(log.find(std::string(") ") + std::string(qv::text::kDriverDisposed.view()) + "\r\n"),
            std::string::npos);
  EXPECT_EQ(log.find(qv::text::kWindowFreeFailed.view()), std::string::npos)
      << "a window that Done freed is not reported as lost";
}

// Each library function failing at each position it is called during Init: Init fails
// with the library text (or the in-use text for Open) and leaves no card open.
TEST_F(Lifecycle, FaultInjectionSweepThroughInit) {
  const std::string path = Write(Ini{});
  const char* functions[] = {"OX952_CardsInSystem", "OX952_Card_DID", "OX952_Card_BUS",
                             "OX952_Card_SLOT",     "OX952_Open",     "OX952_BAR11_BaseAdr"};
  int injected = 0;
  for (const char* fn : functions) {
    for (int nth = 1; nth <= 2; ++nth) {
      const std::string cfg = "card 0x100 0 1\ncard 512 2 13\ncard 528 4 5\nfault " +
                              std::string(fn) + " " + std::to_string(nth) + " 9\n";
      ASSERT_EQ(OX952Sim_Configure(cfg.c_str()), 0) << OX952Sim_ConfigError();
      PData p = MakeDriver();
      const auto r = CallInit(p, path);
      SCOPED_TRACE(std::string(fn) + " #" + std::to_string(nth));
      if (r.ok) {
        EXPECT_EQ(OX952Sim_OpenCardCount(), 1u);
      } else {
        ++injected;
        EXPECT_EQ(OX952Sim_OpenCardCount(), 0u);
        EXPECT_TRUE(r.error == qv::text::kCardLibraryError.view() ||
                    r.error == qv::text::kCardInUse.view())
            << qv::Cp1250ToUtf8(r.error);
      }
      Done(p);
      DisposeDriver(p);
      EXPECT_EQ(OX952Sim_OpenCardCount(), 0u);
    }
  }
  EXPECT_GE(injected, 6);
}

// Across the library boundary, as the host gets it: whatever leaves the library's count call
// is the library error, what it handles itself is not; again and again in one process.
TEST_F(Lifecycle, RaisedFaultInTheCountCallIsReportedAndSurvived) {
  const std::string path = Write(Ini{});
  const struct {
    const char* kind;
    bool escapes;
  } kinds[] = {{"access-violation", true},  {"illegal-instruction", true},
               {"divide-by-zero", true},    {"cpp-exception", true},
               {"foreign-exception", true}, {"handled-exception", false}};
  for (const auto& k : kinds) {
    for (int round = 0; round < 5; ++round) {
      ASSERT_EQ(
          OX952Sim_Configure((std::string("card 512 2 13\nraise ") + k.kind + " 1\n").c_str()), 0);
      PData p = Make();
      const auto r = CallInit(p, path);
      EXPECT_EQ(r.ok, !k.escapes) << k.kind;
      if (k.escapes) {
        EXPECT_EQ(r.error, qv::text::kCardLibraryError.view()) << k.kind;
        // The library behaves again at its second call.
        EXPECT_TRUE(CallInit(p, path).ok) << k.kind;
      }
      EXPECT_EQ(OX952Sim_OpenCardCount(), 1u) << k.kind;
      Done(p);
    }
  }
}

}  // namespace
}  // namespace qvtest
