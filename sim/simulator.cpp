// The nine functions of the card library and the simulator's test interface, over one
// shared state behind one mutex.
#include <array>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "card/ox952.h"
#include "config/env.h"
#include "sim/card_model.h"
#include "sim/ox952_sim.h"
#include "sim/sim_config.h"
#include "sim/sim_platform.h"
#include "trace/trace_line.h"

namespace qv::sim {

namespace {

constexpr const char* kConfigVariable = "VODRA_OX952_SIM";
constexpr const char* kTraceVariable = "VODRA_OX952_TRACE";

struct SimCard {
  CardEntry entry;
  bool open = false;
  CardModel model;
};

// A call on its way into the journal and the trace.
struct Call {
  OX952SimCall record{};
  uint8_t stored = 0;  // bit i: args[i] is an out-argument that the call filled
};

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

class Simulator {
 public:
  ~Simulator() { CloseTrace(); }

  std::unique_lock<std::mutex> Lock() {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!loaded_) LoadFromEnvironment();
    return lock;
  }

  void Reset() {
    std::lock_guard<std::mutex> lock(mutex_);
    LoadFromEnvironment();
  }

  int Configure(const char* text) {
    std::lock_guard<std::mutex> lock(mutex_);
    ClearState();
    OpenTrace();
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

  // Decides what the n-th call of `f` does: a configured fault result, or 0 to go on.
  uint32_t FaultResult(OX952SimFunction f) {
    const uint32_t n = ++calls_[f];
    for (const FaultEntry& fault : config_.faults) {
      if (fault.function == f && fault.call == n) return fault.result;
    }
    return 0;
  }

  RaiseKind RaiseAtThisCall() const {
    const uint32_t n = calls_[OX952SIM_CardsInSystem];  // already counted
    for (const RaiseEntry& raise : config_.raises) {
      if (raise.call == 0 || raise.call == n) return raise.kind;
    }
    return RaiseKind::kNone;
  }

  SimCard* Card(uint32_t index) { return index < cards_.size() ? &cards_[index] : nullptr; }

  // The open card whose window holds `address`, with the offset in it; counts misses.
  SimCard* OpenCardAt(uint32_t address, uint32_t* offset) {
    if (address >= OX952SIM_BASE_FIRST) {
      const uint32_t rel = address - OX952SIM_BASE_FIRST;
      SimCard* card = Card(rel / OX952SIM_BASE_STEP);
      *offset = rel % OX952SIM_BASE_STEP;
      if (card && card->open && *offset < OX952SIM_WINDOW_SIZE) return card;
    }
    ++closed_accesses_;
    return nullptr;
  }

  void Finish(const Call& call, const char* raised = nullptr) {
    if (journal_.size() < OX952SIM_JOURNAL_LIMIT) journal_.push_back(call.record);
    if (trace_) WriteTrace(call, raised);
  }

  bool ConfigBad() const { return !config_error_.empty(); }
  const std::string& ConfigError() const { return config_error_; }
  uint32_t CardCount() const { return static_cast<uint32_t>(cards_.size()); }
  std::vector<OX952SimCall>& Journal() { return journal_; }
  uint32_t ClosedAccesses() const { return closed_accesses_; }
  uint32_t OpenCount() const {
    uint32_t n = 0;
    for (const SimCard& card : cards_) n += card.open ? 1 : 0;
    return n;
  }

 private:
  void ClearState() {
    cards_.clear();
    journal_.clear();
    calls_.fill(0);
    closed_accesses_ = 0;
    loaded_ = true;
  }

  void Apply(SimConfig config, std::string error) {
    config_ = std::move(config);
    config_error_ = std::move(error);
    for (const CardEntry& entry : config_.cards) {
      cards_.emplace_back();
      cards_.back().entry = entry;
    }
  }

  void LoadFromEnvironment() {
    ClearState();
    OpenTrace();
    std::string path;
    if (!ReadEnv(kConfigVariable, &path) || path.empty()) {
      Apply(DefaultSimConfig(), {});
      return;
    }
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

  void OpenTrace() {
    CloseTrace();
    std::string path;
    if (!ReadEnv(kTraceVariable, &path) || path.empty()) return;
    trace_ = std::fopen(path.c_str(), "a");
    if (!trace_) {
      std::fprintf(stderr, "VODRA_OX952 simulator: trace file %s cannot be opened\n", path.c_str());
    }
  }

  void CloseTrace() {
    if (trace_) std::fclose(trace_);
    trace_ = nullptr;
  }

  void WriteTrace(const Call& call, const char* raised) {
    const OX952SimCall& r = call.record;
    trace::TraceCall line_call;
    line_call.function = static_cast<uint32_t>(r.function);
    for (int i = 0; i < 3; ++i) line_call.args[i] = r.args[i];
    line_call.stored = call.stored;
    line_call.result = r.result;
    char line[192];
    std::string ending;
    if (raised) ending = std::string("raises ") + raised;
    trace::FormatTraceLine(line_call, raised ? ending.c_str() : nullptr, line, sizeof line);
    std::fputs(line, trace_);
    std::fputc('\n', trace_);
    std::fflush(trace_);
  }

  std::mutex mutex_;
  bool loaded_ = false;
  SimConfig config_;
  std::string config_error_;
  std::vector<SimCard> cards_;
  std::vector<OX952SimCall> journal_;
  std::array<uint32_t, trace::kFunctionCount> calls_{};
  uint32_t closed_accesses_ = 0;
  std::FILE* trace_ = nullptr;
};

Simulator& Sim() {
  static Simulator simulator;
  return simulator;
}

Call Begin(OX952SimFunction f, uint32_t a0 = 0, uint32_t a1 = 0, uint32_t a2 = 0) {
  Call call;
  call.record.function = f;
  call.record.args[0] = a0;
  call.record.args[1] = a1;
  call.record.args[2] = a2;
  return call;
}

void Store(Call& call, int arg, uint32_t* out, uint32_t value) {
  *out = value;
  call.record.args[arg] = value;
  call.stored |= static_cast<uint8_t>(1u << arg);
}

// Card_DID, Card_BUS and Card_SLOT differ only in the field they report.
uint32_t CardField(OX952SimFunction f, uint32_t card, uint32_t* out, uint32_t CardEntry::*field) {
  Simulator& sim = Sim();
  auto lock = sim.Lock();
  Call call = Begin(f, card);
  uint32_t& result = call.record.result;
  if ((result = sim.FaultResult(f)) != 0) {
  } else if (!out) {
    result = OX952SIM_ERR_NULL_POINTER;
  } else if (SimCard* c = sim.Card(card)) {
    Store(call, 1, out, c->entry.*field);
  } else {
    result = OX952SIM_ERR_BAD_CARD;
  }
  sim.Finish(call);
  return result;
}

}  // namespace

}  // namespace qv::sim

using namespace qv::sim;

extern "C" {

OX952_API uint32_t OX952_CALL OX952_CardsInSystem(uint32_t* count) {
  RaiseKind raise = RaiseKind::kNone;
  bool handled = false;  // raised and handled inside: the call goes on as usual
  uint32_t result = 0;
  {
    Simulator& sim = Sim();
    auto lock = sim.Lock();
    Call call = Begin(OX952SIM_CardsInSystem);
    result = sim.FaultResult(OX952SIM_CardsInSystem);  // counts the call
    const RaiseKind configured = sim.RaiseAtThisCall();
    handled = configured == RaiseKind::kHandledException;
    if (result != 0) {
    } else if (configured != RaiseKind::kNone && !handled) {
      raise = configured;
      result = OX952SIM_RAISED;
    } else if (!count) {
      result = OX952SIM_ERR_NULL_POINTER;
    } else if (sim.ConfigBad()) {
      result = OX952SIM_ERR_CONFIG;
      Store(call, 0, count, 0);
    } else {
      Store(call, 0, count, sim.CardCount());
    }
    call.record.result = result;
    sim.Finish(call, raise != RaiseKind::kNone ? RaiseKindName(raise) : nullptr);
  }
  // Raised outside the lock: whoever catches it may call us again.
  if (handled) kSimPlatform.Raise(RaiseKind::kHandledException);
  if (raise != RaiseKind::kNone) kSimPlatform.Raise(raise);
  return result;
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
  Simulator& sim = Sim();
  auto lock = sim.Lock();
  Call call = Begin(OX952SIM_Open, card, zero);
  uint32_t& result = call.record.result;
  SimCard* c = sim.Card(card);
  if ((result = sim.FaultResult(OX952SIM_Open)) != 0) {
  } else if (!c) {
    result = OX952SIM_ERR_BAD_CARD;
  } else if (c->entry.in_use || c->open) {
    result = OX952SIM_ERR_IN_USE;
  } else {
    c->open = true;
  }
  sim.Finish(call);
  return result;
}

OX952_API uint32_t OX952_CALL OX952_BAR11_BaseAdr(uint32_t card, uint32_t* base, uint32_t* second) {
  Simulator& sim = Sim();
  auto lock = sim.Lock();
  Call call = Begin(OX952SIM_BAR11_BaseAdr, card);
  uint32_t& result = call.record.result;
  SimCard* c = sim.Card(card);
  if ((result = sim.FaultResult(OX952SIM_BAR11_BaseAdr)) != 0) {
  } else if (!base) {
    result = OX952SIM_ERR_NULL_POINTER;
  } else if (!c) {
    result = OX952SIM_ERR_BAD_CARD;
  } else if (!c->open) {
    result = OX952SIM_ERR_NOT_OPEN;
  } else {
    Store(call, 1, base, OX952SIM_BASE_FIRST + card * OX952SIM_BASE_STEP);
    // The second value is the window's length; nobody relies on it.
    if (second) Store(call, 2, second, OX952SIM_WINDOW_SIZE);
  }
  sim.Finish(call);
  return result;
}

OX952_API uint32_t OX952_CALL OX952_Close(uint32_t card) {
  Simulator& sim = Sim();
  auto lock = sim.Lock();
  Call call = Begin(OX952SIM_Close, card);
  uint32_t& result = call.record.result;
  SimCard* c = sim.Card(card);
  if ((result = sim.FaultResult(OX952SIM_Close)) != 0) {
  } else if (!c) {
    result = OX952SIM_ERR_BAD_CARD;
  } else if (!c->open) {
    result = OX952SIM_ERR_NOT_OPEN;
  } else {
    c->open = false;  // the registers keep their values, as on the card
  }
  sim.Finish(call);
  return result;
}

OX952_API uint32_t OX952_CALL OX952_MemRead(uint32_t address, uint32_t zero) {
  Simulator& sim = Sim();
  auto lock = sim.Lock();
  Call call = Begin(OX952SIM_MemRead, address, zero);
  uint32_t& result = call.record.result;
  uint32_t offset = 0;
  if ((result = sim.FaultResult(OX952SIM_MemRead)) != 0) {
  } else if (SimCard* c = sim.OpenCardAt(address, &offset)) {
    result = c->model.Read(offset);
  }
  sim.Finish(call);
  return result;
}

OX952_API uint32_t OX952_CALL OX952_MemWrite(uint32_t address, uint32_t zero, uint32_t value) {
  Simulator& sim = Sim();
  auto lock = sim.Lock();
  Call call = Begin(OX952SIM_MemWrite, address, zero, value);
  uint32_t& result = call.record.result;
  uint32_t offset = 0;
  if ((result = sim.FaultResult(OX952SIM_MemWrite)) != 0) {
  } else if (SimCard* c = sim.OpenCardAt(address, &offset)) {
    c->model.Write(offset, static_cast<uint8_t>(value));
  }
  sim.Finish(call);
  return result;
}

// --- Test interface ---------------------------------------------------------------------

OX952SIM_API void OX952Sim_Reset(void) {
  Sim().Reset();
}

OX952SIM_API int OX952Sim_Configure(const char* text) {
  return Sim().Configure(text);
}

OX952SIM_API const char* OX952Sim_ConfigError(void) {
  Simulator& sim = Sim();
  auto lock = sim.Lock();
  return sim.ConfigError().c_str();
}

OX952SIM_API uint32_t OX952Sim_CardCount(void) {
  Simulator& sim = Sim();
  auto lock = sim.Lock();
  return sim.CardCount();
}

OX952SIM_API uint32_t OX952Sim_JournalSize(void) {
  Simulator& sim = Sim();
  auto lock = sim.Lock();
  return static_cast<uint32_t>(sim.Journal().size());
}

OX952SIM_API int OX952Sim_JournalEntry(uint32_t index, OX952SimCall* out) {
  Simulator& sim = Sim();
  auto lock = sim.Lock();
  if (!out || index >= sim.Journal().size()) return 1;
  *out = sim.Journal()[index];
  return 0;
}

OX952SIM_API void OX952Sim_ClearJournal(void) {
  Simulator& sim = Sim();
  auto lock = sim.Lock();
  sim.Journal().clear();
}

OX952SIM_API const char* OX952Sim_FunctionName(OX952SimFunction f) {
  return qv::trace::FunctionName(static_cast<uint32_t>(f));
}

OX952SIM_API void OX952Sim_SetReadByte(uint32_t card, uint32_t offset, uint8_t value) {
  Simulator& sim = Sim();
  auto lock = sim.Lock();
  if (SimCard* c = sim.Card(card)) c->model.SetReadByte(offset, value);
}

OX952SIM_API int OX952Sim_WrittenByte(uint32_t card, uint32_t offset) {
  Simulator& sim = Sim();
  auto lock = sim.Lock();
  SimCard* c = sim.Card(card);
  return c ? c->model.WrittenByte(offset) : -1;
}

OX952SIM_API int OX952Sim_ReadByte(uint32_t card, uint32_t offset) {
  Simulator& sim = Sim();
  auto lock = sim.Lock();
  SimCard* c = sim.Card(card);
  return c && offset < OX952SIM_WINDOW_SIZE ? c->model.Read(offset) : -1;
}

OX952SIM_API uint32_t OX952Sim_Count(uint32_t card, uint32_t counter) {
  Simulator& sim = Sim();
  auto lock = sim.Lock();
  SimCard* c = sim.Card(card);
  return c ? c->model.Count(counter) : 0;
}

OX952SIM_API uint32_t OX952Sim_OpenCardCount(void) {
  Simulator& sim = Sim();
  auto lock = sim.Lock();
  return sim.OpenCount();
}

OX952SIM_API int OX952Sim_IsOpen(uint32_t card) {
  Simulator& sim = Sim();
  auto lock = sim.Lock();
  SimCard* c = sim.Card(card);
  return c && c->open ? 1 : 0;
}

OX952SIM_API uint32_t OX952Sim_ClosedCardAccessCount(void) {
  Simulator& sim = Sim();
  auto lock = sim.Lock();
  return sim.ClosedAccesses();
}

OX952SIM_API uint32_t OX952Sim_BaseAddress(uint32_t card) {
  Simulator& sim = Sim();
  auto lock = sim.Lock();
  return sim.Card(card) ? OX952SIM_BASE_FIRST + card * OX952SIM_BASE_STEP : 0;
}

}  // extern "C"
