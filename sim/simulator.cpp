// The simulator's state, and the nine functions of the card library over it.
#include "sim/simulator.h"

#include <atomic>
#include <chrono>
#include <thread>

#include "card/our_libraries.h"
#include "config/env.h"
#include "sim/sim_platform.h"

namespace qv::sim {

namespace {

constexpr const char* kConfigVariable = "VODRA_OX952_SIM";

std::string ReadWholeFile(const std::string& path, bool* ok) {
  std::string text;
  std::FILE* file = std::fopen(path.c_str(), "rb");
  *ok = file != nullptr;
  if (!file) return text;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  *ok = !std::ferror(file);
  std::fclose(file);
  return text;
}

// The default card's setting: "VODRA_OX952_SIM_DEFAULT=1" when the process asked for it (with
// 1, nothing else), else "".
std::string DefaultCardChooser() {
  std::string value;
  return ReadEnv(QV_SIM_DEFAULT_VARIABLE, &value) && value == "1" ? QV_SIM_DEFAULT_VARIABLE "=1"
                                                                  : "";
}

}  // namespace

trace::TraceCall Call::Line() const {
  trace::TraceCall line;
  line.function = static_cast<uint32_t>(record.function);
  for (int i = 0; i < 3; ++i) line.args[i] = record.args[i];
  line.stored = stored;
  line.result = record.result;
  return line;
}

std::unique_lock<std::mutex> Simulator::Lock() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!loaded_) LoadFromEnvironment();
  return lock;
}

void Simulator::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  LoadFromEnvironment();
}

int Simulator::Configure(const char* text) {
  std::lock_guard<std::mutex> lock(mutex_);
  ClearState();
  OpenTrace();
  chooser_ = "OX952Sim_Configure";
  if (text == nullptr) {
    Apply(SimConfig{}, "OX952Sim_Configure: no text");
  } else {
    SimConfig config;
    std::string error;
    ParseSimConfig(text, "OX952Sim_Configure", &config, &error);
    Apply(std::move(config), std::move(error));
  }
  return config_error_.empty() ? 0 : 1;
}

uint32_t Simulator::FaultResult(OX952SimFunction f) {
  const uint32_t n = ++calls_[f];
  for (const FaultEntry& fault : config_.faults) {
    if (fault.function == f && fault.call == n) return fault.result;
  }
  return 0;
}

RaiseKind Simulator::RaiseAtThisCall() const {
  const uint32_t n = calls_[OX952SIM_CardsInSystem];  // already counted
  for (const RaiseEntry& raise : config_.raises) {
    if (raise.call == 0 || raise.call == n) return raise.kind;
  }
  return RaiseKind::kNone;
}

SimCard* Simulator::OpenCardAt(uint32_t address, uint32_t* offset) {
  if (address >= OX952SIM_BASE_FIRST) {
    const uint32_t rel = address - OX952SIM_BASE_FIRST;
    SimCard* card = Card(rel / OX952SIM_BASE_STEP);
    *offset = rel % OX952SIM_BASE_STEP;
    if (card && card->open && *offset < OX952SIM_WINDOW_SIZE) return card;
  }
  ++closed_accesses_;
  return nullptr;
}

bool Simulator::Replayed(Call& call) {
  if (!replay_) return false;
  trace::TraceCall line = call.Line();
  call.raise = replay_->Answer(line);
  call.record.result = line.result;
  for (int i = 0; i < 3; ++i) {
    if (line.stored & (1u << i)) call.Store(i, line.args[i]);
  }
  return true;
}

uint32_t Simulator::EndReplay() {
  if (!replay_) return 0;
  replay_->End();
  return replay_->Reports();
}

void Simulator::Say(void* simulator, std::string_view line) {
  const int n = static_cast<int>(line.size());
  std::fprintf(stderr, "VODRA_OX952 simulator: %.*s\n", n, line.data());
  if (std::FILE* trace = static_cast<Simulator*>(simulator)->trace_) {
    std::fprintf(trace, "# %.*s\n", n, line.data());
    std::fflush(trace);
  }
}

void Simulator::SayWhyOnce() {
  if (said_why_) return;
  said_why_ = true;
  const std::string self = kSimPlatform.OwnPath();
  if (!chooser_.empty()) {
    // Whoever finds cards on a machine should learn that they are simulated, and why.
    kSimPlatform.Warn("VODRA_OX952 simulator: " + self +
                      " is the " QV_SIMULATOR_IDENTITY
                      ", not the maker's card library; it presents simulated cards because " +
                      chooser_ + " chose it.");
    return;
  }
  // A simulator that nothing chose (its file put beside a real host's driver) must not pass
  // for a card, so it says what it is instead.
  std::string value;
  const std::string other =
      ReadEnv(QV_SIM_DEFAULT_VARIABLE, &value)
          ? std::string(" (" QV_SIM_DEFAULT_VARIABLE "=") + value + " does not: only 1 chooses it)"
          : std::string();
  kSimPlatform.Warn(
      "VODRA_OX952 simulator: " + self +
      " is the " QV_SIMULATOR_IDENTITY ", not the maker's card library, and nothing chose it" +
      other + ", so it presents no card. To use it, choose it: qvhost --card-library " + self +
      ", or set " + kConfigVariable +
      " to a configuration file or " QV_SIM_DEFAULT_VARIABLE
      "=1 (one free LVK-5120B at bus 2, slot 13). Otherwise remove it and "
      "install the maker's library.");
}

