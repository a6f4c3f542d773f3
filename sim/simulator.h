// The simulator's one shared state behind one mutex: the configured cards (or the replay of
// a trace), the journal and the trace. The nine card functions and the test interface both
// work on it.
#pragma once

#include <array>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "sim/card_model.h"
#include "sim/ox952_sim.h"
#include "sim/replay.h"
#include "sim/sim_config.h"
#include "trace/trace_line.h"

namespace qv::sim {

struct SimCard {
  CardEntry entry;
  bool open = false;
  CardModel model;
};

// A call on its way into the journal and the trace.
struct Call {
  OX952SimCall record{};
  uint8_t stored = 0;                  // bit i: args[i] is an out-argument that the call filled
  uint32_t* out[3] = {};               // the caller's out-arguments, by place
  RaiseKind raise = RaiseKind::kNone;  // raised after the call, outside the lock

  // Stores `value` in out-argument `arg`, when the caller gave one.
  void Store(int arg, uint32_t value) {
    if (out[arg] == nullptr) return;
    *out[arg] = value;
    record.args[arg] = value;
    stored |= static_cast<uint8_t>(1u << arg);
  }
  trace::TraceCall Line() const;
};

class Simulator {
 public:
  // At unload, the end of the host's run: a replay's calls left over are reported.
  ~Simulator() {
    EndReplay();
    CloseTrace();
  }

  // The lock for one call; the configuration is read at the first.
  std::unique_lock<std::mutex> Lock();
  // Back to the configuration from the environment, or to this configuration text.
  void Reset();
  int Configure(const char* text);

  // Decides what the n-th call of `f` does: a configured fault result, or 0 to go on.
  uint32_t FaultResult(OX952SimFunction f);
  RaiseKind RaiseAtThisCall() const;

  SimCard* Card(uint32_t index) { return index < cards_.size() ? &cards_[index] : nullptr; }
  // The open card whose window holds `address`, with the offset in it; counts misses.
  SimCard* OpenCardAt(uint32_t address, uint32_t* offset);

  // With a replay (VODRA_OX952_REPLAY): answers the call from the trace and returns true.
  bool Replayed(Call& call);
  // At the first card call: which setting chose the simulator, or that nothing did, once, on
  // stderr and in the debugger output.
  void SayWhyOnce();
  // Journals and traces a finished call, and what it raises instead of returning.
  void Finish(const Call& call);
  // Ends a replay as the host's run ends; the number of reports it made (0 without one).
  uint32_t EndReplay();

  bool ConfigBad() const { return !config_error_.empty(); }
  const std::string& ConfigError() const { return config_error_; }
  uint32_t CardCount() const { return static_cast<uint32_t>(cards_.size()); }
  std::vector<OX952SimCall>& Journal() { return journal_; }
  uint32_t ClosedAccesses() const { return closed_accesses_; }
  uint32_t OpenCount() const;

 private:
  void ClearState();
  void Apply(SimConfig config, std::string error);
  void LoadFromEnvironment();
  void OpenTrace();
  void CloseTrace();
  void WriteTrace(const Call& call);
  static void Say(void* simulator, std::string_view line);

  std::mutex mutex_;
  bool loaded_ = false;
  std::string chooser_;  // the setting that chose the simulator, "NAME=value"; "" for none
  bool said_why_ = false;
  SimConfig config_;
  std::string config_error_;
  std::vector<SimCard> cards_;
  std::vector<OX952SimCall> journal_;
  std::array<uint32_t, trace::kFunctionCount> calls_{};
  uint32_t closed_accesses_ = 0;
  std::FILE* trace_ = nullptr;
  std::optional<Replay> replay_;
};

Simulator& Sim();

}  // namespace qv::sim
