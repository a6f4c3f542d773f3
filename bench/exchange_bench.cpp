// One host cycle through the exports, against the same card-library calls made with no
// driver around them. Both run on a card library whose byte accesses return at once, so the
// difference is what the driver itself costs per cycle.
#include <benchmark/benchmark.h>
#include <stdlib.h>  // setenv, unsetenv: this program, not the plug-in, decides its environment
#include <time.h>    // clock_gettime

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>
#include <string>

#include "card/our_libraries.h"
#include "card/registers.h"
#include "config/texts.h"
#include "driver/host_abi.h"
#include "driver/instance.h"
#include "monitor/drv_dialog.h"
#include "quiet_library.h"
#include "sim/ox952_sim.h"
#include "tests/support/heap_count.h"

namespace {

using qvbench::Access;

// The input channels a host fetches each cycle: counters, status bytes, input bits and byte.
constexpr uint32_t kInputChannels[] = {0,  1,  2,  3,  4,  5,  21, 22, 23, 26,
                                       29, 40, 41, 42, 43, 44, 45, 46, 47, 48};

struct Bench {
  std::filesystem::path dir;
  PData driver = nullptr;
  const qv::CardLibrary* imported = nullptr;
  qv::CardLibrary quiet{};
  qv::CardLibrary slow{};  // a card whose byte accesses take as long as a real one's
  uint32_t read_ns = 700;
  uint32_t write_ns = 100;
  uint32_t base = 0;
  std::size_t calls_per_cycle = 0;
  bool failed = false;
} g;

// The host's cycle: snapshot, every input channel, a typical batch of outputs (three presets,
// two control words, a clear, four output bits, the output byte), then the load command.
void HostCycle(PData p, uint32_t n) {
  InputRequestCompleted(p);
  for (uint32_t ch : kInputChannels) {
    THostValue v{ch >= 40 && ch <= 47 ? kKindBoolean : kKindInteger, 0};
    GetInput(p, ch, &v);
    benchmark::DoNotOptimize(v);
  }
  OutputRequest(p, 6, kKindInteger, n);
  OutputRequest(p, 7, kKindInteger, n + 1);
  OutputRequest(p, 8, kKindInteger, n + 2);
  OutputRequest(p, 18, kKindInteger, n);
  OutputRequest(p, 19, kKindInteger, n + 3);
  OutputRequest(p, 27, kKindInteger, 1);
  for (uint32_t bit = 0; bit < 4; ++bit) OutputRequest(p, 50 + bit, kKindBoolean, (n >> bit) & 1);
  OutputRequest(p, 58, kKindInteger, n);
  OutputRequestCompleted(p);
}

uint32_t Read8(const qv::CardLibrary& lib, uint32_t address) {
  return lib.MemRead(address, 0) & 0xFF;
}
uint32_t Read24(const qv::CardLibrary& lib, uint32_t address) {
  const uint32_t b0 = Read8(lib, address);
  const uint32_t b1 = Read8(lib, address + 4);
  const uint32_t b2 = Read8(lib, address + 8);
  return b0 | (b1 << 8) | (b2 << 16);
}
void Write8(const qv::CardLibrary& lib, uint32_t address, uint32_t value) {
  lib.MemWrite(address, 0, value & 0xFF);
}
void Write24(const qv::CardLibrary& lib, uint32_t address, uint32_t value) {
  Write8(lib, address, value);
  Write8(lib, address + 4, value >> 8);
  Write8(lib, address + 8, value >> 16);
}

// The same cycle as a program that drives the card library itself would make it.
void DirectCycle(const qv::CardLibrary& lib, uint32_t base, uint32_t n, uint8_t& dout) {
  namespace reg = qv::reg;
  Write8(lib, base + reg::CNTCmdReg, reg::kLatchAll);
  std::array<uint32_t, 12> in{
      Read24(lib, base + reg::CNT0StrReg),   Read24(lib, base + reg::CNT1StrReg),
      Read24(lib, base + reg::CNT2StrReg),   Read24(lib, base + reg::CNT0XStrReg),
      Read24(lib, base + reg::CNT1XStrReg),  Read24(lib, base + reg::CNT2XStrReg),
      Read8(lib, base + reg::CNT0StatReg),   Read8(lib, base + reg::CNT1StatReg),
      Read8(lib, base + reg::CNT2StatReg),   Read8(lib, base + reg::CMPStatReg),
      Read8(lib, base + reg::XSTRStatusReg), Read8(lib, base + reg::DINReg)};
  for (uint32_t v : in) benchmark::DoNotOptimize(v);
  for (uint32_t bit = 0; bit < 8; ++bit) {
    uint32_t b = (in[11] >> bit) & 1;
    benchmark::DoNotOptimize(b);
  }
  Write24(lib, base + reg::CNT0SetReg, n & 0xFFFFFF);
  Write24(lib, base + reg::CNT1SetReg, (n + 1) & 0xFFFFFF);
  Write24(lib, base + reg::CNT2SetReg, (n + 2) & 0xFFFFFF);
  Write8(lib, base + reg::CNT0CWReg, n);
  Write8(lib, base + reg::CNT1CWReg, n + 3);
  Write8(lib, base + reg::CMPClrReg, 1);
  for (uint32_t bit = 0; bit < 4; ++bit) {
    const auto mask = static_cast<uint8_t>(1u << bit);
    dout = ((n >> bit) & 1) != 0 ? static_cast<uint8_t>(dout | mask)
                                 : static_cast<uint8_t>(dout & ~mask);
    Write8(lib, base + reg::DOUTReg, dout);
  }
  dout = static_cast<uint8_t>(n);
  Write8(lib, base + reg::DOUTReg, dout);
  Write24(lib, base + reg::CNTCmdReg,
          reg::kLoadCounter[0] | reg::kLoadCounter[1] | reg::kLoadCounter[2]);
}

// CPU time of this thread in ns: on a shared machine, time spent waiting for a processor is
// not the driver's cost.
double CpuNs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) * 1e9 + static_cast<double>(ts.tv_nsec);
}

