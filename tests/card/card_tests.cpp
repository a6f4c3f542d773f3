// Discovery, register primitives and the initial programming, asserted on the call journal.
#include <gtest/gtest.h>

#include <atomic>
#include <cfenv>
#include <cstdio>
#include <functional>
#include <thread>

#include "card/discovery.h"
#include "card/registers.h"
#include "fake_library.h"
#include "library_behaviour.h"
#include "library_behaviour_common.h"

using qvtest::FakeCard;
using qvtest::FakeLibrary;

namespace {

struct Found {
  bool ok = false;
  uint32_t did = 0xDEAD, index = 0xDEAD, base = 0xDEAD;
  int32_t bus = 0, slot = 0;
  qv::TCardSearch outcome = qv::TCardSearch::Found;
};

Found Find(uint8_t mode, int32_t bus, int32_t slot) {
  Found f;
  f.bus = bus;
  f.slot = slot;
  const qv::TFoundCard r = qv::FindCard(
      FakeLibrary::Table(), mode == 1 ? qv::TCardChoice::FirstOfFamily : qv::TCardChoice::AtBusSlot,
      bus, slot);
  f.ok = r.Outcome == qv::TCardSearch::Found;
  f.outcome = r.Outcome;
  if (f.ok) {
    f.did = r.DeviceID;
    f.bus = r.Bus;
    f.slot = r.Slot;
    f.index = r.CardIndex;
    f.base = r.BaseAddr;
  }
  return f;
}

class Discovery : public ::testing::Test {
 protected:
  FakeLibrary& lib = FakeLibrary::Get();
};

TEST_F(Discovery, AutoDetectChoosesFirstFamilyCardAndReturnsItsPosition) {
  lib.Reset({{0x1234, 0, 1}, {528, 4, 9}, {512, 2, 13}});
  const Found f = Find(1, 77, 88);
  ASSERT_TRUE(f.ok);
  EXPECT_EQ(f.did, 528u);
  EXPECT_EQ(f.index, 1u);
  EXPECT_EQ(f.bus, 4);
  EXPECT_EQ(f.slot, 9);
  EXPECT_EQ(f.base, 0x20000u);
  EXPECT_EQ(lib.Joined(), "Count DID(0) DID(1) BUS(1) SLOT(1) Open(1) BAR(1)");
  EXPECT_EQ(lib.OpenCount(), 1);
}

TEST_F(Discovery, SelectModeOpensAndClosesEveryFamilyCardAheadOfTheRequestedOne) {
  lib.Reset({{512, 1, 1}, {530, 2, 13}});
  const Found f = Find(0, 2, 13);
  ASSERT_TRUE(f.ok);
  EXPECT_EQ(f.index, 1u);
  EXPECT_EQ(f.did, 530u);
  EXPECT_EQ(
      lib.Joined(),
      "Count DID(0) BUS(0) SLOT(0) Open(0) BAR(0) Close(0) DID(1) BUS(1) SLOT(1) Open(1) BAR(1)");
  EXPECT_EQ(lib.OpenCount(), 1);
}

TEST_F(Discovery, SelectModeWithTheRequestedCardMissing) {
  lib.Reset({{512, 2, 13}});
  const Found f = Find(0, 0, 0);
  EXPECT_FALSE(f.ok);
  EXPECT_EQ(f.outcome, qv::TCardSearch::RequestedMissing);
  EXPECT_EQ(lib.Joined(), "Count DID(0) BUS(0) SLOT(0) Open(0) BAR(0) Close(0)");
  EXPECT_EQ(lib.OpenCount(), 0);
}

TEST_F(Discovery, OtherDeviceIdsArePassedOverEvenAtTheRequestedSlot) {
  lib.Reset({{513, 2, 13}, {529, 2, 13}, {531, 2, 13}});
  Found f = Find(0, 2, 13);
  EXPECT_FALSE(f.ok);
  EXPECT_EQ(f.outcome, qv::TCardSearch::NoFamilyCard);
  EXPECT_EQ(lib.Joined(), "Count DID(0) DID(1) DID(2)");

  lib.Reset({{513, 2, 13}, {512, 5, 5}});
  f = Find(0, 2, 13);
  EXPECT_EQ(f.outcome, qv::TCardSearch::RequestedMissing);
}

TEST_F(Discovery, AutoDetectStopsAtAFirstCardInUse) {
  lib.Reset({{512, 1, 1, true}, {512, 2, 2}});
  const Found f = Find(1, 0, 0);
  EXPECT_FALSE(f.ok);
  EXPECT_EQ(f.outcome, qv::TCardSearch::InUse);
  EXPECT_EQ(lib.Joined(), "Count DID(0) BUS(0) SLOT(0) Open(0)");
  EXPECT_EQ(lib.OpenCount(), 0);
}

TEST_F(Discovery, NoCardsAtAll) {
  lib.Reset({});
  const Found f = Find(1, 0, 0);
  EXPECT_FALSE(f.ok);
  EXPECT_EQ(f.outcome, qv::TCardSearch::NoCard);
}

TEST_F(Discovery, BaseAddressFailureClosesTheCardFirst) {
  lib.Reset({{512, 1, 1}, {512, 2, 13}});
  lib.fail["BAR"] = {1, 7};
  const Found f = Find(0, 2, 13);
  EXPECT_FALSE(f.ok);
  EXPECT_EQ(f.outcome, qv::TCardSearch::LibraryError);
  EXPECT_EQ(lib.Joined(), "Count DID(0) BUS(0) SLOT(0) Open(0) BAR(0) Close(0)");
  EXPECT_EQ(lib.OpenCount(), 0);
}

// Every library function failing at every position it is called: always the library
// text (or the in-use text for Open), and never a card left open.
TEST_F(Discovery, FaultSweepLeavesNoCardOpen) {
  const std::vector<FakeCard> cards = {{0x99, 0, 0}, {512, 1, 1}, {528, 3, 4}};
  int failures = 0;
  for (const char* fn : {"Count", "DID", "BUS", "SLOT", "Open", "BAR"}) {
    for (int nth = 1; nth <= 3; ++nth) {
      for (uint8_t mode : {0, 1}) {
        lib.Reset(cards);
        lib.fail[fn] = {nth, 5};
        const Found f = Find(mode, 3, 4);
        SCOPED_TRACE(std::string(fn) + " #" + std::to_string(nth) + " mode " +
                     std::to_string(mode));
        EXPECT_EQ(lib.OpenCount(), f.ok ? 1 : 0);
        if (f.ok) continue;
        ++failures;
        const bool in_use = std::string(fn) == "Open";
        EXPECT_EQ(f.outcome, in_use ? qv::TCardSearch::InUse : qv::TCardSearch::LibraryError);
      }
    }
  }
  EXPECT_GE(failures, 15);
}

TEST(CardModelName, KnownAndUnknownDeviceIds) {
  EXPECT_EQ(qv::CardModelName(0), "???");
  EXPECT_EQ(qv::CardModelName(512), "LVK-5120B");
  EXPECT_EQ(qv::CardModelName(513), "LVK-5120B");
  EXPECT_EQ(qv::CardModelName(529), "LVK-5120C");
  EXPECT_EQ(qv::CardModelName(530), "LVK-5120E");
  EXPECT_EQ(qv::CardModelName(531), "LVK-5120E");
  EXPECT_EQ(qv::CardModelName(0x10200), "???");
}

TEST(Registers, TwentyFourBitAccessesGoLowByteFirst) {
  auto& lib = FakeLibrary::Get();
  lib.Reset();
  lib.read_bytes = {{0x1000 + 512, 0x12}, {0x1000 + 516, 0x34}, {0x1000 + 520, 0x56}};
  EXPECT_EQ(qv::ReadReg24(FakeLibrary::Table(), 0x1000, 512), 0x563412u);
  EXPECT_EQ(qv::ReadReg8(FakeLibrary::Table(), 0x1000, 516), 0x34u);
  qv::WriteReg24(FakeLibrary::Table(), 0x1000, 528, 0xAB123456u);
  EXPECT_EQ(lib.Joined(), "R1200 R1204 R1208 R1204 W1210=56 W1214=34 W1218=12");
}

TEST(Registers, InitCardWritesTheFixedSequence) {
  auto& lib = FakeLibrary::Get();
  lib.Reset();
  qv::TKarta k;
  k.XSTREnReg = 0x11;
  k.CNT0RngReg = 0x010203;
  k.CNT1RngReg = 0x040506;
  k.CNT2RngReg = 0x070809;
  k.CNT0CMP1 = 0x0A0B0C;
  k.CNT1CMP1 = 0x0D0E0F;
  k.CNT2CMP1 = 0x101112;
  k.CNT0CMP2 = 0x131415;
  k.CNT1CMP2 = 0x161718;
  k.CNT2CMP2 = 0x191A1B;
  k.CNT0CWReg = 0x1C;
  k.CNT1CWReg = 0x1D;
  k.CNT2CWReg = 0x1E;
  k.CNTEnReg = 0x1F;
  k.CMPEnReg = 0x21;
  k.RTDOCfgReg = 0x22;
  k.CNT0SetReg = 0x99;  // never written: the presets start at 0
  qv::InitCard(FakeLibrary::Table(), k);
  EXPECT_EQ(lib.journal.size(), 53u);
  EXPECT_EQ(lib.Joined(),
            "W4=0 W180=0 W184=7F W3F0=0 W18C=0 W190=11 W194=40 "
            "W200=0 W204=0 W208=0 W280=0 W284=0 W288=0 W300=0 W304=0 W308=0 "
            "W210=3 W214=2 W218=1 W290=6 W294=5 W298=4 W310=9 W314=8 W318=7 "
            "W220=C W224=B W228=A W2A0=F W2A4=E W2A8=D W320=12 W324=11 W328=10 "
            "W230=15 W234=14 W238=13 W2B0=18 W2B4=17 W2B8=16 W330=1B W334=1A W338=19 "
            "W270=1C W2F0=1D W370=1E W380=1F W384=70 W390=21 W394=77 W398=0 W3A0=0 W3A4=22");
}

// What must be in place after every guarded call on the main thread: the handlers from
// before the first one in this process.
const std::string g_state_before_any_guard = qvtest::GuardState();

// A host computation on the x87 unit: wrong, or NaN once the register stack is full.
__attribute__((noinline)) long double HostThird() {
  volatile long double one = 1;
  return one / 3;
}

// Uses of the stand-in MXCSR accessors of the pass without SSE: there must be none.
std::atomic<int> g_mxcsr_uses{0};

// What every guarded call on one thread must leave as it found it.
struct Unchanged {
  std::string guard_state;
  long double third;  // HostThird() in the host's rounding
  bool sse;           // the guard may touch MXCSR
};

// One call into a library that behaves as b, directly or through discovery, which must
// then give the library error. Without SSE the guard leaves MXCSR alone, unread.
void CallOnce(const qvtest::LibraryBehaviour& b, bool through_discovery, const Unchanged& want) {
  auto& lib = FakeLibrary::Get();
  lib.Reset({{512, 1, 1}});
  lib.count_action = b.act;
  qvtest::behaviour::g_unwound = 0;
  const uint16_t control = qvtest::X87Control();
  const std::string x87 = qvtest::X87StateText();
  const uint32_t mxcsr = qvtest::Mxcsr();
  bool came_back = false, raised = false;
  const std::function<void()> call = [&] {
    if (through_discovery) {
      const Found f = Find(1, 0, 0);
      raised = !f.ok;
      if (raised) {
        EXPECT_EQ(f.outcome, qv::TCardSearch::LibraryError);
      }
    } else {
      uint32_t cards = 0, result = 7;
      raised = !qv::GuardedCardsInSystem(FakeLibrary::Table(), &cards, &result);
      if (!raised) {
        EXPECT_EQ(cards, 1u);
      }
    }
    came_back = true;
  };
  if (b.thread == qvtest::LibraryThread::kEnds) {
    qvtest::OnThreadOfItsOwn(call);
    ASSERT_FALSE(came_back) << "the thread went on";
  } else {
    call();
    ASSERT_EQ(raised, b.escapes);
  }
  ASSERT_EQ(qvtest::behaviour::g_unwound, b.unwinds);
  // A library that returns may leave the exception flags as its maths set them, not the
  // x87 controls; after a raise, all is as before.
  ASSERT_EQ(qvtest::X87Control(), control);
  if (raised) {
    ASSERT_EQ(qvtest::X87StateText(), x87);
    if (want.sse) {
      ASSERT_EQ(qvtest::Mxcsr(), mxcsr);
    }
    qvtest::SetMxcsr(mxcsr);
  }
  ASSERT_EQ(g_mxcsr_uses, 0) << "MXCSR used without SSE";
  ASSERT_EQ(HostThird(), want.third);
  ASSERT_EQ(qvtest::GuardState(), want.guard_state);
}

void CallManyTimes(const qvtest::LibraryBehaviour& b, const Unchanged& want) {
  for (int round = 0; round < 50 && !::testing::Test::HasFatalFailure(); ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    CallOnce(b, false, want);
    if (!::testing::Test::HasFatalFailure()) CallOnce(b, true, want);
  }
}

// The guarded count call against everything a library may do inside it, each many times in
// one process: the next call, and the next fault, must behave the same. The host rounds
// upward and has division by zero trap on the x87 unit; its floating-point state must come
// out of every call as it went in. Then all again as on a processor without SSE.
TEST(GuardedCount, EveryLibraryBehaviourManyTimes) {
  std::fenv_t host;
  ASSERT_EQ(std::fegetenv(&host), 0);
  ASSERT_EQ(std::fesetround(FE_UPWARD), 0);
  const uint16_t control = qvtest::X87Control() & ~0x0004u;
  asm volatile("fldcw %0" ::"m"(control));
  for (const bool sse : {true, false}) {
    if (sse) {
      qv::SetSseProbe(nullptr);
    } else {
      qv::SetSseProbe([] { return false; }, [] { return uint32_t(++g_mxcsr_uses); },
                      [](uint32_t) { ++g_mxcsr_uses; });
    }
    const Unchanged want = {g_state_before_any_guard, HostThird(), sse};
    for (const qvtest::LibraryBehaviour& b : qvtest::LibraryBehaviours()) {
      SCOPED_TRACE(std::string(b.name) + (sse ? "" : ", no SSE"));
      if (const char* why = qvtest::WhyNotHere(b)) {
        if (sse) std::printf("skipped \"%s\": %s\n", b.name, why);
        continue;
      }
      if (b.thread == qvtest::LibraryThread::kSmallStack) {
        qvtest::OnSmallStack([&] { CallManyTimes(b, {qvtest::GuardState(), HostThird(), sse}); });
      } else {
        CallManyTimes(b, want);
      }
      if (HasFatalFailure()) break;
    }
  }
  qv::SetSseProbe(nullptr);
  std::fesetenv(&host);
  FakeLibrary::Get().Reset({{512, 1, 1}});
  EXPECT_TRUE(Find(1, 0, 0).ok);
}

// Two instances on two threads, each in its own guarded calls at the same time: no
// handler swapped in for a call is left behind.
thread_local void (*t_count_action)() = nullptr;
uint32_t OX952_CALL ThreadCount(uint32_t* count) {
  if (t_count_action != nullptr) t_count_action();
  *count = 1;
  return 0;
}

TEST(GuardedCount, TwoThreadsAtOnceLeaveNothingBehind) {
  qv::CardLibrary table = FakeLibrary::Table();
  table.CardsInSystem = ThreadCount;
  std::atomic<int> wrong{0};
  auto run = [&](void (*fault)()) {
    for (int round = 0; round < 300; ++round) {
      t_count_action = round % 2 == 0 ? fault : nullptr;
      uint32_t cards = 0, result = 0;
      if (qv::GuardedCardsInSystem(table, &cards, &result) != (round % 2 != 0)) ++wrong;
    }
  };
  std::thread a(run, qvtest::behaviour::NullWrite);
  std::thread b(run, qvtest::behaviour::IllegalInstruction);
  a.join();
  b.join();
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(qvtest::GuardState(), g_state_before_any_guard);
}

}  // namespace
