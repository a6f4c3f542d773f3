// Replay of a card library trace (VODRA_OX952_REPLAY): the calls that come are checked
// against the trace's, in its order, and answered from it instead of from the card model,
// so that a site's run can be repeated without its card. The trace is read as the calls
// come, in pieces: memory stays the same however long the trace is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "sim/sim_config.h"
#include "trace/trace_line.h"

namespace qv::sim {

inline constexpr const char* kReplayVariable = "VODRA_OX952_REPLAY";
// Which run of a trace that holds several (one per process) to replay: 1, 2, ...
inline constexpr const char* kReplayRunVariable = "VODRA_OX952_REPLAY_RUN";

// The bytes of a trace, front to back.
class TraceSource {
 public:
  virtual ~TraceSource() = default;
  // Up to `size` bytes into `buffer`; 0 at the end, or on failure with the reason in `error`.
  virtual std::size_t Read(char* buffer, std::size_t size, const char** error) = 0;
};

// A trace held in memory.
class TextSource : public TraceSource {
 public:
  explicit TextSource(std::string_view text) : text_(text) {}
  std::size_t Read(char* buffer, std::size_t size, const char** error) override;

 private:
  std::string_view text_;
};

// One line of a report, built in place, so that a replay that fails for want of memory
// can still say so. Control bytes and bytes outside ASCII are escaped.
class ReportLine {
 public:
  ReportLine& operator<<(std::string_view text);
  ReportLine& operator<<(std::size_t number);
  // `text` in quotes, escaped, and cut after kQuoteLimit bytes.
  ReportLine& Quote(std::string_view text, bool cut = false);
  std::string_view View() const { return {text_, length_}; }
  void Clear() { length_ = 0; }

  static constexpr std::size_t kQuoteLimit = 100;

 private:
  void Put(char c);
  void Add(std::string_view text, bool ascii);
  char text_[1024] = {};
  std::size_t length_ = 0;
};

// The trace's lines: LF, CR LF and CR alone end a line, a UTF-8 byte-order mark at the start
// is skipped and blanks at a line's end are dropped, as editors leave them. A line longer
// than the buffer is cut there and its rest skipped.
class LineReader {
 public:
  struct Line {
    std::string_view text;
    std::size_t number = 0;  // from 1
    bool cut = false;
  };
  // Allocates the buffer (and may throw for it).
  void Start(TraceSource* source);
  // The next line; false at the end of the file or where it cannot be read (Error()).
  bool Next(Line* line);
  std::size_t LastLine() const { return number_; }
  bool Empty() const { return eof_ && total_ == 0; }
  const char* Error() const { return error_; }

  static constexpr std::size_t kBufferSize = 64 * 1024;

 private:
  bool Fill();

  TraceSource* source_ = nullptr;
  std::unique_ptr<char[]> buffer_;
  std::size_t begin_ = 0, end_ = 0;
  std::uint64_t total_ = 0;
  std::size_t number_ = 0;
  bool eof_ = false;
  bool after_cr_ = false;  // an LF that comes next belongs to the CR before it
  bool skipping_ = false;  // the rest of a cut line
  const char* error_ = nullptr;
  char error_text_[200] = {};
};

// Opens the trace at `path` for reading, unbuffered; anything but a readable regular file
// is refused (nullptr) with what it is, or the system's reason, in `reason`.
std::unique_ptr<TraceSource> OpenTraceFile(const std::string& path, std::string* reason);

// Same function, same in-arguments; out-arguments are answers, not compared.
bool SameCall(const trace::TraceCall& a, const trace::TraceCall& b);

// How a trace's lines fall into runs, numbered from 1 in the order they begin. The tracing
// library names its process on every line ("[4242]"), so runs of processes that traced
// into the file at the same time are told apart: each start mark begins one, and the
// process's lines up to its end mark (or its next start mark) are its; a process's call
// without its start mark (a file cut at its front) begins one too. Lines of older
// tracers and the simulator name none: they follow one another, a start mark ends the run
// before, and calls outside a run begin one of their own. Once the file holds a run that
// names its process, lines that name none belong to no run: behind the tracing library
// they are the simulator's copies.
class RunSplitter {
 public:
  struct Line {
    bool stamped = false;  // with the tracing library's time stamp
    bool tagged = false;   // naming its process
    unsigned long process = 0;
    trace::RunMark mark = trace::RunMark::kNone;
    bool note = false;  // "# ...", a mark or not
    bool call = false;  // a call's line, not a broken one
  };
  // The run `line` belongs to (its start and end marks included), 0 for none.
  std::size_t Take(const Line& line);
  // True while the run is open: begun, and neither ended nor cut off by its process's next
  // start (or, without process names, by the next run).
  bool IsOpen(std::size_t run) const;
  std::size_t Runs() const { return runs_; }
  // What `line` is to the splitter (but for `call`, which takes parsing it), and in
  // `prefix` the length of its time stamp and process tag.
  static Line Classify(const LineReader::Line& line, std::size_t* prefix);

