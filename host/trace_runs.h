// The card library trace seen from qvhost: the runs a trace holds (qvhost --trace-runs), and
// the exit status of a run on the simulator that replayed one.
#pragma once

#include <string>

namespace qvhost {

// The status when the simulator's replay of a trace (VODRA_OX952_REPLAY) reported anything.
inline constexpr int kReplayReported = 3;

// Lists each run of the trace at `path`, one line each: its number for
// VODRA_OX952_REPLAY_RUN, the process, when it started, its lines and calls, and how it
// ended. 0 when the file holds a run, 1 when it holds none or cannot be read.
int TraceRuns(const std::string& path);

// Ends a replay as the host's run ends, through the simulator's OX952Sim_ReplayEnd
// (`replay_end`, nullptr for a library that is not our simulator): `status`, or
// kReplayReported when the replay reported anything.
int AfterReplay(void* replay_end, int status);

}  // namespace qvhost
