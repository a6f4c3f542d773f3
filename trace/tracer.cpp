// The tracing card library: stands under the maker's file name in front of the maker's
// real library, forwards each of the nine calls unchanged and writes one trace line per
// call. Faults and exceptions raised by the real library go through untouched: the call
// is a plain call through a function pointer, with nothing of ours around it.
#include <cstdio>
#include <mutex>
#include <string>

#include "card/ox952.h"
#include "config/env.h"
#include "trace/trace_line.h"
#include "trace/trace_platform.h"

namespace qv::trace {

namespace {

constexpr const char* kTraceVariable = "VODRA_OX952_TRACE";
constexpr const char* kRealVariable = "VODRA_OX952_REAL";
// The real library's default file name beside this one (set by the build).
constexpr const char* kRealDefaultName = QV_TRACE_REAL_NAME;
// What every call returns while the real library is missing (MemRead: the byte 0xFF).
constexpr uint32_t kNoRealLibrary = 0xFFFFFFFF;
// Marks a call that has not returned yet; the call's full line replaces it when it does.
constexpr const char* kInFlight = "...";

struct RealLibrary {
  uint32_t(OX952_CALL* CardsInSystem)(uint32_t*);
  uint32_t(OX952_CALL* Card_DID)(uint32_t, uint32_t*);
  uint32_t(OX952_CALL* Card_BUS)(uint32_t, uint32_t*);
  uint32_t(OX952_CALL* Card_SLOT)(uint32_t, uint32_t*);
  uint32_t(OX952_CALL* Open)(uint32_t, uint32_t);
  uint32_t(OX952_CALL* BAR11_BaseAdr)(uint32_t, uint32_t*, uint32_t*);
  uint32_t(OX952_CALL* Close)(uint32_t);
  uint32_t(OX952_CALL* MemRead)(uint32_t, uint32_t);
  uint32_t(OX952_CALL* MemWrite)(uint32_t, uint32_t, uint32_t);
};

// Where a call's line sits in the trace file, so that its full line can replace it.
struct Slot {
  char stamp[32] = {};
  long start = -1;
  long end = -1;
};

// The trace file, opened once. A call's line is written before the call (ending in "...")
// and rewritten in place when the call returns, so that after a crash the trace ends with
// the call that never came back. The full line is never shorter than its first version.
class TraceFile {
 public:
  void Open(const std::string& path) {
    // Not append mode: the first version of a line is overwritten in place.
    file_ = std::fopen(path.c_str(), "r+");
    if (file_ == nullptr) file_ = std::fopen(path.c_str(), "w+");
    if (file_ == nullptr)
      std::fprintf(stderr, "VODRA_OX952 tracer: trace file %s cannot be opened\n", path.c_str());
  }

  bool IsOpen() const { return file_ != nullptr; }

  void Begin(const TraceCall& call, Slot& slot) {
    kTracePlatform.Now(slot.stamp, sizeof slot.stamp);
    char line[256];
    FormatTraceLine(call, kInFlight, line, sizeof line);
    std::lock_guard<std::mutex> lock(mutex_);
    if (std::fseek(file_, 0, SEEK_END) != 0) return;
    slot.start = std::ftell(file_);
    std::fprintf(file_, "%s %s\n", slot.stamp, line);
    std::fflush(file_);
    slot.end = std::ftell(file_);
  }

  void End(const TraceCall& call, const Slot& slot) {
    char line[256];
    FormatTraceLine(call, nullptr, line, sizeof line);
    std::lock_guard<std::mutex> lock(mutex_);
    // Another line came after ours (another thread or writer): add the full line instead.
    if (std::fseek(file_, 0, SEEK_END) != 0) return;
    if (slot.start >= 0 && slot.end >= 0 && std::ftell(file_) == slot.end)
      std::fseek(file_, slot.start, SEEK_SET);
    std::fprintf(file_, "%s %s\n", slot.stamp, line);
    std::fflush(file_);
  }