void Report(benchmark::State& state, const char* name, double ns, long allocations) {
  const auto cycles = static_cast<double>(state.iterations());
  state.counters[name] = ns / cycles;
  state.counters["allocs_per_cycle"] = static_cast<double>(allocations) / cycles;
  state.counters["lib_calls_per_cycle"] = static_cast<double>(g.calls_per_cycle);
  if (allocations != 0) g.failed = true;
}

void BM_HostCycleThroughExports(benchmark::State& state) {
  uint32_t n = 0;
  const long before = qvtest::HeapAllocations();
  const double start = CpuNs();
  for (auto _ : state) HostCycle(g.driver, ++n);
  const double end = CpuNs();
  Report(state, "ns_per_cycle", end - start, qvtest::HeapAllocations() - before);
}
BENCHMARK(BM_HostCycleThroughExports);

void BM_LibraryCallsDirect(benchmark::State& state) {
  uint32_t n = 0;
  uint8_t dout = 0;
  const long before = qvtest::HeapAllocations();
  const double start = CpuNs();
  for (auto _ : state) DirectCycle(g.quiet, g.base, ++n, dout);
  const double end = CpuNs();
  Report(state, "ns_per_cycle", end - start, qvtest::HeapAllocations() - before);
}
BENCHMARK(BM_LibraryCallsDirect);

// Both paths in alternating blocks within one run, so that a noisy machine affects both
// alike and their ratio stays meaningful. The driver uses `lib` meanwhile.
struct Alternated {
  double exports_ns = 0, direct_ns = 0, cycles = 0, allocs_per_cycle = 0;
};
Alternated RunAlternating(benchmark::State& state, int block, const qv::CardLibrary& lib) {
  Alternated r;
  uint32_t n = 0;
  uint8_t dout = 0;
  const qv::CardLibrary* const driver_lib = g.driver->Library;
  g.driver->Library = &lib;
  const long before = qvtest::HeapAllocations();
  for (auto _ : state) {
    const double t0 = CpuNs();
    for (int k = 0; k < block; ++k) HostCycle(g.driver, n + static_cast<uint32_t>(k));
    const double t1 = CpuNs();
    for (int k = 0; k < block; ++k) DirectCycle(lib, g.base, n + static_cast<uint32_t>(k), dout);
    const double t2 = CpuNs();
    r.exports_ns += t1 - t0;
    r.direct_ns += t2 - t1;
    n += static_cast<uint32_t>(block);
  }
  const long allocations = qvtest::HeapAllocations() - before;
  g.driver->Library = driver_lib;
  r.cycles = static_cast<double>(state.iterations()) * block;
  r.allocs_per_cycle = static_cast<double>(allocations) / r.cycles;
  if (allocations != 0) g.failed = true;
  state.counters["allocs_per_cycle"] = r.allocs_per_cycle;
  return r;
}

void BM_DriverOverhead(benchmark::State& state) {
  const Alternated r = RunAlternating(state, 64, g.quiet);
  state.counters["exports_ns_per_cycle"] = r.exports_ns / r.cycles;
  state.counters["direct_ns_per_cycle"] = r.direct_ns / r.cycles;
  state.counters["ratio"] = r.direct_ns > 0 ? r.exports_ns / r.direct_ns : 0;
}
BENCHMARK(BM_DriverOverhead);

