#include "sim/replay.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <system_error>

namespace qv::sim {

namespace {

using trace::kFunctions;
using trace::TraceCall;

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

// The call as it came: its function and in-arguments.
std::string_view Came(const TraceCall& call, char (&line)[192]) {
  return {line, trace::FormatTraceLine(call, trace::Ending::kNone, line, sizeof line)};
}

// A trace file, read unbuffered: the reader has its own buffer.
struct FileSource : TraceSource {
  ~FileSource() override {
    if (file != nullptr) std::fclose(file);
  }
  std::size_t Read(char* buffer, std::size_t size, const char** error) override {
    const std::size_t n = std::fread(buffer, 1, size, file);
    if (n == 0 && std::ferror(file)) *error = std::strerror(errno);
    return n;
  }
  std::FILE* file = nullptr;
};

// What a file that is not a regular one is, for the report.
const char* KindOfFile(std::filesystem::file_type type) {
  using std::filesystem::file_type;
  if (type == file_type::directory) return "it is a folder";
  if (type == file_type::fifo) return "it is a pipe (FIFO), which would wait for a writer";
  return "it is not a regular file (a device or a socket)";
}

// The value of kReplayRunVariable: 1 when unset, 0 when it is no run number.
std::size_t RunNumber(std::string_view text) {
  std::size_t run = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), run);
  return text.empty() ? 1 : error == std::errc() && end == text.data() + text.size() ? run : 0;
}

}  // namespace

bool SameCall(const TraceCall& a, const TraceCall& b) {
  if (a.function != b.function) return false;
  const char* letters = kFunctions[a.function].trace;
  for (int i = 0; letters[i] != '='; ++i) {
    if (!trace::IsOutLetter(letters[i]) && a.args[i] != b.args[i]) return false;
  }
  return true;
}

std::size_t TextSource::Read(char* buffer, std::size_t size, const char**) {
  const std::size_t n = std::min(size, text_.size());
  std::memcpy(buffer, text_.data(), n);
  text_.remove_prefix(n);
  return n;
}

void ReportLine::Put(char c) {
  if (length_ < sizeof text_) text_[length_++] = c;
}

void ReportLine::Add(std::string_view text, bool ascii) {
  for (const char c : text) {
    // A quote from a trace, which is ASCII, shows any other byte by its value too: the
    // report stays one line of plain text whatever the file holds.
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F || (ascii && (byte > 0x7F || c == '\\'))) {
      for (const char e : {'\\', 'x', "0123456789ABCDEF"[byte >> 4], "0123456789ABCDEF"[byte & 15]})
        Put(e);
    } else {
      Put(c);
    }
  }
}

ReportLine& ReportLine::operator<<(std::string_view text) {
  Add(text, false);
  return *this;
}

ReportLine& ReportLine::operator<<(std::size_t number) {
  char digits[24];
  const auto end = std::to_chars(digits, digits + sizeof digits, number).ptr;
  return *this << std::string_view(digits, static_cast<std::size_t>(end - digits));
}

ReportLine& ReportLine::Quote(std::string_view text, bool cut) {
  Put('"');
  Add(text.substr(0, kQuoteLimit), true);
  Put('"');
  return *this << (cut || text.size() > kQuoteLimit ? " (cut)" : "");
}

void LineReader::Start(TraceSource* source) {
  source_ = source;
  buffer_ = std::make_unique_for_overwrite<char[]>(kBufferSize);
}

