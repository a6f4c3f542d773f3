// Texts of the monitor window's cells and caption: plain functions of record values.
// The per-tick formats write into fixed buffers so that a refresh allocates nothing.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "card/karta.h"
#include "config/cfg_data.h"

namespace qv {

// A short text in a fixed buffer; long enough for every cell format.
struct TCellText {
  char Data[24] = {};
  std::size_t Size = 0;
  std::string_view View() const { return {Data, Size}; }
};

// The byte as eight '0'/'1' characters, most significant bit first; `out` gets a terminating zero.
void ByteToBin(uint8_t value, char (&out)[9]);
std::string ByteToBin(uint8_t value);

// A register cell's format.
using TCellFormat = void(uint32_t value, TCellText& out);
// The value's 32 bits as an unsigned decimal number, no sign, leading zeros or grouping.
TCellFormat FormatDecimal;
// ByteToBin of the value's low 8 bits.
TCellFormat FormatBinary;
// ByteToBin of the low 8 bits, two spaces, then that byte in decimal in parentheses:
// "10100101  (165)".
TCellFormat FormatBinaryDecimal;

// The card name, two spaces and "(bus/slot)": "LVK-5120B  (2/13)".
std::string CardText(const TKarta& karta, const TCFGData& cfg);
// The caption that Init completes: `caption`, " (bus/slot)" and the demo suffix in demo mode.
std::string CompletedCaption(std::string_view caption, const TCFGData& cfg);

}  // namespace qv