void Simulator::Finish(const Call& call) {
  if (journal_.size() < OX952SIM_JOURNAL_LIMIT) journal_.push_back(call.record);
  if (trace_) WriteTrace(call);
}

uint32_t Simulator::OpenCount() const {
  uint32_t n = 0;
  for (const SimCard& card : cards_) n += card.open ? 1 : 0;
  return n;
}

void Simulator::ClearState() {
  cards_.clear();
  journal_.clear();
  calls_.fill(0);
  closed_accesses_ = 0;
  replay_.reset();
  loaded_ = true;
}

void Simulator::Apply(SimConfig config, std::string error) {
  config_ = std::move(config);
  config_error_ = std::move(error);
  for (const CardEntry& entry : config_.cards) {
    cards_.emplace_back();
    cards_.back().entry = entry;
  }
}

void Simulator::LoadFromEnvironment() {
  ClearState();
  OpenTrace();
  std::string path;
  if (ReadEnv(kReplayVariable, &path) && !path.empty()) {
    // The trace's calls stand in for the card model: no cards of its own.
    std::string run;
    ReadEnv(kReplayRunVariable, &run);
    replay_.emplace(&Simulator::Say, this);
    replay_->Open(path, run);
    Apply(SimConfig{}, {});
    chooser_ = std::string(kReplayVariable) + "=" + path;
    return;
  }
  if (!ReadEnv(kConfigVariable, &path) || path.empty()) {
    chooser_ = DefaultCardChooser();
    Apply(chooser_.empty() ? SimConfig{} : DefaultSimConfig(), {});
    return;
  }
  chooser_ = std::string(kConfigVariable) + "=" + path;
  bool ok = false;
  const std::string text = ReadWholeFile(path, &ok);
  SimConfig config;
  std::string error;
  if (!ok) {
    error = path + ": cannot be read";
  } else {
    ParseSimConfig(text, path, &config, &error);
  }
  // A bad file must not go unnoticed behind a plain "library call failed".
  if (!error.empty()) std::fprintf(stderr, "VODRA_OX952 simulator: %s\n", error.c_str());
  Apply(std::move(config), std::move(error));
}

void Simulator::OpenTrace() {
  CloseTrace();
  std::string path;
  if (!ReadEnv(trace::kTraceVariable, &path) || path.empty()) return;
  trace_ = std::fopen(path.c_str(), "a");
  if (!trace_) {
    std::fprintf(stderr, "VODRA_OX952 simulator: trace file %s cannot be opened\n", path.c_str());
  }
}

void Simulator::CloseTrace() {
  if (trace_) std::fclose(trace_);
  trace_ = nullptr;
}

void Simulator::WriteTrace(const Call& call) {
  // A handled exception is the library's own business: the call returns as usual.
  const bool raised = call.raise != RaiseKind::kNone && call.raise != RaiseKind::kHandledException;
  char line[192];
  trace::FormatTraceLine(call.Line(), raised ? trace::Ending::kRaises : trace::Ending::kResult,
                         line, sizeof line, RaiseKindName(call.raise));
  std::fputs(line, trace_);
  std::fputc('\n', trace_);
  std::fflush(trace_);
}

Simulator& Sim() {
  static Simulator simulator;
  return simulator;
}

namespace {

void Argument(Call& call, int i, uint32_t value) {
  call.record.args[i] = value;
}
void Argument(Call& call, int i, uint32_t* out) {
  call.out[i] = out;
}

// The call with its arguments in the order of OX952_FUNCTIONS.
template <typename... A>
Call Begin(OX952SimFunction f, A... args) {
  Call call;
  call.record.function = f;
  int i = 0;
  (Argument(call, i++, args), ...);
  return call;
}

// One call under the lock: the replay's answer, a configured fault's result, or else what
// `answer` makes of it; then what it raises, outside the lock, so that whoever catches it
// may call us again.
template <typename Answer>
uint32_t Run(Call call, Answer answer) {
  Simulator& sim = Sim();
  {
    auto lock = sim.Lock();
    sim.SayWhyOnce();
    if (!sim.Replayed(call)) {
      uint32_t& result = call.record.result;
      result = sim.FaultResult(call.record.function);
      if (result == 0) result = answer(sim, call);
    }
    sim.Finish(call);
  }
  if (call.raise != RaiseKind::kNone) kSimPlatform.Raise(call.raise);
  return call.record.result;
}

std::atomic<uint32_t> g_open_close_us{0};

void TakeOpenCloseDuration() {
  if (const uint32_t us = g_open_close_us.load(std::memory_order_relaxed))
    std::this_thread::sleep_for(std::chrono::microseconds(us));
}

// Card_DID, Card_BUS and Card_SLOT differ only in the field they report.
uint32_t CardField(OX952SimFunction f, uint32_t card, uint32_t* out, uint32_t CardEntry::*field) {
  return Run(Begin(f, card, out), [&](Simulator& sim, Call& call) -> uint32_t {
    if (!out) return OX952SIM_ERR_NULL_POINTER;
    SimCard* c = sim.Card(card);
    if (!c) return OX952SIM_ERR_BAD_CARD;
    call.Store(1, c->entry.*field);
    return 0;
  });
}

}  // namespace

}  // namespace qv::sim

