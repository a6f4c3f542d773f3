#include "driver_support.h"

#include <cstring>

namespace qvtest {

std::string ToCp1250(const std::string& utf8) {
  std::string out;
  for (std::size_t i = 0; i < utf8.size();) {
    const auto b = static_cast<unsigned char>(utf8[i]);
    char32_t cp = b;
    std::size_t len = 1;
    if ((b & 0xE0) == 0xC0) {
      cp = (char32_t(b & 0x1F) << 6) | (utf8[i + 1] & 0x3F);
      len = 2;
    } else if ((b & 0xF0) == 0xE0) {
      cp = (char32_t(b & 0x0F) << 12) | (char32_t(utf8[i + 1] & 0x3F) << 6) | (utf8[i + 2] & 0x3F);
      len = 3;
    }
    char byte = '?';
    if (cp < 0x80) {
      byte = static_cast<char>(cp);
    } else {
      for (int k = 0; k < 128; ++k)
        if (qv::kCp1250High[k] == cp) byte = static_cast<char>(0x80 + k);
    }
    out += byte;
    i += len;
  }
  return out;
}

std::string Ini::Bytes() const {
  return ToCp1250("[Nastavení karty]\r\n" + card + "[Logovací soubor]\r\n" + log + extra);
}

std::vector<std::string> Journal() {
  std::vector<std::string> out;
  for (uint32_t i = 0; i < OX952Sim_JournalSize(); ++i) {
    OX952SimCall c{};
    OX952Sim_JournalEntry(i, &c);
    out.push_back(std::string(OX952Sim_FunctionName(c.function)) + "(" + std::to_string(c.args[0]) +
                  "," + std::to_string(c.args[1]) + "," + std::to_string(c.args[2]) +
                  ")=" + std::to_string(c.result));
  }
  return out;
}

int CountCalls(OX952SimFunction f) {
  int n = 0;
  for (uint32_t i = 0; i < OX952Sim_JournalSize(); ++i) {
    OX952SimCall c{};
    OX952Sim_JournalEntry(i, &c);
    n += c.function == f ? 1 : 0;
  }
  return n;
}

InitOutcome CallInit(PData p, const std::string& path) {
  char buffer[256];
  std::memset(buffer, 0x55, sizeof buffer);
  const bool ok = Init(p, 0, path.c_str(), 200, buffer, 6, 7, 8, 9) != 0;
  return {ok, ok ? std::string() : std::string(buffer)};
}

}  // namespace qvtest
