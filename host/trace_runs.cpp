#include "host/trace_runs.h"

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string_view>
#include <vector>

#include "sim/replay.h"
#include "trace/trace_line.h"

namespace qvhost {

namespace {

using qv::sim::LineReader;
using qv::sim::RunSplitter;
using qv::trace::TraceCall;

struct Run {
  bool marked = false, named = false, clean = false;
  unsigned long process = 0;
  char started[24] = {};  // the time stamp of its first line, "" without one
  std::size_t first = 0, last = 0, calls = 0, broken = 0;
  // A call's line written before the call: its full line may still come.
  bool pending = false;
  TraceCall pending_call;
  std::size_t pending_line = 0;
  char last_call[104] = {};  // as the trace holds it, cut
};

template <std::size_t N>
void Keep(char (&out)[N], std::string_view text) {
  std::snprintf(out, N, "%.*s", static_cast<int>(text.size() < N ? text.size() : N - 1),
                text.data());
}

// A call's line of the run. Counts each call once: a call's first line ("...") is followed
// by its full line when another line came between (the tracer then could not complete it
// in place); anything else after it means it raised.
void TakeCall(Run& run, const TraceCall& call, qv::trace::Ending ending, std::size_t line) {
  if (run.pending) {
    run.pending = false;
    ++run.calls;
    if (ending == qv::trace::Ending::kResult && line > run.pending_line + 1 &&
        qv::sim::SameCall(call, run.pending_call))
      return;
  }
  if (ending == qv::trace::Ending::kInFlight) {
    run.pending = true;
    run.pending_call = call;
    run.pending_line = line;
  } else {
    ++run.calls;
  }
}

void Print(const Run& run, std::size_t number) {
  std::printf("run %zu: ", number);
  if (run.named)
    std::printf("process %lu, ", run.process);
  else
    std::printf("no process named (the simulator's trace or an older tracer's), ");
  if (run.started[0] != '\0') std::printf("started %s, ", run.started);
  std::printf("lines %zu to %zu, %zu %s", run.first, run.last, run.calls,
              run.calls == 1 ? "call" : "calls");
  if (run.broken != 0)
    std::printf(", %zu %s", run.broken, run.broken == 1 ? "broken line" : "broken lines");
  if (run.clean) {
    std::printf(", ended cleanly\n");
  } else if (run.marked) {
    std::printf(", no end mark (killed or died), last call %s\n",
                run.last_call[0] != '\0' ? run.last_call : "none");
  } else {
    std::printf("\n");
  }
}

}  // namespace

int TraceRuns(const std::string& path) {
  std::string reason;
  const std::unique_ptr<qv::sim::TraceSource> source = qv::sim::OpenTraceFile(path, &reason);
  if (source == nullptr) {
    std::fprintf(stderr, "qvhost: %s: %s\n", path.c_str(), reason.c_str());
    return 1;
  }
  LineReader lines;
  lines.Start(source.get());
  RunSplitter splitter;
  std::vector<Run> runs;
  LineReader::Line line;
  while (lines.Next(&line)) {
    std::size_t prefix = 0;
    RunSplitter::Line kind = RunSplitter::Classify(line, &prefix);
    const std::string_view body = line.text.substr(prefix);
    if (body.empty()) continue;
    TraceCall call;
    qv::trace::Ending ending = qv::trace::Ending::kNone;
    std::string_view raised;
    if (!kind.note)
      kind.call = !line.cut && qv::trace::ParseTraceLine(body, &call, &ending, &raised);
    const std::size_t number = splitter.Take(kind);
    if (number == 0) continue;
    if (number > runs.size()) runs.resize(number);
    Run& run = runs[number - 1];
    if (run.first == 0) {
      run.first = line.number;
      run.named = kind.tagged;
      run.process = kind.process;
      if (kind.stamped) Keep(run.started, line.text.substr(0, 23));
    }
    run.last = line.number;
    if (kind.mark == qv::trace::RunMark::kStart) {
      run.marked = run.named = true;
      run.process = kind.process;
      if (!kind.tagged) qv::trace::ParseRunMark(body, &run.process);
    } else if (kind.mark == qv::trace::RunMark::kEnd) {
      run.clean = true;
    } else if (kind.call) {
      TakeCall(run, call, ending, line.number);
      Keep(run.last_call, body);
    } else if (!kind.note) {
      ++run.broken;
    }
  }
  if (lines.Error() != nullptr) {
    std::fprintf(stderr, "qvhost: %s, after line %zu: %s\n", path.c_str(), lines.LastLine(),
                 lines.Error());
    return 1;
  }
  if (runs.empty()) {
    std::fprintf(stderr, "qvhost: %s holds no run\n", path.c_str());
    return 1;
  }
  for (std::size_t i = 0; i < runs.size(); ++i) {
    if (runs[i].pending) ++runs[i].calls;  // a call that never returned
    Print(runs[i], i + 1);
  }
  return 0;
}

int AfterReplay(void* replay_end, int status) {
  using ReplayEndFn = uint32_t (*)();
  return replay_end != nullptr && reinterpret_cast<ReplayEndFn>(replay_end)() != 0 ? kReplayReported
                                                                                   : status;
}

}  // namespace qvhost
