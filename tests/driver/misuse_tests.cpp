// Host misuse: seeded random sequences of export calls with random arguments, against
// the simulator. Whatever the order, the driver must not crash, write outside the host's
// buffers, touch a card it does not hold open, or leave a card open once its instance is
// finished.
#include <gtest/gtest.h>

#include <cstring>
#include <random>

#include "driver_support.h"

namespace qvtest {
namespace {

constexpr unsigned char kGuard = 0xA5;

struct Instance_ {
  PData p;
  bool done = false;
};

class Misuse : public ::testing::Test {
 protected:
  void SetUp() override {
    OX952Sim_Reset();
    Ini demo;
    demo.card = "Automatická detekce=1\r\nDemo režim=1\r\n";
    Ini autodetect;
    Ini select;
    select.card = "Automatická detekce=0\r\nBUS=2\r\nSLOT=13\r\n";
    Ini wrong;
    wrong.card = "Automatická detekce=0\r\nBUS=2\r\nSLOT=14\r\n";
    Ini logged;
    logged.log = "Povolen=1\r\nNázev souboru=" + dir_.File("drv.log") + "\r\n";
    Ini bad;
    bad.card = "Automatická detekce=1\r\nBUS=256\r\n";
    int n = 0;
    for (const Ini* ini : {&demo, &autodetect, &select, &wrong, &logged, &bad}) {
      files_.push_back(dir_.File("p" + std::to_string(n++) + ".ini"));
      WriteBytes(files_.back(), ini->Bytes());
    }
    files_.push_back(dir_.File("missing.ini"));
    files_.push_back("");
  }

  // Runs one random sequence and checks the invariants after every call.
  void RunSequence(uint32_t seed, int steps) {
    std::mt19937 rng(seed);
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    std::vector<Instance_> live;
    auto any = [&]() -> PData {
      if (live.empty() || pick(8) == 0) return nullptr;
      return live[pick(static_cast<int>(live.size()))].p;
    };
    for (int step = 0; step < steps; ++step) {
      switch (pick(11)) {
        case 0:
          if (live.size() < 3) live.push_back({MakeDriver()});
          break;
        case 1: {
          if (live.empty()) break;
          const int i = pick(static_cast<int>(live.size()));
          if (pick(2) == 0) Done(live[i].p);
          DisposeDriver(live[i].p);
          live.erase(live.begin() + i);
          break;
        }
        case 2: {
          const std::size_t size = static_cast<std::size_t>(pick(80));
          std::vector<unsigned char> buffer(size + 1 + 16, kGuard);
          const PData p = any();
          Init(p, rng(), files_[pick(static_cast<int>(files_.size()))].c_str(),
               static_cast<uint32_t>(size), reinterpret_cast<char*>(buffer.data()), rng(), rng(),
               rng(), rng());
          for (std::size_t i = size + 1; i < buffer.size(); ++i)
            ASSERT_EQ(buffer[i], kGuard) << "error buffer overrun, seed " << seed;
          break;
        }
        case 3:
          Done(any());
          break;
        case 4:
          InputRequestCompleted(any());
          break;
        case 5: {
          struct {
            THostValue v;
            unsigned char guard[16];
          } rec;
          std::memset(rec.guard, kGuard, sizeof rec.guard);
          rec.v = {static_cast<int32_t>(pick(13)) - 1, rng()};
          const uint32_t ch = pick(4) == 0 ? rng() : static_cast<uint32_t>(pick(80));
          GetInput(any(), ch, pick(20) == 0 ? nullptr : &rec.v);
          for (unsigned char g : rec.guard) ASSERT_EQ(g, kGuard);
          break;
        }
        case 6:
          OutputRequest(any(), pick(4) == 0 ? rng() : static_cast<uint32_t>(pick(80)),
                        static_cast<int32_t>(pick(13)) - 1, rng());
          break;
        case 7:
          OutputRequestCompleted(any());
          break;
        case 8:
          DriverProc(any(), static_cast<int32_t>(pick(10)) - 2, pick(2000) - 500, pick(2000) - 500,
                     pick(900), pick(900));
          break;
        case 9: {
          char text[40];
          std::memset(text, kGuard, sizeof text);
          THostValue v{pick(2) == 0 ? 11 : pick(20), reinterpret_cast<uintptr_t>(text)};
          QueryProc(rng(), pick(2) == 0 ? 11 : static_cast<int32_t>(rng()),
                    pick(2) == 0 ? "GetVersion" : "Other", rng(), &v);
          for (std::size_t i = 25; i < sizeof text; ++i)
            ASSERT_EQ(static_cast<unsigned char>(text[i]), kGuard);
          break;
        }
        default: {
          char info[40];
          std::memset(info, kGuard, sizeof info);
          GetDriverInfo(rng(), info);
          ASSERT_EQ(static_cast<unsigned char>(info[25]), kGuard);
          break;
        }
      }
      ASSERT_EQ(OX952Sim_ClosedCardAccessCount(), 0u) << "seed " << seed << " step " << step;
      ASSERT_LE(OX952Sim_OpenCardCount(), 1u);
    }
    for (auto& inst : live) {
      Done(inst.p);
      ASSERT_FALSE(Instance(inst.p).Dialog) << "window left after Done, seed " << seed;
      DisposeDriver(inst.p);
    }
    ASSERT_EQ(OX952Sim_OpenCardCount(), 0u) << "card left open, seed " << seed;
  }

  TempDir dir_;
  std::vector<std::string> files_;
};

TEST_F(Misuse, RandomSequencesKeepTheInvariants) {
#if defined(_WIN32)
  const int sequences = 200;  // each window and file operation costs far more under Wine
#else
  const int sequences = 2000;
#endif
  for (int s = 0; s < sequences; ++s) {
    OX952Sim_Reset();
    RunSequence(0x5EED0000u + static_cast<uint32_t>(s), 60);
    if (HasFatalFailure()) return;
  }
  RecordProperty("sequences", sequences);
}

}  // namespace
}  // namespace qvtest
