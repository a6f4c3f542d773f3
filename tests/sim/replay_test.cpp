// The replay's reading of traces, over text fed to it directly: what each call is answered,
// and every report, for the files that sites and editors really produce.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "sim/replay.h"

namespace qv::sim::test {
namespace {

// "@" stands for the tracing library's time stamp; each call is written as it comes, without
// an ending.
struct Row {
  const char* what;
  std::string text;
  std::vector<const char*> calls;
  std::vector<std::string> expected;  // each call's answer as a trace line, "! " a report
  const char* run = "";
};

std::vector<std::string> Replayed(const Row& row, uint32_t* reports) {
  std::string text = row.text;
  for (std::size_t at = 0; (at = text.find('@', at)) != std::string::npos;)
    text.replace(at, 1, "2026-12-08 22:45:41.519 ");
  std::vector<std::string> out;
  Replay replay(
      [](void* out, std::string_view line) {
        static_cast<std::vector<std::string>*>(out)->push_back("! " + std::string(line));
      },
      &out);
  replay.Start("t", std::make_unique<TextSource>(text), row.run);
  for (const char* c : row.calls) {
    trace::TraceCall call;
    trace::Ending ending;
    std::string_view unused;
    EXPECT_TRUE(trace::ParseTraceLine(std::string(c) + " ...", &call, &ending, &unused)) << c;
    const RaiseKind raised = replay.Answer(call);
    char line[192];
    trace::FormatTraceLine(
        call, raised != RaiseKind::kNone ? trace::Ending::kRaises : trace::Ending::kResult, line,
        sizeof line, RaiseKindName(raised));
    out.push_back(line);
  }
  replay.End();
  *reports = replay.Reports();
  return out;
}

TEST(ReplayTest, AnswersAndReportsForEachKindOfTrace) {
  const std::string long_line(70000, 'y');
  const std::string hundred = "\\x41" + std::string(96, 'z');
  const Row rows[] = {
      {"CR LF ends a line once",
       "OX952_CardsInSystem(out 1) = 0\r\nOX952_Open(0, 0) = 3\r\n",
       {"OX952_CardsInSystem(out -)", "OX952_Open(0, 0)", "OX952_Close(0)"},
       {"OX952_CardsInSystem(out 1) = 0", "OX952_Open(0, 0) = 3",
        "! replay of t, after line 2: the trace ends; came OX952_Close(0); every call fails "
        "from here on",
        "OX952_Close(0) = 4294967295"}},
      {"CR alone, blanks at the end, a byte-order mark, notes and blank lines",
       "\xEF\xBB\xBFOX952_CardsInSystem(out 1) = 0 \r# a note\r\rOX952_Open(0, 0) = 0\t\r",
       {"OX952_CardsInSystem(out -)", "OX952_Open(0, 0)", "OX952_Close(0)"},
       {"OX952_CardsInSystem(out 1) = 0", "OX952_Open(0, 0) = 0",
        "! replay of t, after line 4: the trace ends; came OX952_Close(0); every call fails "
        "from here on",
        "OX952_Close(0) = 4294967295"}},
      {"hexadecimal in lower case, an out-argument left alone",
       "OX952_BAR11_BaseAdr(0, out 0xd0000000, out -) = 0\nOX952_MemRead(0xd0000200, 0) = 0x1f\n",
       {"OX952_BAR11_BaseAdr(0, out -, out -)", "OX952_MemRead(0xD0000200, 0)"},
       {"OX952_BAR11_BaseAdr(0, out 0xD0000000, out -) = 0",
        "OX952_MemRead(0xD0000200, 0) = 0x1F"}},
      {"tracer alone: the count call raised, and the host tried again",
       "@OX952_CardsInSystem(out -) ...\n@OX952_CardsInSystem(out 1) = 0\n",
       {"OX952_CardsInSystem(out -)", "OX952_CardsInSystem(out -)"},
       {"OX952_CardsInSystem(out -) raises access-violation", "OX952_CardsInSystem(out 1) = 0"}},
      {"behind the simulator: the call's first line, the simulator's copy, the full line",
       "@# process 7 starts\n@OX952_Open(0, 0) ...\nOX952_Open(0, 0) = 5\n@OX952_Open(0, 0) = 0\n",
       {"OX952_Open(0, 0)"},
       {"OX952_Open(0, 0) = 0"}},
      {"the count call never returned, but the run ended cleanly: it raised and was caught",
       "@# process 7 starts\n@OX952_CardsInSystem(out -) ...\n"
       "OX952_CardsInSystem(out -) raises access-violation\n@# process 7 ends cleanly\n",
       {"OX952_CardsInSystem(out -)"},
       {"OX952_CardsInSystem(out -) raises access-violation"}},
      {"the count call never returned and the run has no end: the process died",
       "@# process 7 starts\n@OX952_CardsInSystem(out -) ...\n",
       {"OX952_CardsInSystem(out -)"},
       {"! replay of t, line 2: the site's process died in this call, which never returned: "
        "OX952_CardsInSystem(out -) ...; every call fails from here on",
        "OX952_CardsInSystem(out -) = 4294967295"}},
      {"a raise of a kind the simulator knows, and one of none",
       "OX952_CardsInSystem(out -) raises divide-by-zero\n"
       "OX952_CardsInSystem(out -) raises bogus\n",
       {"OX952_CardsInSystem(out -)", "OX952_CardsInSystem(out -)"},
       {"OX952_CardsInSystem(out -) raises divide-by-zero",
        "! replay of t, line 2: not a trace line: \"OX952_CardsInSystem(out -) raises bogus\"; "
        "came OX952_CardsInSystem(out -); every call fails from here on",
        "OX952_CardsInSystem(out -) = 4294967295"}},
      {"a raise outside the count call would end the host",
       "OX952_Open(0, 0) raises access-violation\n",
       {"OX952_Open(0, 0)"},
       {"! replay of t, line 1: on site this call raised instead of returning (OX952_Open(0, 0) "
        "raises access-violation), which only OX952_CardsInSystem's replay repeats; every call "
        "fails from here on",
        "OX952_Open(0, 0) = 4294967295"}},
      {"the second of two runs, chosen, and left at a difference",
       "@# process 1 starts\n@OX952_Open(0, 0) = 0\n@# process 1 ends cleanly\n"
       "@# process 2 starts\n@OX952_Open(0, 0) = 3\n@OX952_Close(0) = 0\n"
       "@# process 2 ends cleanly\n",
       {"OX952_Open(0, 0)", "OX952_Close(1)"},
       {"OX952_Open(0, 0) = 3",
        "! replay of t, line 6: the calls differ: the trace holds OX952_Close(0) = 0; came "
        "OX952_Close(1); every call fails from here on",
        "OX952_Close(1) = 4294967295",
        "! replay of t: the file holds 2 runs; this was run 2, lines 4 to 7 "
        "(VODRA_OX952_REPLAY_RUN chooses another)"},
       "2"},
      {"a run the file does not hold",
       "OX952_Open(0, 0) = 0\n",
       {"OX952_Open(0, 0)"},
       {"! replay of t: VODRA_OX952_REPLAY_RUN is 3, but the file holds 1 run; every call fails "
        "from here on",
        "OX952_Open(0, 0) = 4294967295"},
       "3"},
      {"one call left over when the host's run ends",
       "OX952_Open(0, 0) = 0\nOX952_Close(0) = 0\n",
       {"OX952_Open(0, 0)"},
       {"OX952_Open(0, 0) = 0",
        "! replay of t, line 2: the host's run ended, but the trace goes on: 1 call left, from "
        "OX952_Close(0) = 0"}},
      {"two processes at once, the chosen one killed (its process ID comes again): its lines "
       "only, its call completed after the other's line, its end without end mark",
       "@[41] # process 41 starts\n@[42] # process 42 starts\n@[41] OX952_Open(0, 0) ...\n"
       "@[42] OX952_Open(0, 0) = 3\n@[41] OX952_Open(0, 0) = 0\n@[42] # process 42 ends cleanly\n"
       "@[41] OX952_Close(0) = 0\n@[41] # process 41 starts\n@[41] OX952_Close(0) = 2\n",
       {"OX952_Open(0, 0)", "OX952_Close(0)", "OX952_Close(0)"},
       {"OX952_Open(0, 0) = 0", "OX952_Close(0) = 0",
        "! replay of t, after line 7: the site's process ended here without its end mark "
        "(killed or crashed); came OX952_Close(0); every call fails from here on",
        "OX952_Close(0) = 4294967295",
        "! replay of t: the file holds 3 runs; this was run 1, lines 1 to 7 "
        "(VODRA_OX952_REPLAY_RUN chooses another)"},
       "1"},
      {"a file cut at its front: a process's calls without its start mark",
       "@[5] OX952_Open(0, 0) = 0\n@[5] # process 5 ends cleanly\n",
       {"OX952_Open(0, 0)"},
       {"OX952_Open(0, 0) = 0"}},
      {"a run number with more after it",
       "OX952_Open(0, 0) = 0\n",
       {"OX952_Open(0, 0)"},
       {"! replay of t: VODRA_OX952_REPLAY_RUN must be a run number (1, 2, ...), not 1x; every "
        "call fails from here on",
        "OX952_Open(0, 0) = 4294967295"},
       "1x"},
      {"an empty file",
       "",
       {"OX952_Close(0)"},
       {"! replay of t: the file is empty; every call fails from here on",
        "OX952_Close(0) = 4294967295"}},
      {"lines longer than the reader holds: skipped whole, quoted cut, control bytes escaped",
       "# " + long_line + "\n\x1b" + long_line + "\n",
       {"OX952_Close(0)"},
       {"! replay of t, line 2: not a trace line: \"\\x1B" + long_line.substr(0, 99) +
            "\" (cut); came OX952_Close(0); every call fails from here on",
        "OX952_Close(0) = 4294967295"}},
      {"a line of exactly the quote's length, with a backslash: whole, the backslash escaped",
       hundred + "\n",
       {"OX952_Close(0)"},
       {"! replay of t, line 1: not a trace line: \"\\x5Cx41" + hundred.substr(4) +
            "\"; came OX952_Close(0); every call fails from here on",
        "OX952_Close(0) = 4294967295"}},
  };
  for (const Row& row : rows) {
    uint32_t reports = 0;
    EXPECT_EQ(Replayed(row, &reports), row.expected) << row.what;
    uint32_t expected_reports = 0;
    for (const std::string& line : row.expected)
      expected_reports += line[0] == '!' && line.find("runs; this was") == std::string::npos;
    EXPECT_EQ(reports, expected_reports) << row.what;
  }
}

}  // namespace
}  // namespace qv::sim::test