using namespace qv::sim;

extern "C" {

OX952_API uint32_t OX952_CALL OX952_CardsInSystem(uint32_t* count) {
  return Run(Begin(OX952SIM_CardsInSystem, count), [&](Simulator& sim, Call& call) -> uint32_t {
    // A handled exception is raised too, and then the call goes on as usual.
    call.raise = sim.RaiseAtThisCall();
    if (call.raise != RaiseKind::kNone && call.raise != RaiseKind::kHandledException)
      return OX952SIM_RAISED;
    if (!count) return OX952SIM_ERR_NULL_POINTER;
    call.Store(0, sim.ConfigBad() ? 0 : sim.CardCount());
    return sim.ConfigBad() ? OX952SIM_ERR_CONFIG : 0;
  });
}

OX952_API uint32_t OX952_CALL OX952_Card_DID(uint32_t card, uint32_t* device_id) {
  return CardField(OX952SIM_Card_DID, card, device_id, &CardEntry::device_id);
}

OX952_API uint32_t OX952_CALL OX952_Card_BUS(uint32_t card, uint32_t* bus) {
  return CardField(OX952SIM_Card_BUS, card, bus, &CardEntry::bus);
}

OX952_API uint32_t OX952_CALL OX952_Card_SLOT(uint32_t card, uint32_t* slot) {
  return CardField(OX952SIM_Card_SLOT, card, slot, &CardEntry::slot);
}

OX952_API uint32_t OX952_CALL OX952_Open(uint32_t card, uint32_t zero) {
  const uint32_t result =
      Run(Begin(OX952SIM_Open, card, zero), [&](Simulator& sim, Call&) -> uint32_t {
        SimCard* c = sim.Card(card);
        if (!c) return OX952SIM_ERR_BAD_CARD;
        if (c->entry.in_use || c->open) return OX952SIM_ERR_IN_USE;
        c->open = true;
        return 0;
      });
  TakeOpenCloseDuration();  // with the card open
  return result;
}

OX952_API uint32_t OX952_CALL OX952_BAR11_BaseAdr(uint32_t card, uint32_t* base, uint32_t* second) {
  return Run(Begin(OX952SIM_BAR11_BaseAdr, card, base, second),
             [&](Simulator& sim, Call& call) -> uint32_t {
               if (!base) return OX952SIM_ERR_NULL_POINTER;
               SimCard* c = sim.Card(card);
               if (!c) return OX952SIM_ERR_BAD_CARD;
               if (!c->open) return OX952SIM_ERR_NOT_OPEN;
               call.Store(1, OX952SIM_BASE_FIRST + card * OX952SIM_BASE_STEP);
               // The second is the window's length, where asked for; nobody relies on it.
               call.Store(2, OX952SIM_WINDOW_SIZE);
               return 0;
             });
}

OX952_API uint32_t OX952_CALL OX952_Close(uint32_t card) {
  TakeOpenCloseDuration();  // with the card still open
  return Run(Begin(OX952SIM_Close, card), [&](Simulator& sim, Call&) -> uint32_t {
    SimCard* c = sim.Card(card);
    if (!c) return OX952SIM_ERR_BAD_CARD;
    if (!c->open) return OX952SIM_ERR_NOT_OPEN;
    c->open = false;  // the registers keep their values, as on the card
    return 0;
  });
}

OX952SIM_API void OX952Sim_SetOpenCloseDuration(uint32_t microseconds) {
  g_open_close_us.store(microseconds, std::memory_order_relaxed);
}

OX952_API uint32_t OX952_CALL OX952_MemRead(uint32_t address, uint32_t zero) {
  return Run(Begin(OX952SIM_MemRead, address, zero), [&](Simulator& sim, Call&) -> uint32_t {
    uint32_t offset = 0;
    SimCard* c = sim.OpenCardAt(address, &offset);
    return c ? c->model.Read(offset) : 0;
  });
}

OX952_API uint32_t OX952_CALL OX952_MemWrite(uint32_t address, uint32_t zero, uint32_t value) {
  return Run(Begin(OX952SIM_MemWrite, address, zero, value),
             [&](Simulator& sim, Call&) -> uint32_t {
               uint32_t offset = 0;
               if (SimCard* c = sim.OpenCardAt(address, &offset))
                 c->model.Write(offset, static_cast<uint8_t>(value));
               return 0;
             });
}

}  // extern "C"
