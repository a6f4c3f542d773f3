#include "driver_support.h"

#include <cstring>

namespace qvtest {

std::string ToCp1250(const std::string& utf8) {
  return qv::Utf8ToCp1250(utf8).value();
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
