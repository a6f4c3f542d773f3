#include "config/cp1250.h"

namespace qv {

std::string Cp1250ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size() * 2);
  for (char c : text) {
    const char32_t cp = Cp1250ToUnicode(static_cast<unsigned char>(c));
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

std::optional<std::string> Utf8ToCp1250(std::string_view utf8) {
  std::string out;
  char32_t cp = 0;
  for (std::size_t i = 0; i < utf8.size();) {
    if (!NextUtf8(utf8, i, cp)) return std::nullopt;
    const std::optional<char> byte = UnicodeToCp1250(cp);
    if (!byte) return std::nullopt;
    out += *byte;
  }
  return out;
}

}  // namespace qv
