#include "trace/trace_line.h"

#include <array>
#include <cstdio>

namespace qv::trace {

namespace {

constexpr std::array<const char*, kFunctionCount> kNames = {
    "OX952_CardsInSystem", "OX952_Card_DID", "OX952_Card_BUS", "OX952_Card_SLOT", "OX952_Open",
    "OX952_BAR11_BaseAdr", "OX952_Close",    "OX952_MemRead",  "OX952_MemWrite"};

// How each argument is shown: 'd' decimal, 'a' address, 'b' byte value, 'o' decimal
// out-argument, 'O' hexadecimal out-argument; the string's end ends the list.
constexpr std::array<const char*, kFunctionCount> kArgKinds = {"o",   "do", "do", "do", "dd",
                                                               "dOO", "d",  "ad", "adb"};

// Appends like snprintf, but never moves past the end of the buffer.
template <typename... Args>
void Append(char* out, std::size_t size, std::size_t& len, const char* format, Args... args) {
  if (len + 1 >= size) return;
  const int n = std::snprintf(out + len, size - len, format, args...);
  if (n > 0)
    len += static_cast<std::size_t>(n) < size - len ? static_cast<std::size_t>(n) : size - len - 1;
}

}  // namespace

const char* FunctionName(uint32_t function) {
  // cppcheck-suppress CastIntegerToAddressAtReturn
  return function < kNames.size() ? kNames[function] : "?";
}

std::size_t FormatTraceLine(const TraceCall& call, const char* ending, char* out,
                            std::size_t size) {
  if (out == nullptr || size == 0) return 0;
  out[0] = '\0';
  std::size_t len = 0;
  Append(out, size, len, "%s(", FunctionName(call.function));
  const char* kinds = call.function < kArgKinds.size() ? kArgKinds[call.function] : "";
  for (int i = 0; kinds[i] != 0; ++i) {
    const char* sep = i ? ", " : "";
    const uint32_t v = call.args[i];
    const bool out_arg = kinds[i] == 'o' || kinds[i] == 'O';
    if (out_arg && !(call.stored & (1u << i))) {
      Append(out, size, len, "%sout -", sep);
      continue;
    }
    const char* format = kinds[i] == 'a'   ? "%s0x%08X"
                         : kinds[i] == 'b' ? "%s0x%02X"
                         : kinds[i] == 'O' ? "%sout 0x%08X"
                         : kinds[i] == 'o' ? "%sout %u"
                                           : "%s%u";
    Append(out, size, len, format, sep, static_cast<unsigned>(v));
  }
  if (ending != nullptr)
    Append(out, size, len, ") %s", ending);
  else if (call.function == kMemRead)
    Append(out, size, len, ") = 0x%02X", static_cast<unsigned>(call.result));
  else
    Append(out, size, len, ") = %u", static_cast<unsigned>(call.result));
  return len;
}

}  // namespace qv::trace