bool LineReader::Fill() {
  if (eof_ || error_ != nullptr) return false;
  std::memmove(buffer_.get(), buffer_.get() + begin_, end_ - begin_);
  end_ -= begin_;
  begin_ = 0;
  const char* why = nullptr;
  const std::size_t n = source_->Read(buffer_.get() + end_, kBufferSize - end_, &why);
  if (why != nullptr) {
    std::snprintf(error_text_, sizeof error_text_, "the file cannot be read further: %s", why);
    error_ = error_text_;
  }
  if (total_ == 0 && n >= 2) {
    const auto b0 = static_cast<unsigned char>(buffer_[0]);
    const auto b1 = static_cast<unsigned char>(buffer_[1]);
    if ((b0 == 0xFF && b1 == 0xFE) || (b0 == 0xFE && b1 == 0xFF))
      error_ = "the file is UTF-16 text; save it as UTF-8 or ANSI text";
  }
  total_ += n;
  end_ += n;
  eof_ = n == 0 && error_ == nullptr;
  return n > 0 && error_ == nullptr;
}

bool LineReader::Next(Line* line) {
  for (;;) {
    if (error_ != nullptr || (begin_ == end_ && !Fill())) return false;
    const char* const start = buffer_.get() + begin_;
    const std::size_t size = end_ - begin_;
    if (after_cr_) {  // CR LF is one line end
      after_cr_ = false;
      if (*start == '\n') {
        ++begin_;
        continue;
      }
    }
    const char* lf = static_cast<const char*>(std::memchr(start, '\n', size));
    const std::size_t before_lf = lf != nullptr ? static_cast<std::size_t>(lf - start) : size;
    const char* cr = static_cast<const char*>(std::memchr(start, '\r', before_lf));
    const char* eol = cr != nullptr ? cr : lf;
    const bool full = begin_ == 0 && end_ == kBufferSize;
    if (eol == nullptr && !eof_ && !full && !skipping_) {
      if (!Fill() && error_ != nullptr) return false;
      continue;
    }
    const std::size_t length = eol != nullptr ? static_cast<std::size_t>(eol - start) : size;
    begin_ += eol != nullptr ? length + 1 : length;
    after_cr_ = eol != nullptr && *eol == '\r';
    const bool was_skipping = skipping_;
    skipping_ = eol == nullptr && !eof_;  // a line longer than the buffer: its rest goes
    if (was_skipping) continue;
    std::string_view text(start, length);
    if (number_ == 0 && text.substr(0, 3) == "\xEF\xBB\xBF") text.remove_prefix(3);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    *line = {text, ++number_, skipping_};
    return true;
  }
}

std::unique_ptr<TraceSource> OpenTraceFile(const std::string& path, std::string* reason) {
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  auto source = std::make_unique<FileSource>();
  if (error) {
    *reason = "the file cannot be opened: " + error.message();
  } else if (!std::filesystem::is_regular_file(status)) {
    *reason = std::string("the file cannot be replayed: ") + KindOfFile(status.type());
  } else if ((source->file = std::fopen(path.c_str(), "rb")) == nullptr) {
    *reason = std::string("the file cannot be opened: ") + std::strerror(errno);
  } else {
    std::setvbuf(source->file, nullptr, _IONBF, 0);  // the reader has its own buffer
    return source;
  }
  return nullptr;
}

RunSplitter::Open* RunSplitter::Find(unsigned long process) {
  for (std::size_t i = open_count_; i-- > 0;) {
    if (open_[i].process == process) return &open_[i];
  }
  return nullptr;
}

std::size_t RunSplitter::Take(const Line& line) {
  if (line.tagged) {
    tagged_ = true;
    Open* open = Find(line.process);
    if (line.mark == trace::RunMark::kStart) {
      sequence_ = 0;
      ++runs_;
      if (open == nullptr && open_count_ == kOpenLimit) {  // the oldest goes
        std::copy(open_ + 1, open_ + open_count_, open_);
        --open_count_;
      }
      if (open == nullptr) open = &open_[open_count_++];
      *open = {line.process, runs_};
      return runs_;
    }
    if (open == nullptr && (line.note || line.mark != trace::RunMark::kNone)) return 0;
    if (open == nullptr) {  // its start is not in the file (cut at its front): a run anyway
      Line start = line;
      start.mark = trace::RunMark::kStart;
      return Take(start);
    }
    const std::size_t run = open->run;
    if (line.mark == trace::RunMark::kEnd) {
      std::copy(open + 1, open_ + open_count_, open);
      --open_count_;
    }
    return run;
  }
  if (line.mark == trace::RunMark::kStart) {
    sequence_ = ++runs_;
    sequence_stamped_ = line.stamped;
    return runs_;
  }
  const std::size_t run = sequence_;
  if (line.mark == trace::RunMark::kEnd) sequence_ = 0;
  if (line.note || run != 0) {
    // Behind the tracing library, our simulator writes its own lines, without time stamps,
    // into the same file: the tracer's lines are what the driver saw.
    return sequence_stamped_ && !line.stamped && line.call ? 0 : run;
  }
  if (tagged_) return 0;
  sequence_ = ++runs_;  // a trace without marks: the simulator's, or an older tracer's
  sequence_stamped_ = line.stamped;
  return runs_;
}

