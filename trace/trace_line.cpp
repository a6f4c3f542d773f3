#include "trace/trace_line.h"

#include <charconv>
#include <cstdio>

namespace qv::trace {

namespace {

// How a trace letter shows its value; out-arguments have "out " before it.
const char* ValueFormat(char letter) {
  switch (letter) {
    case 'a':
    case 'O':
      return "0x%08X";
    case 'b':
      return "0x%02X";
    default:
      return "%u";
  }
}

// What follows the arguments: the result, the in-flight mark, or what the call raised.
constexpr std::string_view kResultMark = " = ";
constexpr std::string_view kInFlightMark = " ...";
constexpr std::string_view kRaisesMark = " raises ";

// Appends like snprintf, but never moves past the end of the buffer.
template <typename... Args>
void Append(char* out, std::size_t size, std::size_t& len, const char* format, Args... args) {
  if (len + 1 >= size) return;
  const int n = std::snprintf(out + len, size - len, format, args...);
  if (n > 0)
    len += static_cast<std::size_t>(n) < size - len ? static_cast<std::size_t>(n) : size - len - 1;
}

// Takes `text` off the front of `line` when it is there.
bool Take(std::string_view& line, std::string_view text) {
  if (line.substr(0, text.size()) != text) return false;
  line.remove_prefix(text.size());
  return true;
}

// Takes a value off the front of `line` as ValueFormat shows it for `letter`.
bool TakeValue(std::string_view& line, char letter, uint32_t* value) {
  const bool hex = ValueFormat(letter)[0] == '0';
  if (hex && !Take(line, "0x")) return false;
  const std::size_t digits = line.find_first_not_of(hex ? "0123456789ABCDEFabcdef" : "0123456789");
  const std::size_t n = digits == std::string_view::npos ? line.size() : digits;
  if (n == 0 || (hex && n > 8)) return false;
  const auto [end, ec] = std::from_chars(line.data(), line.data() + n, *value, hex ? 16 : 10);
  if (ec != std::errc() || end != line.data() + n) return false;
  line.remove_prefix(n);
  return true;
}

}  // namespace

const char* FunctionName(uint32_t function) {
  return function < kFunctionCount ? kFunctions[function].name : "?";
}

std::size_t FormatTraceLine(const TraceCall& call, Ending ending, char* out, std::size_t size,
                            std::string_view raised) {
  if (out == nullptr || size == 0) return 0;
  out[0] = '\0';
  std::size_t len = 0;
  Append(out, size, len, "%s(", FunctionName(call.function));
  const char* letters = call.function < kFunctionCount ? kFunctions[call.function].trace : "=d";
  int i = 0;
  for (; letters[i] != '='; ++i) {
    Append(out, size, len, "%s%s", i ? ", " : "", IsOutLetter(letters[i]) ? "out " : "");
    if (IsOutLetter(letters[i]) && !(call.stored & (1u << i)))
      Append(out, size, len, "%s", "-");
    else
      Append(out, size, len, ValueFormat(letters[i]), static_cast<unsigned>(call.args[i]));
  }
  Append(out, size, len, "%s", ")");
  switch (ending) {
    case Ending::kResult:
      Append(out, size, len, "%s", kResultMark.data());
      Append(out, size, len, ValueFormat(letters[i + 1]), static_cast<unsigned>(call.result));
      break;
    case Ending::kInFlight:
      Append(out, size, len, "%s", kInFlightMark.data());
      break;
    case Ending::kRaises:
      Append(out, size, len, "%s%.*s", kRaisesMark.data(), static_cast<int>(raised.size()),
             raised.data());
      break;
    case Ending::kNone:
      break;
  }
  return len;
}

bool ParseTraceLine(std::string_view line, TraceCall* call, Ending* ending,
                    std::string_view* raised) {
  TraceCall c;
  const std::string_view name = line.substr(0, line.find('('));
  while (c.function < kFunctionCount && name != kFunctions[c.function].name) ++c.function;
  if (c.function == kFunctionCount || !Take(line, name) || !Take(line, "(")) return false;
  const char* letters = kFunctions[c.function].trace;
  int i = 0;
  for (; letters[i] != '='; ++i) {
    if (i != 0 && !Take(line, ", ")) return false;
    if (IsOutLetter(letters[i])) {
      if (!Take(line, "out ")) return false;
      if (Take(line, "-")) continue;
      c.stored |= static_cast<uint8_t>(1u << i);
    }
    if (!TakeValue(line, letters[i], &c.args[i])) return false;
  }
  if (!Take(line, ")")) return false;
  *raised = {};
  if (Take(line, kResultMark)) {
    if (!TakeValue(line, letters[i + 1], &c.result) || !line.empty()) return false;
    *ending = Ending::kResult;
  } else if (line == kInFlightMark) {
    *ending = Ending::kInFlight;
  } else if (Take(line, kRaisesMark) && !line.empty()) {
    *ending = Ending::kRaises;
    *raised = line;
  } else {
    return false;
  }
  *call = c;
  return true;
}

namespace {
constexpr std::string_view kRunPrefix = "# process ";
constexpr std::string_view kRunStarts = " starts";
constexpr std::string_view kRunEnds = " ends cleanly";
}  // namespace

std::size_t FormatRunMark(RunMark mark, unsigned long process, char* out, std::size_t size) {
  if (out == nullptr || size == 0) return 0;
  std::size_t len = 0;
  out[0] = '\0';
  Append(out, size, len, "%s%lu%s", kRunPrefix.data(), process,
         (mark == RunMark::kStart ? kRunStarts : kRunEnds).data());
  return len;
}

RunMark ParseRunMark(std::string_view line, unsigned long* named) {
  uint32_t process = 0;
  if (!Take(line, kRunPrefix) || !TakeValue(line, 'd', &process)) return RunMark::kNone;
  if (named != nullptr) *named = process;
  if (line == kRunStarts) return RunMark::kStart;
  return line == kRunEnds ? RunMark::kEnd : RunMark::kNone;
}

std::size_t TimeStampLength(std::string_view line) {
  // What the tracing library writes before each line: "%04d-%02d-%02d %02d:%02d:%02d.%03d ".
  constexpr std::string_view kPattern = "0000-00-00 00:00:00.000 ";
  if (line.size() < kPattern.size()) return 0;
  for (std::size_t i = 0; i < kPattern.size(); ++i) {
    const bool digit = line[i] >= '0' && line[i] <= '9';
    if (kPattern[i] == '0' ? !digit : line[i] != kPattern[i]) return 0;
  }
  return kPattern.size();
}

std::size_t FormatProcessTag(unsigned long process, char* out, std::size_t size) {
  if (out == nullptr || size == 0) return 0;
  std::size_t len = 0;
  out[0] = '\0';
  Append(out, size, len, "[%lu] ", process);
  return len;
}

std::size_t ProcessTagLength(std::string_view text, unsigned long* process) {
  const std::string_view all = text;
  uint32_t value = 0;
  if (!Take(text, "[") || !TakeValue(text, 'd', &value) || !Take(text, "] ")) return 0;
  *process = value;
  return all.size() - text.size();
}

}  // namespace qv::trace
