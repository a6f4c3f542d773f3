// Integer values of the parameter file, converted by our own rules rather than strtol's,
// so that every platform accepts exactly the same texts.
#pragma once

#include <charconv>
#include <cstdint>
#include <string_view>

namespace qv {

// True and `out` set when `text` is, after optional leading blanks (space, tab), either
//  - an optional "+" or "-" and one or more decimal digits within -2147483648..2147483647
//    ("012" is decimal 12), or
//  - one of the prefixes "$", "0x", "0X", "x", "X" and 1 to 8 hex digits in either case,
//    taken as 32-bit two's complement ("$FFFFFFFF" is -1).
// Anything else (trailing characters, a sign before a hex prefix, ...) gives false and
// leaves `out` unchanged, so the caller keeps its default.
bool ParseIniInteger(std::string_view text, int32_t& out);

// A number in decimal ("-" before a negative one, no leading zeros) in a buffer of its
// own, so that nothing is allocated.
class DecimalText {
 public:
  explicit DecimalText(int64_t value)
      : size_(static_cast<std::size_t>(std::to_chars(data_, data_ + sizeof data_, value).ptr -
                                       data_)) {}
  std::string_view view() const { return {data_, size_}; }

 private:
  char data_[20] = {};  // -9223372036854775808
  std::size_t size_;
};

}  // namespace qv
