#include "sim/replay.h"

#include <utility>

namespace qv::sim {

namespace {

using trace::kFunctions;
using trace::TraceCall;

// The tracing library's mark of a call that has not returned (yet).
constexpr std::string_view kInFlight = "...";
constexpr std::string_view kRaises = "raises ";
// What every call gives once the replay has failed: the tracing library's result without
// its real library.
constexpr uint32_t kFailed = 0xFFFFFFFF;

bool IsOut(char letter) {
  return letter == 'o' || letter == 'O';
}

// Same function, same in-arguments; out-arguments are answers, not compared.
bool SameCall(const TraceCall& a, const TraceCall& b) {
  if (a.function != b.function) return false;
  const char* letters = kFunctions[a.function].trace;
  for (int i = 0; letters[i] != '='; ++i) {
    if (!IsOut(letters[i]) && a.args[i] != b.args[i]) return false;
  }
  return true;
}

// The call as it came: its function and in-arguments.
std::string Came(const TraceCall& call) {
  char line[192];
  const std::size_t n = trace::FormatTraceLine(call, "", line, sizeof line);
  return std::string(line, n > 0 && line[n - 1] == ' ' ? n - 1 : n);
}

}  // namespace

Replay::Replay(std::string source, std::string_view text, std::string error)
    : source_(std::move(source)), error_(std::move(error)) {
  if (error_.empty()) Read(text);
}

void Replay::Read(std::string_view text) {
  std::vector<Step> steps;
  bool stamped = false;
  while (!text.empty()) {
    const std::size_t eol = text.find('\n');
    std::string_view line = text.substr(0, eol);
    text = eol == std::string_view::npos ? std::string_view{} : text.substr(eol + 1);
    ++lines_;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);  // written on Windows
    const std::string_view whole = line;
    const std::size_t stamp = trace::TimeStampLength(line);
    line.remove_prefix(stamp);
    // Blank lines and notes ("# ...", the tracer's and ours) carry no call.
    if (line.empty() || line[0] == '#') continue;
    Step step;
    step.line = lines_;
    step.stamped = stamp != 0;
    step.text = std::string(line);
    std::string_view ending;
    if (trace::ParseTraceLine(line, &step.call, &ending)) {
      if (ending.empty()) {
        step.kind = StepKind::kAnswer;
      } else if (ending == kInFlight) {
        step.kind = StepKind::kDied;  // settled below
      } else if (ending.substr(0, kRaises.size()) == kRaises &&
                 RaiseKindFromName(ending.substr(kRaises.size()), &step.raise) &&
                 step.raise != RaiseKind::kHandledException) {
        step.kind = StepKind::kRaise;
      }
    }
    if (step.kind == StepKind::kBad) step.text = std::string(whole);  // stamp and all
    stamped = stamped || step.stamped;
    steps.push_back(std::move(step));
  }
  for (Step& step : steps) {
    // Behind the tracing library, our simulator writes its own lines, without time stamps,
    // into the same file: the tracer's lines are what the driver saw.
    if (stamped && !step.stamped && step.kind != StepKind::kBad) continue;
    if (!steps_.empty() && steps_.back().kind == StepKind::kDied) {
      Step& open = steps_.back();
      // The tracing library completes a call's line in place, unless another line came
      // after it: then the full line follows later, and the first is no call of its own.
      // A broken line says nothing of the call.
      if (step.kind == StepKind::kBad ||
          (step.kind == StepKind::kAnswer && step.line > open.line + 1 &&
           SameCall(open.call, step.call))) {
        open = std::move(step);
        continue;
      }
      // The call never returned, yet the trace goes on: it raised and was caught. What it
      // raised the tracing library cannot see; the driver's guard treats all alike.
      open.kind = StepKind::kRaise;
      open.raise = RaiseKind::kAccessViolation;
    }
    steps_.push_back(std::move(step));
  }
}

RaiseKind Replay::Answer(TraceCall& call, std::string* report) {
  if (failed_) {
    Fail(call, nullptr, {});
    return RaiseKind::kNone;
  }
  std::string what;
  if (!error_.empty()) {
    what = "replay of " + source_ + ": " + error_;
  } else if (next_ == steps_.size()) {
    what = "replay of " + source_ + ", after line " + std::to_string(lines_) +
           ": the trace ends; came " + Came(call);
  } else {
    const Step& step = steps_[next_];
    const std::string at = "replay of " + source_ + ", line " + std::to_string(step.line) + ": ";
    if (step.kind == StepKind::kBad) {
      what = at + "not a trace line: \"" + step.text + "\"; came " + Came(call);
    } else if (!SameCall(step.call, call)) {
      what = at + "the calls differ: the trace holds " + step.text + "; came " + Came(call);
    } else if (step.kind == StepKind::kDied) {
      what = at + "the site's process died in this call, which never returned: " + step.text;
    } else if (step.kind == StepKind::kRaise && call.function != trace::kCardsInSystem) {
      // Raised here, it would end the process: the driver guards the count call only.
      what = at + "on site this call raised instead of returning (" + step.text +
             "), which only OX952_CardsInSystem's replay repeats";
    } else {
      ++next_;
      const char* letters = kFunctions[call.function].trace;
      call.stored = 0;
      for (int i = 0; letters[i] != '='; ++i) {
        if (IsOut(letters[i]) && (step.call.stored & (1u << i))) {
          call.args[i] = step.call.args[i];
          call.stored |= static_cast<uint8_t>(1u << i);
        }
      }
      if (step.kind == StepKind::kRaise) {
        call.result = OX952SIM_RAISED;
        return step.raise;
      }
      call.result = step.call.result;
      return RaiseKind::kNone;
    }
  }
  Fail(call, report, what);
  return RaiseKind::kNone;
}

void Replay::Fail(TraceCall& call, std::string* report, const std::string& what) {
  call.result = kFailed;
  call.stored = 0;
  if (report != nullptr) *report = what + "; every call fails from here on";
  failed_ = true;
}

}  // namespace qv::sim
