// The tracing card library: stands under the maker's file name in front of the maker's
// real library, forwards each of the nine calls unchanged and writes one trace line per
// call. Faults and exceptions raised by the real library go through untouched: the call
// is a plain call through a function pointer, with nothing of ours around it.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>
#include <type_traits>

#include "card/card_library.h"
#include "card/our_libraries.h"
#include "config/env.h"
#include "trace/trace_line.h"
#include "trace/trace_platform.h"

namespace qv::trace {

namespace {

constexpr const char* kRealVariable = "VODRA_OX952_REAL";
// The real library's default file name beside this one (set by the build).
constexpr const char* kRealDefaultName = QV_TRACE_REAL_NAME;

// Where a call's line sits in the trace file, so that its full line can replace it.
struct Slot {
  char stamp[32] = {};
  int64_t start = -1;
  int64_t end = -1;
};

// The trace file, opened once. A call's line is written before the call (ending in "...")
// and rewritten in place when the call returns, so that after a crash the trace ends with
// the call that never came back. The full line is never shorter than its first version.
// Other processes may trace into the same file at the same time: each write holds the
// file's lock (and the mutex, for this process's threads), goes to the file's end as it is
// then, and begins on a fresh line, also after a line that a process cut short when it
// died. Every line names this process after its time stamp.
class TraceFile {
 public:
  ~TraceFile() {
    if (file_ != nullptr) kTracePlatform.CloseFile(file_);
  }

  void Open(const std::string& path) {
    std::string error;
    file_ = kTracePlatform.OpenFile(path.c_str(), &error);
    if (file_ == nullptr)
      std::fprintf(stderr, "VODRA_OX952 tracer: trace file %s cannot be opened: %s\n", path.c_str(),
                   error.c_str());
    FormatProcessTag(kTracePlatform.ProcessId(), tag_, sizeof tag_);
  }

  bool IsOpen() const { return file_ != nullptr; }

  void Begin(const TraceCall& call, Slot& slot) {
    kTracePlatform.Now(slot.stamp, sizeof slot.stamp);
    char line[256];
    FormatTraceLine(call, Ending::kInFlight, line, sizeof line);
    std::lock_guard<std::mutex> lock(mutex_);
    Locked locked(file_);
    slot.start = Append(slot.stamp, "", line, &slot.end);
  }

  void End(const TraceCall& call, const Slot& slot) {
    char line[256];
    FormatTraceLine(call, Ending::kResult, line, sizeof line);
    std::lock_guard<std::mutex> lock(mutex_);
    Locked locked(file_);
    // Another line came after ours (another thread or process, or the library behind this
    // one): add the full line instead.
    if (slot.start >= 0 && slot.end >= 0 && kTracePlatform.FileSize(file_) == slot.end)
      Write(slot.start, slot.stamp, "", line);
    else
      Append(slot.stamp, "", line, nullptr);
  }

  void Note(std::string_view text) {
    std::lock_guard<std::mutex> lock(mutex_);
    Locked locked(file_);
    AppendNow("# ", text);
  }

  // At unload a thread cut off inside a call may still hold the lock: the run did not end
  // cleanly then, and gets no end mark.
  void Mark(RunMark mark) {
    char text[48];
    FormatRunMark(mark, kTracePlatform.ProcessId(), text, sizeof text);
    std::unique_lock<std::mutex> lock(mutex_, std::try_to_lock);
    if (!lock.owns_lock()) return;
    Locked locked(file_);
    AppendNow("", text);
  }

 private:
  // The file's lock, held for one write.
  struct Locked {
    explicit Locked(void* file) : file(file) { kTracePlatform.LockFile(file, true); }
    ~Locked() { kTracePlatform.LockFile(file, false); }
    Locked(const Locked&) = delete;
    Locked& operator=(const Locked&) = delete;
    void* file;
  };

  // Writes "stamp [pid] prefix text\n" at `at`; its end, or -1 when it failed.
  int64_t Write(int64_t at, const char* stamp, const char* prefix, std::string_view text) {
    char line[512];
    const int n = std::snprintf(line, sizeof line, "%s %s%s%.*s\n", stamp, tag_, prefix,
                                static_cast<int>(text.size()), text.data());
    if (n <= 0) return -1;
    const std::size_t size = std::min(static_cast<std::size_t>(n), sizeof line - 1);
    line[size - 1] = '\n';
    return kTracePlatform.WriteAt(file_, at, line, size) ? at + static_cast<int64_t>(size) : -1;
  }

  // Writes the line at the file's end, on a line of its own; where it starts, or -1, and
  // (in `end`) where it ends.
  int64_t Append(const char* stamp, const char* prefix, std::string_view text, int64_t* end) {
    int64_t at = kTracePlatform.FileSize(file_);
    char last = '\n';
    if (at > 0 && kTracePlatform.ReadAt(file_, at - 1, &last, 1) && last != '\n' &&
        kTracePlatform.WriteAt(file_, at, "\n", 1))
      ++at;
    const int64_t written = at >= 0 ? Write(at, stamp, prefix, text) : -1;
    if (end != nullptr) *end = written;
    return written >= 0 ? at : -1;
  }