// Both paths against a card whose every byte access costs what a PCI access costs: the
// cycle time an integrator sees, and the driver's share of it.
void BM_RealisticCard(benchmark::State& state) {
  const Alternated r = RunAlternating(state, 8, g.slow);
  state.counters["read_ns"] = g.read_ns;
  state.counters["write_ns"] = g.write_ns;
  state.counters["cycle_us"] = r.exports_ns / r.cycles / 1000;
  state.counters["direct_us"] = r.direct_ns / r.cycles / 1000;
  state.counters["driver_ns"] = (r.exports_ns - r.direct_ns) / r.cycles;
  state.counters["driver_share_pct"] =
      r.exports_ns > 0 ? 100 * (r.exports_ns - r.direct_ns) / r.exports_ns : 0;
}
BENCHMARK(BM_RealisticCard);

// What the window costs the exchange while hidden: cycles with the hidden window against
// cycles of the same instance with its window taken away, in alternating blocks.
void BM_HiddenWindowPerCycle(benchmark::State& state) {
  constexpr int kBlock = 64;
  uint32_t n = 0;
  double hidden_ns = 0, none_ns = 0;
  const long before = qvtest::HeapAllocations();
  for (auto _ : state) {
    const double t0 = CpuNs();
    for (int k = 0; k < kBlock; ++k) HostCycle(g.driver, n + static_cast<uint32_t>(k));
    const double t1 = CpuNs();
    std::unique_ptr<qv::TDrvDialog> window = std::move(g.driver->Dialog);
    const double t2 = CpuNs();
    for (int k = 0; k < kBlock; ++k) HostCycle(g.driver, n + static_cast<uint32_t>(k));
    const double t3 = CpuNs();
    g.driver->Dialog = std::move(window);
    hidden_ns += t1 - t0;
    none_ns += t3 - t2;
    n += kBlock;
  }
  const long allocations = qvtest::HeapAllocations() - before;
  const double cycles = static_cast<double>(state.iterations()) * kBlock;
  state.counters["hidden_ns_per_cycle"] = hidden_ns / cycles;
  state.counters["no_window_ns_per_cycle"] = none_ns / cycles;
  state.counters["allocs_per_cycle"] = static_cast<double>(allocations) / cycles;
  if (allocations != 0) g.failed = true;
}
BENCHMARK(BM_HiddenWindowPerCycle);

// One 100 ms tick of the monitor window (off-screen toolkit): the hand-over since the last
// tick is copied and all 35 cells are formatted and set. Changing values each tick.
void MonitorTick(benchmark::State& state, bool visible) {
  qv::TData& d = *g.driver;
  qv::TDrvDialog& window = *d.Dialog;
  DriverProc(g.driver, visible ? 1 : 0, 0, 0, 0, 0);
  uint32_t n = 0;
  d.Karta.CNT0StrReg = 0xFFFFFF;  // warm: the longest texts once
  window.HandOver(d.CFGData, d.Karta);
  window.Timer1Timer();
  const long before = qvtest::HeapAllocations();
  const double start = CpuNs();
  for (auto _ : state) {
    ++n;
    d.Karta.CNT0StrReg = n & 0xFFFFFF;
    d.Karta.CNT1XStrReg = (n * 7) & 0xFFFFFF;
    d.Karta.DINReg = static_cast<uint8_t>(n);
    window.HandOver(d.CFGData, d.Karta);  // what the exchange left since the last tick
    window.Timer1Timer();
  }
  const double end = CpuNs();
  const long allocations = qvtest::HeapAllocations() - before;
  DriverProc(g.driver, 0, 0, 0, 0, 0);
  const auto ticks = static_cast<double>(state.iterations());
  state.counters["ns_per_tick"] = (end - start) / ticks;
  state.counters["allocs_per_tick"] = static_cast<double>(allocations) / ticks;
  if (allocations != 0) g.failed = true;
}
void BM_MonitorTickVisible(benchmark::State& state) {
  MonitorTick(state, true);
}
BENCHMARK(BM_MonitorTickVisible);
void BM_MonitorTickHidden(benchmark::State& state) {
  MonitorTick(state, false);
}
BENCHMARK(BM_MonitorTickHidden);

std::string ParameterFile() {
  namespace t = qv::text;
  std::string s;
  s += "[" + std::string(t::kSectionCard.view()) + "]\r\n";
  s += std::string(t::kKeyAutoDetect.view()) + "=1\r\n";
  s += std::string(t::kKeyDemoMode.view()) + "=0\r\n";
  s += "[" + std::string(t::kSectionLog.view()) + "]\r\n";
  s += std::string(t::kKeyLogEnabled.view()) + "=0\r\n";
  return s;
}