RunSplitter::Line RunSplitter::Classify(const LineReader::Line& line, std::size_t* prefix) {
  Line kind;
  const std::size_t stamp = line.cut ? 0 : trace::TimeStampLength(line.text);
  *prefix =
      stamp + (stamp != 0 ? trace::ProcessTagLength(line.text.substr(stamp), &kind.process) : 0);
  const std::string_view body = line.text.substr(*prefix);
  kind.stamped = stamp != 0;
  kind.tagged = *prefix != stamp;
  kind.note = !body.empty() && body[0] == '#';
  if (kind.note && !line.cut) kind.mark = trace::ParseRunMark(body);
  return kind;
}

bool RunSplitter::IsOpen(std::size_t run) const {
  if (run == sequence_) return run != 0;
  for (std::size_t i = 0; i < open_count_; ++i) {
    if (open_[i].run == run) return true;
  }
  return false;
}

void Replay::Open(const std::string& path, std::string_view run) noexcept {
  std::unique_ptr<TraceSource> source;
  try {
    std::string reason;
    source = OpenTraceFile(path, &reason);
    if (source == nullptr) {
      refused_ = "";
      std::snprintf(reason_, sizeof reason_, "%s", reason.c_str());
    }
  } catch (const std::bad_alloc&) {
    refused_ = "memory ran out";
  }
  Start(path, std::move(source), run);
}

void Replay::Start(std::string_view name, std::unique_ptr<TraceSource> source,
                   std::string_view run) noexcept {
  source_ = std::move(source);
  chosen_ = RunNumber(run);
  try {
    name_ = name;
    if (source_ != nullptr) lines_.Start(source_.get());
  } catch (const std::bad_alloc&) {
    refused_ = "memory ran out";
  }
  if (refused_ == nullptr && chosen_ == 0) {
    refused_ = "VODRA_OX952_REPLAY_RUN must be a run number (1, 2, ...), not ";
    std::snprintf(reason_, sizeof reason_, "%.*s", static_cast<int>(run.size()), run.data());
  }
  if (refused_ == nullptr && source_ == nullptr) refused_ = "no trace";
}

ReportLine& Replay::Begin(std::size_t line, bool after) {
  report_.Clear();
  report_ << "replay of " << name_;
  if (line != 0) report_ << (after ? ", after line " : ", line ") << line;
  return report_ << ": ";
}

void Replay::Report() {
  ++reports_;
  say_(context_, report_.View());
}

// Reads the file's next step: a call line, a line that is none, or a run's mark, with the
// run it belongs to (0 for none). Skips blank lines and notes.
bool Replay::ReadStep(Step* step) {
  LineReader::Line line;
  while (lines_.Next(&line)) {
    std::size_t prefix = 0;
    RunSplitter::Line kind = RunSplitter::Classify(line, &prefix);
    if (line.text.size() == prefix) continue;
    step->line = line.number;
    step->stamped = kind.stamped;
    if (kind.note) {
      step->run = runs_.Take(kind);
      if (kind.mark == trace::RunMark::kNone || step->run == 0) continue;  // a note
      step->kind = kind.mark == trace::RunMark::kStart ? Step::kStart : Step::kEnd;
      return true;
    }
    ReadCall(line, prefix, step);
    kind.call = step->kind != Step::kBad;
    step->run = runs_.Take(kind);
    return true;
  }
  return false;
}