  void Note(const std::string& text) {
    char stamp[32];
    kTracePlatform.Now(stamp, sizeof stamp);
    std::lock_guard<std::mutex> lock(mutex_);
    if (std::fseek(file_, 0, SEEK_END) != 0) return;
    std::fprintf(file_, "%s # %s\n", stamp, text.c_str());
    std::fflush(file_);
  }

 private:
  std::mutex mutex_;
  std::FILE* file_ = nullptr;
};

template <typename F>
bool Bind(void* library, const char* name, F& fn, std::string* missing) {
  fn = reinterpret_cast<F>(kTracePlatform.Find(library, name));
  if (fn == nullptr) *missing += missing->empty() ? name : std::string(", ") + name;
  return fn != nullptr;
}

class Tracer {
 public:
  Tracer() {
    std::string trace_path;
    if (ReadEnv(kTraceVariable, &trace_path) && !trace_path.empty()) trace_.Open(trace_path);
    LoadReal();
  }

  const RealLibrary* Real() const { return ready_ ? &real_ : nullptr; }
  TraceFile* Trace() { return trace_.IsOpen() ? &trace_ : nullptr; }

 private:
  void LoadReal() {
    std::string path;
    if (!ReadEnv(kRealVariable, &path) || path.empty())
      path = kTracePlatform.OwnFolder() + kRealDefaultName;
    std::string error;
    void* library = kTracePlatform.Load(path.c_str(), &error);
    if (library != nullptr) {
      std::string missing;
      bool ok = Bind(library, "OX952_CardsInSystem", real_.CardsInSystem, &missing);
      ok = Bind(library, "OX952_Card_DID", real_.Card_DID, &missing) && ok;
      ok = Bind(library, "OX952_Card_BUS", real_.Card_BUS, &missing) && ok;
      ok = Bind(library, "OX952_Card_SLOT", real_.Card_SLOT, &missing) && ok;
      ok = Bind(library, "OX952_Open", real_.Open, &missing) && ok;
      ok = Bind(library, "OX952_BAR11_BaseAdr", real_.BAR11_BaseAdr, &missing) && ok;
      ok = Bind(library, "OX952_Close", real_.Close, &missing) && ok;
      ok = Bind(library, "OX952_MemRead", real_.MemRead, &missing) && ok;
      ok = Bind(library, "OX952_MemWrite", real_.MemWrite, &missing) && ok;
      // The library is kept loaded until the process ends.
      if (!ok) {
        error = "it does not export " + missing;
      } else if (real_.Open == &OX952_Open) {
        error = "it is this tracing library itself";
      } else {
        ready_ = true;
        return;
      }
    }
    const std::string message = "cannot use the real card library " + path + ": " + error +
                                " (set " + kRealVariable + " to its path); every call fails";
    std::fprintf(stderr, "VODRA_OX952 tracer: %s\n", message.c_str());
    if (trace_.IsOpen()) trace_.Note(message);
  }

  TraceFile trace_;
  RealLibrary real_{};
  bool ready_ = false;
};

Tracer& Get() {
  static Tracer tracer;  // set up at the first call, never while the library is being loaded
  return tracer;
}

// One forwarded call: the line before it, the full line after it.
class Traced {
 public:
  Traced(TraceFile* trace, uint32_t function, uint32_t a0 = 0, uint32_t a1 = 0, uint32_t a2 = 0)
      : trace_(trace) {
    call_.function = function;
    call_.args[0] = a0;
    call_.args[1] = a1;
    call_.args[2] = a2;
    if (trace_) trace_->Begin(call_, slot_);
  }

  // An out-argument the call filled: shown when the call succeeded or changed it.
  void Out(int arg, const uint32_t* out, uint32_t before, uint32_t result) {
    if (out == nullptr || (result != 0 && *out == before)) return;
    call_.args[arg] = *out;
    call_.stored |= static_cast<uint8_t>(1u << arg);
  }

  uint32_t Done(uint32_t result) {
    call_.result = result;
    if (trace_) trace_->End(call_, slot_);
    return result;
  }