// An instance initialised against the simulated card, as the host would leave it.
bool SetUp() {
  // Off-screen monitor window: the figures must not depend on an X server being around.
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  setenv(QV_SIM_DEFAULT_VARIABLE, "1", 1);  // the simulator's card, asked for
  OX952Sim_Reset();
  std::random_device rd;
  g.dir = std::filesystem::temp_directory_path() / ("qv-bench-" + std::to_string(rd()));
  std::filesystem::create_directories(g.dir);
  const std::string path = (g.dir / "bench.ini").string();
  std::ofstream(path, std::ios::binary) << ParameterFile();

  g.driver = MakeDriver();
  char error[256] = {};
  if (g.driver == nullptr || Init(g.driver, 0, path.c_str(), 255, error, 0, 0, 0, 0) == 0) {
    std::fprintf(stderr, "bench: Init failed: %s\n", error);
    return false;
  }
  g.imported = g.driver->Library;
  g.quiet = qvbench::QuietLibrary(*g.imported);
  g.slow = qvbench::SlowLibrary(*g.imported, g.read_ns, g.write_ns);
  g.base = g.driver->Karta.BaseAddr;
  return true;
}

// The two paths must make the same library calls in the same order with the same bytes,
// or their comparison means nothing.
bool SameLibraryCalls() {
  static qv::CardLibrary recording{};
  recording = qvbench::RecordingLibrary(*g.imported);
  constexpr uint32_t kValues[] = {0x123456, 0x89ABCD};

  g.driver->Library = &recording;
  qvbench::ClearRecording();
  for (uint32_t n : kValues) HostCycle(g.driver, n);
  const std::size_t count = qvbench::RecordedCount();
  std::array<Access, qvbench::kMaxAccesses> through_exports{};
  for (std::size_t i = 0; i < count && i < through_exports.size(); ++i)
    through_exports[i] = qvbench::Recorded()[i];

  qvbench::ClearRecording();
  uint8_t dout = 0;  // the driver's DOUTReg shadow after Init
  for (uint32_t n : kValues) DirectCycle(recording, g.base, n, dout);
  g.driver->Library = &g.quiet;

  bool same = count == qvbench::RecordedCount() && count <= qvbench::kMaxAccesses;
  for (std::size_t i = 0; same && i < count; ++i)
    same = through_exports[i] == qvbench::Recorded()[i];
  if (!same) {
    std::fprintf(stderr, "bench: the direct path does not repeat the driver's %zu calls\n", count);
    return false;
  }
  g.calls_per_cycle = count / std::size(kValues);
  return true;
}

void TearDown() {
  if (g.driver != nullptr) {
    if (g.imported != nullptr) g.driver->Library = g.imported;
    Done(g.driver);
    DisposeDriver(g.driver);
  }
  std::error_code ec;
  if (!g.dir.empty()) std::filesystem::remove_all(g.dir, ec);
}

}  // namespace

// Takes --card_read_ns=N and --card_write_ns=N (the realistic card's access times) out of
// the arguments before Google Benchmark sees them.
bool TakeCardTimes(int& argc, char** argv) {
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    uint32_t* target = nullptr;
    const char* value = nullptr;
    for (auto [flag, field] :
         {std::pair{"--card_read_ns=", &g.read_ns}, std::pair{"--card_write_ns=", &g.write_ns}}) {
      if (std::strncmp(argv[i], flag, std::strlen(flag)) == 0) {
        target = field;
        value = argv[i] + std::strlen(flag);
      }
    }
    if (target == nullptr) {
      argv[kept++] = argv[i];
      continue;
    }
    char* end = nullptr;
    const unsigned long ns = std::strtoul(value, &end, 10);
    if (*value == '\0' || *end != '\0' || ns > 1000000) {
      std::fprintf(stderr, "bench: %s wants nanoseconds, 0 to 1000000\n", argv[i]);
      return false;
    }
    *target = static_cast<uint32_t>(ns);
  }
  argc = kept;
  argv[argc] = nullptr;
  return true;
}

int main(int argc, char** argv) {
  if (!TakeCardTimes(argc, argv)) return 1;
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  bool ok = SetUp() && SameLibraryCalls();
  if (ok) {
    benchmark::RunSpecifiedBenchmarks();
    if (g.failed) std::fprintf(stderr, "bench: a cycle allocated heap memory\n");
    ok = !g.failed;
  }
  benchmark::Shutdown();
  TearDown();
  return ok ? 0 : 1;
}