void Replay::ReadCall(const LineReader::Line& line, std::size_t stamp, Step* step) const {
  const std::string_view body = line.text.substr(stamp);
  trace::Ending ending = trace::Ending::kNone;
  std::string_view raised;
  step->kind = Step::kBad;
  step->raise = RaiseKind::kNone;
  if (!line.cut && trace::ParseTraceLine(body, &step->call, &ending, &raised)) {
    if (ending == trace::Ending::kResult) {
      step->kind = Step::kAnswer;
    } else if (ending == trace::Ending::kInFlight) {
      step->kind = Step::kInFlight;
    } else if (RaiseKindFromName(raised, &step->raise) &&
               step->raise != RaiseKind::kHandledException) {
      step->kind = Step::kRaise;
    }
  }
  // A broken line is quoted whole, time stamp and all.
  const std::string_view shown = step->kind == Step::kBad ? line.text : body;
  step->length = std::min(shown.size(), ReportLine::kQuoteLimit);
  std::memcpy(step->text, shown.data(), step->length);
  step->cut = line.cut || shown.size() > ReportLine::kQuoteLimit;
}

// The next step of the chosen run, run marks left out; false at the run's end.
bool Replay::ReadRunStep(Step* step) {
  while (!run_over_ && ReadStep(step)) {
    if (step->run != chosen_) {
      // The chosen run's process began another, or (naming no process) the next run began.
      if (run_first_ != 0 && !runs_.IsOpen(chosen_)) run_over_ = true;
      continue;
    }
    if (run_first_ == 0) run_first_ = step->line;
    run_last_ = step->line;
    if (step->kind == Step::kStart) {
      run_marked_ = true;
      continue;
    }
    if (step->kind == Step::kEnd) {
      run_over_ = run_clean_ = true;
      return false;
    }
    return true;
  }
  if (lines_.Error() == nullptr) run_over_ = true;
  return false;
}

bool Replay::Peek() {
  if (!have_ahead_) have_ahead_ = ReadRunStep(&ahead_);
  return have_ahead_;
}

// The chosen run's next call, a call that never returned settled by what follows it.
bool Replay::NextCall(Step* step) {
  if (!Peek()) return false;
  *step = ahead_;
  have_ahead_ = false;
  while (step->kind == Step::kInFlight) {
    if (!Peek()) {
      if (lines_.Error() != nullptr) return false;
      // Nothing followed: with the run's end mark the process went on after the call
      // raised; without it, the process died in the call.
      step->kind = run_clean_ ? Step::kRaise : Step::kDied;
      step->raise = RaiseKind::kAccessViolation;
      return true;
    }
    // The tracing library completes a call's line in place, unless another line came
    // after it: then the full line follows later, and the first is no call of its own.
    // A broken line says nothing of the call.
    if (ahead_.kind == Step::kBad ||
        (ahead_.kind == Step::kAnswer && ahead_.line > step->line + 1 &&
         SameCall(ahead_.call, step->call))) {
      *step = ahead_;
      have_ahead_ = false;
      continue;
    }
    // The call never returned, yet the run goes on: it raised and was caught. What it
    // raised the tracing library cannot see; the driver's guard treats all alike.
    step->kind = Step::kRaise;
    step->raise = RaiseKind::kAccessViolation;
  }
  return true;
}

// Finds the chosen run; false, with the report begun, when the file cannot give it.
bool Replay::Locate() {
  located_ = true;
  if (refused_ != nullptr) {
    Begin(0) << refused_ << std::string_view(reason_);
  } else if (Peek() || lines_.Error() != nullptr || runs_.Runs() >= chosen_) {
    return true;
  } else if (lines_.Empty()) {
    Begin(0) << "the file is empty";
  } else if (runs_.Runs() == 0) {
    Begin(0) << "the file holds no call";
  } else {
    Begin(0) << kReplayRunVariable << " is " << chosen_ << ", but the file holds " << runs_.Runs()
             << (runs_.Runs() == 1 ? " run" : " runs");
  }
  return false;
}