 private:
  TraceFile* trace_;
  TraceCall call_;
  Slot slot_;
};

uint32_t Peek(const uint32_t* out) {
  return out != nullptr ? *out : 0;
}

// Card_DID, Card_BUS and Card_SLOT differ only in the function called.
uint32_t CardQuery(uint32_t function, uint32_t (OX952_CALL* RealLibrary::*fn)(uint32_t, uint32_t*),
                   uint32_t card, uint32_t* out) {
  Tracer& tracer = Get();
  Traced traced(tracer.Trace(), function, card);
  const RealLibrary* real = tracer.Real();
  if (real == nullptr) return traced.Done(kNoRealLibrary);
  const uint32_t before = Peek(out);
  const uint32_t result = (real->*fn)(card, out);
  traced.Out(1, out, before, result);
  return traced.Done(result);
}

// A call without out-arguments, forwarded as it is.
template <typename Fn, typename... A>
uint32_t Forward(uint32_t function, Fn RealLibrary::*fn, A... args) {
  Tracer& tracer = Get();
  Traced traced(tracer.Trace(), function, args...);
  const RealLibrary* real = tracer.Real();
  if (real == nullptr) return traced.Done(kNoRealLibrary);
  return traced.Done((real->*fn)(args...));
}

}  // namespace

}  // namespace qv::trace

using namespace qv::trace;

extern "C" {

OX952_API uint32_t OX952_CALL OX952_CardsInSystem(uint32_t* count) {
  Tracer& tracer = Get();
  Traced traced(tracer.Trace(), kCardsInSystem);
  const RealLibrary* real = tracer.Real();
  if (real == nullptr) return traced.Done(kNoRealLibrary);
  const uint32_t before = Peek(count);
  const uint32_t result = real->CardsInSystem(count);
  traced.Out(0, count, before, result);
  return traced.Done(result);
}

OX952_API uint32_t OX952_CALL OX952_Card_DID(uint32_t card, uint32_t* device_id) {
  return CardQuery(kCardDid, &RealLibrary::Card_DID, card, device_id);
}

OX952_API uint32_t OX952_CALL OX952_Card_BUS(uint32_t card, uint32_t* bus) {
  return CardQuery(kCardBus, &RealLibrary::Card_BUS, card, bus);
}

OX952_API uint32_t OX952_CALL OX952_Card_SLOT(uint32_t card, uint32_t* slot) {
  return CardQuery(kCardSlot, &RealLibrary::Card_SLOT, card, slot);
}

OX952_API uint32_t OX952_CALL OX952_Open(uint32_t card, uint32_t zero) {
  return Forward(kOpen, &RealLibrary::Open, card, zero);
}

OX952_API uint32_t OX952_CALL OX952_BAR11_BaseAdr(uint32_t card, uint32_t* base, uint32_t* second) {
  Tracer& tracer = Get();
  Traced traced(tracer.Trace(), kBar11BaseAdr, card);
  const RealLibrary* real = tracer.Real();
  if (real == nullptr) return traced.Done(kNoRealLibrary);
  const uint32_t base_before = Peek(base), second_before = Peek(second);
  const uint32_t result = real->BAR11_BaseAdr(card, base, second);
  traced.Out(1, base, base_before, result);
  traced.Out(2, second, second_before, result);
  return traced.Done(result);
}

OX952_API uint32_t OX952_CALL OX952_Close(uint32_t card) {
  return Forward(kClose, &RealLibrary::Close, card);
}

OX952_API uint32_t OX952_CALL OX952_MemRead(uint32_t address, uint32_t zero) {
  return Forward(kMemRead, &RealLibrary::MemRead, address, zero);
}

OX952_API uint32_t OX952_CALL OX952_MemWrite(uint32_t address, uint32_t zero, uint32_t value) {
  return Forward(kMemWrite, &RealLibrary::MemWrite, address, zero, value);
}

}  // extern "C"
