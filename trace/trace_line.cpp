#include "trace/trace_line.h"

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

bool IsOut(char letter) {
  return letter == 'o' || letter == 'O';
}

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
  return function < kFunctionCount ? kFunctions[function].name : "?";
}

std::size_t FormatTraceLine(const TraceCall& call, const char* ending, char* out,
                            std::size_t size) {
  if (out == nullptr || size == 0) return 0;
  out[0] = '\0';
  std::size_t len = 0;
  Append(out, size, len, "%s(", FunctionName(call.function));
  const char* letters = call.function < kFunctionCount ? kFunctions[call.function].trace : "=d";
  int i = 0;
  for (; letters[i] != '='; ++i) {
    Append(out, size, len, "%s%s", i ? ", " : "", IsOut(letters[i]) ? "out " : "");
    if (IsOut(letters[i]) && !(call.stored & (1u << i)))
      Append(out, size, len, "%s", "-");
    else
      Append(out, size, len, ValueFormat(letters[i]), static_cast<unsigned>(call.args[i]));
  }
  if (ending != nullptr) {
    Append(out, size, len, ") %s", ending);
  } else {
    Append(out, size, len, "%s", ") = ");
    Append(out, size, len, ValueFormat(letters[i + 1]), static_cast<unsigned>(call.result));
  }
  return len;
}

}  // namespace qv::trace
