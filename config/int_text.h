// Integer values of the parameter file, converted by our own rules rather than strtol's,
// so that every platform accepts exactly the same texts.
#pragma once

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

}  // namespace qv
