#include "monitor/cell_text.h"

#include "config/int_text.h"
#include "config/texts.h"

namespace qv {
namespace {

void Append(TCellText& out, std::string_view text) {
  for (char c : text)
    if (out.Size + 1 < sizeof out.Data) out.Data[out.Size++] = c;
  out.Data[out.Size] = 0;
}

std::string BusSlot(const char* open, const TCFGData& cfg) {
  return open + std::to_string(cfg.ActualBus) + "/" + std::to_string(cfg.ActualSlot) + ")";
}

}  // namespace

void ByteToBin(uint8_t value, char (&out)[9]) {
  for (int i = 7; i >= 0; --i) {
    out[i] = (value & 1) != 0 ? '1' : '0';
    value = static_cast<uint8_t>(value >> 1);
  }
  out[8] = 0;
}

std::string ByteToBin(uint8_t value) {
  char text[9];
  ByteToBin(value, text);
  return std::string(text, 8);
}

void FormatDecimal(uint32_t value, TCellText& out) {
  out.Size = 0;
  Append(out, DecimalText(value).view());
}

void FormatBinary(uint32_t value, TCellText& out) {
  char bits[9];
  ByteToBin(static_cast<uint8_t>(value & 0xFF), bits);
  out.Size = 0;
  Append(out, {bits, 8});
}

void FormatBinaryDecimal(uint32_t value, TCellText& out) {
  FormatBinary(value, out);
  Append(out, "  (");
  Append(out, DecimalText(value & 0xFF).view());
  Append(out, ")");
}

std::string CardText(const TKarta& karta, const TCFGData& cfg) {
  return karta.CardName + BusSlot("  (", cfg);
}

std::string CompletedCaption(std::string_view caption, const TCFGData& cfg) {
  std::string text(caption);
  text += BusSlot(" (", cfg);
  if (cfg.DemoMode != 0) text += text::kDemoSuffix.view();
  return text;
}

}  // namespace qv