  void AppendNow(const char* prefix, std::string_view text) {
    char stamp[32];
    kTracePlatform.Now(stamp, sizeof stamp);
    Append(stamp, prefix, text, nullptr);
  }

  std::mutex mutex_;
  void* file_ = nullptr;
  char tag_[24] = {};  // "[4242] "
};

class Tracer {
 public:
  Tracer() {
    std::string trace_path;
    if (ReadEnv(kTraceVariable, &trace_path) && !trace_path.empty()) trace_.Open(trace_path);
    if (trace_.IsOpen()) trace_.Mark(RunMark::kStart);
    LoadReal();
  }
  ~Tracer() {
    if (trace_.IsOpen()) trace_.Mark(RunMark::kEnd);
  }
  Tracer(const Tracer&) = delete;
  Tracer& operator=(const Tracer&) = delete;

  const CardLibrary* Real() const { return ready_ ? &real_ : nullptr; }
  const std::string& RealPath() const { return real_path_; }
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
      const bool ok = BindCardLibrary(
          [library](const char* name) { return kTracePlatform.Find(library, name); }, real_,
          missing);
      // The library is kept loaded until the process ends.
      if (!ok) {
        error = "it does not export " + missing;
      } else if (real_.Open == &OX952_Open) {
        error = "it is this tracing library itself";
      } else {
        ready_ = true;
        real_path_ = path;
        return;
      }
    }
    const std::string message = "cannot use the real card library " + path + ": " + error +
                                " (set " + kRealVariable + " to its path); every call fails";
    std::fprintf(stderr, "VODRA_OX952 tracer: %s\n", message.c_str());
    if (trace_.IsOpen()) trace_.Note(message);
  }

  TraceFile trace_;
  CardLibrary real_{};
  std::string real_path_;  // "" until the real library is ready
  bool ready_ = false;
};

Tracer& Get() {
  static Tracer tracer;  // set up at the first call, never while the library is being loaded
  return tracer;
}

// True when `trace` (OX952_FUNCTIONS) has a letter for each argument of types A, and an
// out-argument's letter exactly for the pointers.
template <typename... A>
constexpr bool LettersFit(std::string_view trace) {
  const bool pointer[] = {std::is_pointer_v<A>..., false};
  if (trace.find('=') != sizeof...(A)) return false;
  for (std::size_t i = 0; i < sizeof...(A); ++i) {
    if (IsOutLetter(trace[i]) != pointer[i]) return false;
  }
  return true;
}

uint32_t InValue(uint32_t value) {
  return value;
}
uint32_t InValue(const uint32_t*) {
  return 0;
}

uint32_t Peek(uint32_t) {
  return 0;
}
uint32_t Peek(const uint32_t* out) {
  return out != nullptr ? *out : 0;
}

// An out-argument: shown when the call succeeded or changed it.
void ShowOut(TraceCall& call, int arg, const uint32_t* out, uint32_t before) {
  if (out == nullptr || (call.result != 0 && *out == before)) return;
  call.args[arg] = *out;
  call.stored |= static_cast<uint8_t>(1u << arg);
}
void ShowOut(TraceCall&, int, uint32_t, uint32_t) {}

// One forwarded call: its line before it, the full line after it.
template <auto Member, Function F, typename... A>
uint32_t Forward(A... args) {
  static_assert(LettersFit<A...>(kFunctions[F].trace));
  Tracer& tracer = Get();
  TraceCall call;
  call.function = F;
  int i = 0;
  ((call.args[i++] = InValue(args)), ...);
  TraceFile* trace = tracer.Trace();
  Slot slot;
  if (trace) trace->Begin(call, slot);
  const CardLibrary* real = tracer.Real();
  if (real == nullptr) {
    call.result = kFailedResult;  // as without a card library at all
  } else {
    const uint32_t before[] = {Peek(args)...};
    call.result = (real->*Member)(args...);
    i = 0;
    ((ShowOut(call, i, args, before[i]), ++i), ...);
  }
  if (trace) trace->End(call, slot);
  return call.result;
}

}  // namespace

}  // namespace qv::trace

using namespace qv::trace;

extern "C" {

#define QV_TRACE_EXPORT(name, parameters, arguments, trace)                     \
  OX952_API uint32_t OX952_CALL OX952_##name parameters {                       \
    return Forward<&qv::CardLibrary::name, k##name>(OX952_ARGUMENTS arguments); \
  }
OX952_FUNCTIONS(QV_TRACE_EXPORT)
#undef QV_TRACE_EXPORT

// Which library stands behind this one, for qvhost --list-cards.
OX952_API const char* Qv_lvk5120x_RealLibrary(void) {
  return Get().RealPath().c_str();
}

}  // extern "C"
