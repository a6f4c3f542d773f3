// The integer texts of the parameter file against a plain reading of their rules, written
// here apart from the parser: any difference aborts.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "config/int_text.h"

namespace {

bool IsDecimalDigit(char c) {
  return c >= '0' && c <= '9';
}

int HexValue(char c) {
  if (IsDecimalDigit(c)) return c - '0';
  if (c >= 'a' && c <= 'f') return 10 + (c - 'a');
  if (c >= 'A' && c <= 'F') return 10 + (c - 'A');
  return -1;
}

// Blanks, then either a hex prefix ("$", "0x", "0X", "x", "X") and 1 to 8 hex digits taken
// as a 32-bit pattern, or an optional sign and decimal digits within the 32-bit range.
std::optional<int32_t> Reference(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  s.remove_prefix(i);

  for (std::string_view prefix : {"$", "0x", "0X", "x", "X"}) {
    if (!s.starts_with(prefix)) continue;
    const std::string_view digits = s.substr(prefix.size());
    if (digits.empty() || digits.size() > 8) return std::nullopt;
    uint32_t pattern = 0;
    for (char c : digits) {
      if (HexValue(c) < 0) return std::nullopt;
      pattern = pattern * 16 + static_cast<uint32_t>(HexValue(c));
    }
    return static_cast<int32_t>(pattern);
  }

  bool negative = false;
  if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
    negative = s[0] == '-';
    s.remove_prefix(1);
  }
  if (s.empty()) return std::nullopt;
  for (char c : s)
    if (!IsDecimalDigit(c)) return std::nullopt;
  while (s.size() > 1 && s[0] == '0') s.remove_prefix(1);
  if (s.size() > 10) return std::nullopt;  // beyond any 32-bit magnitude
  int64_t magnitude = 0;
  for (char c : s) magnitude = magnitude * 10 + (c - '0');
  const int64_t value = negative ? -magnitude : magnitude;
  if (value < INT32_MIN || value > INT32_MAX) return std::nullopt;
  return static_cast<int32_t>(value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  constexpr int32_t kUntouched = 0x5EED5EED;
  int32_t parsed = kUntouched;
  const bool ok = qv::ParseIniInteger(text, parsed);
  const std::optional<int32_t> want = Reference(text);
  if (ok != want.has_value() || (ok && parsed != *want) || (!ok && parsed != kUntouched)) {
    std::string shown;
    for (char c : text) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", static_cast<unsigned char>(c));
      shown += (c >= 0x20 && c < 0x7F) ? std::string(1, c) : std::string(hex);
    }
    std::fprintf(stderr, "fuzz_int_text: \"%s\": parser %s %d, reference %s %d\n", shown.c_str(),
                 ok ? "accepts" : "rejects", parsed, want ? "accepts" : "rejects",
                 want.value_or(0));
    std::abort();
  }
  return 0;
}