  // Processes whose runs are open at once, at most; the oldest is dropped beyond.
  static constexpr std::size_t kOpenLimit = 64;

 private:
  struct Open {
    unsigned long process;
    std::size_t run;
  };
  Open* Find(unsigned long process);
  std::size_t runs_ = 0;
  std::size_t sequence_ = 0;  // the open run whose lines name no process, or 0
  bool sequence_stamped_ = false;
  bool tagged_ = false;  // a run that names its process was seen
  Open open_[kOpenLimit] = {};
  std::size_t open_count_ = 0;
};

class Replay {
 public:
  // Where the replay's reports go, one line each (without its line end).
  using Say = void (*)(void* context, std::string_view line);
  Replay(Say say, void* context) : say_(say), context_(context) {}

  // Replays the trace at `path`; anything but a readable regular file is refused with the
  // reason at the first call. `run`: the value of kReplayRunVariable ("" for the first).
  void Open(const std::string& path, std::string_view run) noexcept;
  // Replays from `source`, named `name` in reports.
  void Start(std::string_view name, std::unique_ptr<TraceSource> source,
             std::string_view run) noexcept;

  // Answers `call` (its function and in-arguments set) as the trace's next call: its
  // result and out-values (`stored`), and what it raised instead of returning (kNone
  // mostly). At the first difference, a line that is no trace line, the run's end, a call
  // that never returned on site or a file that cannot be read, one report; from then on
  // every call fails as without a library: result 0xFFFFFFFF (MemRead: the byte 0xFF).
  RaiseKind Answer(trace::TraceCall& call) noexcept;
  // The end of the host's run: reports the run's calls that never came, from the line where
  // they start, and says how many runs the file holds when it holds several.
  void End() noexcept;
  // Reports made so far (a note on the runs is none).
  uint32_t Reports() const { return reports_; }

 private:
  struct Step {
    enum Kind {
      kAnswer,    // answer with the line's result and out-values
      kInFlight,  // written before the call, which had not returned: settled by what follows
      kRaise,     // raise instead of returning
      kDied,      // never returned, and the run ended without its end mark
      kBad,       // not a trace line
      kStart,     // the tracing library's start of a run
      kEnd,       // the tracing library's clean end of a run
    };
    Kind kind = kBad;
    std::size_t line = 0;
    std::size_t run = 0;   // the run it belongs to, from 1; 0 for none
    bool stamped = false;  // written by the tracing library
    trace::TraceCall call;
    RaiseKind raise = RaiseKind::kNone;
    char text[ReportLine::kQuoteLimit + 1] = {};  // as the trace holds it, cut
    std::size_t length = 0;
    bool cut = false;
    std::string_view Text() const { return {text, length}; }
  };

  bool ReadStep(Step* step);
  void ReadCall(const LineReader::Line& line, std::size_t stamp, Step* step) const;
  bool ReadRunStep(Step* step);
  bool Peek();
  bool NextCall(Step* step);
  bool Locate();
  RaiseKind Take(const Step& step, trace::TraceCall& call);
  ReportLine& Begin(std::size_t line, bool after = false);
  void Report();

  Say say_;
  void* context_;
  std::string name_;
  std::unique_ptr<TraceSource> source_;
  LineReader lines_;
  const char* refused_ = nullptr;  // why the file cannot be replayed at all
  char reason_[200] = {};          // the system's words for it
  std::size_t chosen_ = 1;
  RunSplitter runs_;
  std::size_t run_first_ = 0, run_last_ = 0;
  bool run_marked_ = false;  // the chosen run began with a start mark
  bool run_over_ = false, run_clean_ = false;
  Step ahead_;
  bool have_ahead_ = false;
  bool located_ = false, failed_ = false, ended_ = false;
  uint32_t reports_ = 0;
  ReportLine report_;
};

}  // namespace qv::sim
