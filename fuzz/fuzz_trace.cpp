// The replay's trace reader on arbitrary bytes: a customer's trace is the one file from a
// site that nothing else checks. Whatever the file holds, every report is one line of plain
// text, a failed replay answers every later call as failed, only the count call raises, and
// only out-arguments are filled.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>

#include "sim/replay.h"

namespace {

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "fuzz_trace: %s\n", what);
  std::abort();
}

// The calls a host makes, in the forms the seeds' traces hold; the input picks them.
constexpr const char* kCalls[] = {
    "OX952_CardsInSystem(out -)",
    "OX952_Card_DID(0, out -)",
    "OX952_Card_BUS(0, out -)",
    "OX952_Card_SLOT(0, out -)",
    "OX952_Open(0, 0)",
    "OX952_BAR11_BaseAdr(0, out -, out -)",
    "OX952_MemWrite(0xD0000384, 0, 0x07)",
    "OX952_MemRead(0xD0000200, 0)",
    "OX952_MemWrite(0xD0000200, 0, 0xE8)",
    "OX952_Close(0)",
    "OX952_Card_DID(1, out -)",
    "OX952_MemRead(0xD0010000, 0)",
};
constexpr std::size_t kCallCount = std::size(kCalls);

struct Said {
  std::size_t lines = 0;
  std::size_t notes = 0;
};

void Say(void* context, std::string_view line) {
  auto* said = static_cast<Said*>(context);
  ++said->lines;
  Check(line.substr(0, 12) == "replay of t:" || line.substr(0, 12) == "replay of t,",
        "a report that does not name the trace");
  Check(line.size() <= 1024, "a report longer than its buffer");
  for (const char c : line) {
    const auto byte = static_cast<unsigned char>(c);
    Check(byte >= 0x20 && byte != 0x7F, "a control byte in a report");
  }
  // The note on the runs comes before anything of the file's own is quoted.
  constexpr std::string_view kNote = "replay of t: the file holds ";
  said->notes += line.substr(0, kNote.size()) == kNote && line.size() > kNote.size() &&
                 line[kNote.size()] >= '0' && line[kNote.size()] <= '9';
}

}  // namespace

// Input: one byte for the run chosen ("", "1", "2", "x"), one for the number of calls n, n
// bytes that pick each call from kCalls, then the trace.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  static constexpr const char* kRuns[] = {"", "1", "2", "x"};
  const char* run = kRuns[data[0] % 4];
  const std::size_t n = std::min<std::size_t>(data[1], size - 2);
  const uint8_t* picks = data + 2;
  const std::string_view text(reinterpret_cast<const char*>(data + 2 + n), size - 2 - n);

  Said said;
  qv::sim::Replay replay(&Say, &said);
  replay.Start("t", std::make_unique<qv::sim::TextSource>(text), run);
  bool failed = false;
  for (std::size_t i = 0; i < n; ++i) {
    const std::string form = std::string(kCalls[picks[i] % kCallCount]) + " ...";
    qv::trace::TraceCall call;
    qv::trace::Ending ending;
    std::string_view unused;
    Check(qv::trace::ParseTraceLine(form, &call, &ending, &unused),
          "a call form the parser refuses");
    const uint32_t function = call.function;
    const uint32_t in[3] = {call.args[0], call.args[1], call.args[2]};
    const std::size_t before = said.lines;
    const qv::sim::RaiseKind raised = replay.Answer(call);
    Check(call.function == function, "the function changed");
    const char* letters = qv::trace::kFunctions[function].trace;
    for (int a = 0; letters[a] != '='; ++a) {
      const bool out = qv::trace::IsOutLetter(letters[a]);
      Check(out || call.args[a] == in[a], "an in-argument changed");
      Check(out || !(call.stored & (1u << a)), "an in-argument stored");
    }
    Check(said.lines - before <= 1, "more than one report for a call");
    Check(!(failed && said.lines != before), "a report after the replay failed");
    failed = failed || said.lines != before;
    if (failed) {
      Check(call.result == qv::trace::kFailedResult && call.stored == 0 &&
                raised == qv::sim::RaiseKind::kNone,
            "a failed replay answered");
    }
    Check(raised == qv::sim::RaiseKind::kNone ||
              (function == qv::trace::kCardsInSystem &&
               raised != qv::sim::RaiseKind::kHandledException && call.stored == 0),
          "a raise outside the count call, of a kind that returns, or with an answer");
  }
  const std::size_t before_end = said.lines;
  replay.End();
  Check(said.lines - before_end <= 2, "more than two lines at the end");
  const std::size_t after_end = said.lines;
  replay.End();
  Check(said.lines == after_end, "a second end said more");
  Check(replay.Reports() == said.lines - said.notes, "reports miscounted");
  return 0;
}