RaiseKind Replay::Take(const Step& step, TraceCall& call) {
  call.stored = 0;
  if (step.kind == Step::kRaise) {  // a call that raises gives no answer
    call.result = OX952SIM_RAISED;
    return step.raise;
  }
  const char* letters = kFunctions[call.function].trace;
  for (int i = 0; letters[i] != '='; ++i) {
    if (trace::IsOutLetter(letters[i]) && (step.call.stored & (1u << i))) {
      call.args[i] = step.call.args[i];
      call.stored |= static_cast<uint8_t>(1u << i);
    }
  }
  call.result = step.call.result;
  return RaiseKind::kNone;
}

RaiseKind Replay::Answer(TraceCall& call) noexcept {
  Step step;
  char came[192];
  if (failed_ || ended_) {
    call.result = trace::kFailedResult;
    call.stored = 0;
    return RaiseKind::kNone;
  }
  if (!located_ && !Locate()) {
    // reported below
  } else if (!NextCall(&step)) {
    if (lines_.Error() != nullptr) {
      Begin(lines_.LastLine(), true) << lines_.Error();
    } else if (run_marked_ && !run_clean_) {
      Begin(run_last_, true) << "the site's process ended here without its end mark (killed or "
                                "crashed); came "
                             << Came(call, came);
    } else {
      Begin(run_last_, true) << "the trace ends; came " << Came(call, came);
    }
  } else if (step.kind == Step::kBad) {
    Begin(step.line) << "not a trace line: ";
    report_.Quote(step.Text(), step.cut) << "; came " << Came(call, came);
  } else if (!SameCall(step.call, call)) {
    Begin(step.line) << "the calls differ: the trace holds " << step.Text() << "; came "
                     << Came(call, came);
  } else if (step.kind == Step::kDied) {
    Begin(step.line) << "the site's process died in this call, which never returned: "
                     << step.Text();
  } else if (step.kind == Step::kRaise && call.function != trace::kCardsInSystem) {
    // Raised here, it would end the process: the driver guards the count call only.
    Begin(step.line) << "on site this call raised instead of returning (" << step.Text()
                     << "), which only OX952_CardsInSystem's replay repeats";
  } else {
    return Take(step, call);
  }
  report_ << "; every call fails from here on";
  Report();
  failed_ = true;
  call.result = trace::kFailedResult;
  call.stored = 0;
  return RaiseKind::kNone;
}

void Replay::End() noexcept {
  if (ended_) return;
  ended_ = true;
  const bool failed = failed_;
  if (!failed && !located_ && !Locate()) {
    Report();  // refused, empty, or read to its end without finding the run
    return;
  }
  if (refused_ != nullptr) return;
  Step step, first;
  std::size_t left = 0;
  while (NextCall(&step)) {  // the rest of the run, also to know where it ends
    if (left++ == 0) first = step;
  }
  if (left > 0 && !failed) {
    Begin(first.line) << "the host's run ended, but the trace goes on: " << left
                      << (left == 1 ? " call" : " calls") << " left, from " << first.Text();
    Report();
  }
  while (ReadStep(&step)) {
  }
  if (lines_.Error() != nullptr) {
    if (!failed) {
      Begin(lines_.LastLine(), true) << lines_.Error();
      Report();
    }
  } else if (runs_.Runs() > 1 && chosen_ <= runs_.Runs()) {
    Begin(0) << "the file holds " << runs_.Runs() << " runs; this was run " << chosen_ << ", lines "
             << run_first_ << " to " << run_last_ << " (" << kReplayRunVariable
             << " chooses another)";
    say_(context_, report_.View());
  }
}

}  // namespace qv::sim
