// Replay of a card library trace (VODRA_OX952_REPLAY): the calls that come are checked
// against the trace's, in its order, and answered from it instead of from the card model,
// so that a site's run can be repeated without its card.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "sim/sim_config.h"
#include "trace/trace_line.h"

namespace qv::sim {

class Replay {
 public:
  // The trace's text (the tracing library's lines, with time stamps, or the simulator's),
  // read from `source`, which reports name. A non-empty `error` (the file could not be
  // read) is reported at the first call.
  Replay(std::string source, std::string_view text, std::string error = {});

  // Answers `call` (its function and in-arguments set) as the trace's next call: its
  // result and out-values (`stored`), and what it raised instead of returning (kNone
  // mostly). At the first difference, a line that is no trace line, the trace's end or a
  // call that never returned on site, `report` gets the one report; from then on every
  // call fails as without a library: result 0xFFFFFFFF (MemRead: the byte 0xFF).
  RaiseKind Answer(trace::TraceCall& call, std::string* report);

 private:
  enum class StepKind {
    kAnswer,  // answer with the line's result and out-values
    kRaise,   // raise instead of returning
    kDied,    // never returned, and nothing followed: the site's process died in it
    kBad,     // not a trace line
  };
  struct Step {
    StepKind kind = StepKind::kBad;
    std::size_t line = 0;  // 1-based
    bool stamped = false;  // written by the tracing library
    std::string text;      // as the trace holds it, without its time stamp
    trace::TraceCall call;
    RaiseKind raise = RaiseKind::kNone;
  };

  void Read(std::string_view text);
  void Fail(trace::TraceCall& call, std::string* report, const std::string& what);

  std::string source_;
  std::string error_;
  std::vector<Step> steps_;
  std::size_t lines_ = 0;
  std::size_t next_ = 0;
  bool failed_ = false;
};

}  // namespace qv::sim
