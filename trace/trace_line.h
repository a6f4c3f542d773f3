// One line of the card library trace: the simulator's own trace and the tracing library
// both format their lines here, so that the two can be compared line by line, and the
// simulator's replay reads them back here, with the same letters.
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

// One call: its 32-bit arguments in order (for an out-argument the value stored there),
// which out-arguments the call filled (bit i for args[i]), and its result.
struct TraceCall {
  uint32_t function = 0;
  uint32_t args[3] = {};
  uint8_t stored = 0;
  uint32_t result = 0;
};

// Formats the call as "OX952_Card_DID(0, out 512) = 0" (out-arguments not filled show
// "out -"), or, with `ending`, as the arguments followed by a blank and `ending` instead of
// the result ("raises access-violation"). No line end. Returns the length written into
// `out`, which is cut to size - 1 and zero-terminated.
std::size_t FormatTraceLine(const TraceCall& call, const char* ending, char* out, std::size_t size);

// Reads a line as FormatTraceLine writes it (no line end, no time stamp): the call, and in
// `ending` the text after ") " of a line without a result ("...", "raises ..."), else "".
// Hexadecimal values may have 1 to 8 digits of either case. False for anything else.
bool ParseTraceLine(std::string_view line, TraceCall* call, std::string_view* ending);

// The tracing library's notes that frame one process's calls in a trace that several runs
// append to: "# process 4242 starts" at its first call, "# process 4242 ends cleanly" when
// the library is unloaded. A run without its end died, or is still running.
enum class RunMark { kNone, kStart, kEnd };
std::size_t FormatRunMark(RunMark mark, unsigned long process, char* out, std::size_t size);
// The mark that `line` (without its time stamp) is, or kNone.
RunMark ParseRunMark(std::string_view line);

// The length of the tracing library's local time stamp and its blank at the start of
// `line` ("2026-12-08 05:48:45.376 ": 24), or 0 when the line does not start with one.
std::size_t TimeStampLength(std::string_view line);

}  // namespace qv::trace
