// A long trace written by the simulator and replayed by it: calls per second of recording, of
// a plain run and of the replay, and the replay's peak memory above the plain run's. The
// three make the same calls: a host's cycles (the latch command, 24 reads, 20 writes).
#include <benchmark/benchmark.h>
#include <stdlib.h>  // setenv, unsetenv: this program decides the simulator's settings

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>

#include "sim/ox952_sim.h"

namespace {

namespace fs = std::filesystem;

struct Settings {
  uint64_t trace_mb = 16;
  std::string trace_file;  // kept when given
  uint64_t cycles = 0;     // as many as the recording made
  int64_t plain_peak_kb = 0;
  bool failed = false;
} g;

constexpr uint32_t kCallsPerCycle = 45;

// One cycle of a host: the values written vary with the cycle, so every line is new.
void Cycle(uint32_t base, uint32_t n) {
  OX952_MemWrite(base + 900, 0, 7);
  for (uint32_t i = 0; i < 24; ++i) benchmark::DoNotOptimize(OX952_MemRead(base + 512 + 4 * i, 0));
  for (uint32_t i = 0; i < 20; ++i) OX952_MemWrite(base + 512 + 4 * (i % 12), 0, (n + i) & 0xFF);
}

uint32_t OpenCard() {
  uint32_t count = 0, base = 0, second = 0;
  OX952_CardsInSystem(&count);
  OX952_Open(0, 0);
  OX952_BAR11_BaseAdr(0, &base, &second);
  return base;
}

// The process's resident memory in kB: "VmRSS" now, "VmHWM" its peak.
int64_t StatusKb(const char* field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.rfind(field, 0) == 0) return std::stoll(line.substr(line.find(':') + 1));
  }
  return -1;
}

// Starts a new peak at the present resident size; returns that size.
int64_t ResetPeak() {
  std::ofstream("/proc/self/clear_refs") << "5";
  return StatusKb("VmRSS");
}

void Report(benchmark::State& state, uint64_t calls, int64_t base_kb) {
  state.SetItemsProcessed(static_cast<int64_t>(calls));
  state.counters["calls"] = static_cast<double>(calls);
  state.counters["peak_above_start_mb"] = static_cast<double>(StatusKb("VmHWM") - base_kb) / 1024;
}

void BM_Record(benchmark::State& state) {
  fs::remove(g.trace_file);
  setenv("VODRA_OX952_TRACE", g.trace_file.c_str(), 1);
  const int64_t base_kb = ResetPeak();
  uint64_t cycles = 0;
  for (auto _ : state) {
    OX952Sim_Reset();
    const uint32_t base = OpenCard();
    for (cycles = 0; cycles % 4096 != 0 || fs::file_size(g.trace_file) < g.trace_mb << 20; ++cycles)
      Cycle(base, static_cast<uint32_t>(cycles));
    OX952_Close(0);
  }
  unsetenv("VODRA_OX952_TRACE");
  OX952Sim_Reset();
  g.cycles = cycles;
  Report(state, cycles * kCallsPerCycle + 4, base_kb);
  state.counters["trace_mb"] = static_cast<double>(fs::file_size(g.trace_file)) / (1 << 20);
}

// The same calls on the card model, with neither trace nor replay.
void BM_PlainRun(benchmark::State& state) {
  const int64_t base_kb = ResetPeak();
  for (auto _ : state) {
    OX952Sim_Reset();
    const uint32_t base = OpenCard();
    for (uint64_t n = 0; n < g.cycles; ++n) Cycle(base, static_cast<uint32_t>(n));
    OX952_Close(0);
  }
  g.plain_peak_kb = StatusKb("VmHWM") - base_kb;
  Report(state, g.cycles * kCallsPerCycle + 4, base_kb);
}

void BM_Replay(benchmark::State& state) {
  setenv("VODRA_OX952_REPLAY", g.trace_file.c_str(), 1);
  const int64_t base_kb = ResetPeak();
  uint32_t reports = 0;
  for (auto _ : state) {
    OX952Sim_Reset();
    const uint32_t base = OpenCard();
    for (uint64_t n = 0; n < g.cycles; ++n) Cycle(base, static_cast<uint32_t>(n));
    OX952_Close(0);
    reports = OX952Sim_ReplayEnd();
  }
  unsetenv("VODRA_OX952_REPLAY");
  OX952Sim_Reset();
  Report(state, g.cycles * kCallsPerCycle + 4, base_kb);
  state.counters["peak_above_plain_mb"] =
      static_cast<double>(StatusKb("VmHWM") - base_kb - g.plain_peak_kb) / 1024;
  if (reports != 0) {
    state.SkipWithError("the replay reported a difference");
    g.failed = true;
  }
}

}  // namespace

BENCHMARK(BM_Record)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_PlainRun)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(BM_Replay)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

int main(int argc, char** argv) {
  // --trace_mb=N: the trace's length (default 16); --trace_file=PATH: keep it there.
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--trace_mb=", 0) == 0) g.trace_mb = std::stoull(arg.substr(11));
    if (arg.rfind("--trace_file=", 0) == 0) g.trace_file = arg.substr(13);
  }
  const bool keep = !g.trace_file.empty();
  if (!keep) g.trace_file = (fs::temp_directory_path() / "qv_bench_replay_trace.txt").string();
  unsetenv("VODRA_OX952_SIM");
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (!keep) fs::remove(g.trace_file);
  return g.failed ? 1 : 0;
}
