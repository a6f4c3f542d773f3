// The card library trace's format, all of it: the simulator's own trace and the tracing
// library write their lines here, so that the two compare line by line, and the simulator's
// replay reads them back here, with the same letters, endings and marks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iterator>
#include <string_view>

#include "card/ox952.h"

namespace qv::trace {

// The card library's functions by their place in OX952_FUNCTIONS (as OX952SimFunction).
enum Function : uint32_t {
#define QV_TRACE_FUNCTION(name, parameters, arguments, trace) k##name,
  OX952_FUNCTIONS(QV_TRACE_FUNCTION)
#undef QV_TRACE_FUNCTION
};

struct FunctionInfo {
  const char* name;   // "OX952_Open"
  const char* trace;  // the trace letters of OX952_FUNCTIONS: "dd=d"
};

inline constexpr FunctionInfo kFunctions[] = {
#define QV_TRACE_FUNCTION(name, parameters, arguments, trace) {"OX952_" #name, trace},
    OX952_FUNCTIONS(QV_TRACE_FUNCTION)
#undef QV_TRACE_FUNCTION
};
inline constexpr std::size_t kFunctionCount = std::size(kFunctions);

// "OX952_Open" etc.; "?" outside the nine.
const char* FunctionName(uint32_t function);

// True for the trace letter of an out-argument: a pointer that the call may fill.
constexpr bool IsOutLetter(char letter) {
  return letter == 'o' || letter == 'O';
}

// The file that the tracing library and the simulator write their traces to.
inline constexpr const char* kTraceVariable = "VODRA_OX952_TRACE";

// What a call returns when no library answers it: the tracing library's without its real
// library, and the replay's once it failed (OX952_MemRead gives it as the byte 0xFF).
inline constexpr uint32_t kFailedResult = 0xFFFFFFFF;

// One call: its 32-bit arguments in order (for an out-argument the value stored there),
// which out-arguments the call filled (bit i for args[i]), and its result.
struct TraceCall {
  uint32_t function = 0;
  uint32_t args[3] = {};
  uint8_t stored = 0;
  uint32_t result = 0;
};

// How a line goes on after the call's arguments.
enum class Ending {
  kResult,    // " = 0x01": the call returned
  kInFlight,  // " ...": written before the call, which has not returned (yet)
  kRaises,    // " raises access-violation": it raised instead (the simulator's lines)
  kNone,      // nothing: the call as it came, for reports; no trace line
};

// Formats the call as "OX952_Card_DID(0, out 512) = 0" (out-arguments not filled show
// "out -") with its ending; `raised` names what a kRaises line raised. No line end.
// Returns the length written into `out`, which is cut to size - 1 and zero-terminated.
std::size_t FormatTraceLine(const TraceCall& call, Ending ending, char* out, std::size_t size,
                            std::string_view raised = {});

// Reads a line as FormatTraceLine writes it (no line end, no time stamp): the call, its
// ending (never kNone) and, after "raises ", the word in `raised`. Hexadecimal values may
// have 1 to 8 digits of either case. False for anything else.
bool ParseTraceLine(std::string_view line, TraceCall* call, Ending* ending,
                    std::string_view* raised);

// The tracing library's notes that frame one process's calls in a trace that several runs
// append to: "# process 4242 starts" at its first call, "# process 4242 ends cleanly" when
// the library is unloaded. A run without its end died, or is still running.
enum class RunMark { kNone, kStart, kEnd };
std::size_t FormatRunMark(RunMark mark, unsigned long process, char* out, std::size_t size);
// The mark that `line` (without its time stamp) is, or kNone; the process it names in
// `process`, when given.
RunMark ParseRunMark(std::string_view line, unsigned long* process = nullptr);

// The length of the tracing library's local time stamp and its blank at the start of
// `line` ("2026-12-08 05:48:45.376 ": 24), or 0 when the line does not start with one.
std::size_t TimeStampLength(std::string_view line);

// After the time stamp the tracing library names the process that wrote the line, so that
// the lines of processes that trace into one file at the same time can be told apart:
// "2026-12-08 05:48:45.376 [4242] OX952_Close(0) = 0". Older tracers wrote no name.
std::size_t FormatProcessTag(unsigned long process, char* out, std::size_t size);
// The length of the process tag and its blank at the start of `text` ("[4242] ": 7) with
// the process in `process`, or 0 when `text` does not start with one.
std::size_t ProcessTagLength(std::string_view text, unsigned long* process);

}  // namespace qv::trace
