// Windows-1250 text: the code page of every text that the driver shows or writes.
// Texts are written in UTF-8 in the source and turned into Windows-1250 bytes at
// compile time; a character outside the code page is a compile error.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace qv {

// Unicode code point of each byte 0x80..0xFF; 0 marks the five unassigned bytes.
// clang-format off
inline constexpr char16_t kCp1250High[128] = {
    0x20AC, 0x0000, 0x201A, 0x0000, 0x201E, 0x2026, 0x2020, 0x2021,
    0x0000, 0x2030, 0x0160, 0x2039, 0x015A, 0x0164, 0x017D, 0x0179,
    0x0000, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x0000, 0x2122, 0x0161, 0x203A, 0x015B, 0x0165, 0x017E, 0x017A,
    0x00A0, 0x02C7, 0x02D8, 0x0141, 0x00A4, 0x0104, 0x00A6, 0x00A7,
    0x00A8, 0x00A9, 0x015E, 0x00AB, 0x00AC, 0x00AD, 0x00AE, 0x017B,
    0x00B0, 0x00B1, 0x02DB, 0x0142, 0x00B4, 0x00B5, 0x00B6, 0x00B7,
    0x00B8, 0x0105, 0x015F, 0x00BB, 0x013D, 0x02DD, 0x013E, 0x017C,
    0x0154, 0x00C1, 0x00C2, 0x0102, 0x00C4, 0x0139, 0x0106, 0x00C7,
    0x010C, 0x00C9, 0x0118, 0x00CB, 0x011A, 0x00CD, 0x00CE, 0x010E,
    0x0110, 0x0143, 0x0147, 0x00D3, 0x00D4, 0x0150, 0x00D6, 0x00D7,
    0x0158, 0x016E, 0x00DA, 0x0170, 0x00DC, 0x00DD, 0x0162, 0x00DF,
    0x0155, 0x00E1, 0x00E2, 0x0103, 0x00E4, 0x013A, 0x0107, 0x00E7,
    0x010D, 0x00E9, 0x0119, 0x00EB, 0x011B, 0x00ED, 0x00EE, 0x010F,
    0x0111, 0x0144, 0x0148, 0x00F3, 0x00F4, 0x0151, 0x00F6, 0x00F7,
    0x0159, 0x016F, 0x00FA, 0x0171, 0x00FC, 0x00FD, 0x0163, 0x02D9,
};
// clang-format on

// The Windows-1250 byte of a code point, or nothing when the code page lacks it.
constexpr std::optional<char> UnicodeToCp1250(char32_t cp) {
  if (cp < 0x80) return static_cast<char>(cp);
  for (int b = 0; b < 128; ++b)
    if (kCp1250High[b] == cp) return static_cast<char>(0x80 + b);
  return std::nullopt;
}

// Decodes the UTF-8 character at `text[i]` (one to three bytes) into `cp` and moves `i`
// past it; false, with `i` unchanged, for a stray, four-byte or cut-off sequence.
constexpr bool NextUtf8(std::string_view text, std::size_t& i, char32_t& cp) {
  const auto b0 = static_cast<unsigned char>(text[i]);
  const std::size_t n = b0 < 0x80 ? 1 : (b0 & 0xE0) == 0xC0 ? 2 : (b0 & 0xF0) == 0xE0 ? 3 : 0;
  if (n == 0 || i + n > text.size()) return false;
  cp = n == 1 ? b0 : b0 & (n == 2 ? 0x1F : 0x0F);
  for (std::size_t k = 1; k < n; ++k) {
    const auto b = static_cast<unsigned char>(text[i + k]);
    if ((b & 0xC0) != 0x80) return false;
    cp = (cp << 6) | (b & 0x3F);
  }
  i += n;
  return true;
}

// A zero-terminated Windows-1250 text of at most N - 1 bytes, built at compile time.
template <std::size_t N>
struct Cp1250Text {
  char data[N] = {};
  std::size_t size = 0;

  consteval Cp1250Text(const char (&utf8)[N]) {
    const std::string_view text(utf8, N - 1);
    char32_t cp = 0;
    for (std::size_t i = 0; i < text.size();) {
      if (!NextUtf8(text, i, cp)) throw "text is not valid UTF-8";
      const std::optional<char> byte = UnicodeToCp1250(cp);
      if (!byte) throw "character outside Windows-1250";
      data[size++] = *byte;
    }
    data[size] = 0;
  }

  constexpr const char* c_str() const { return data; }
  constexpr std::string_view view() const { return {data, size}; }
  constexpr operator std::string_view() const { return view(); }
};

// Unicode code point of one Windows-1250 byte (U+FFFD for the unassigned ones).
constexpr char32_t Cp1250ToUnicode(unsigned char b) {
  if (b < 0x80) return b;
  const char16_t cp = kCp1250High[b - 0x80];
  return cp != 0 ? cp : 0xFFFD;
}

// Windows-1250 bytes as UTF-8, for terminals, GTK and tests.
std::string Cp1250ToUtf8(std::string_view text);

// UTF-8 text as Windows-1250, or nothing when it is not UTF-8 or leaves the code page.
std::optional<std::string> Utf8ToCp1250(std::string_view utf8);

}  // namespace qv
