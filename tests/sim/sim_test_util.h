// Helpers shared by the simulator's tests: they drive the library only through its
// exported functions, as the driver does.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <list>
#include <string>

#include "card/ox952.h"
#include "sim/ox952_sim.h"

namespace qv::sim::test {

// putenv keeps the pointer, so the texts live as long as the process.
inline void SetEnv(const std::string& name, const std::string& value) {
  static std::list<std::string> texts;
  texts.push_back(name + "=" + value);
  putenv(texts.back().data());
}

// Opens the card and returns its base address (0 on failure).
inline uint32_t OpenCard(uint32_t card) {
  uint32_t base = 0, second = 0;
  if (OX952_Open(card, 0) != 0 || OX952_BAR11_BaseAdr(card, &base, &second) != 0) return 0;
  return base;
}

inline void Write24(uint32_t base, uint32_t offset, uint32_t value) {
  for (uint32_t i = 0; i < 3; ++i) OX952_MemWrite(base + offset + 4 * i, 0, value >> (8 * i));
}

inline uint32_t Read24(uint32_t base, uint32_t offset) {
  uint32_t value = 0;
  for (uint32_t i = 0; i < 3; ++i) {
    value |= (OX952_MemRead(base + offset + 4 * i, 0) & 0xFF) << (8 * i);
  }
  return value;
}

// Platform backend: makes a fault that ends the process exit with a code naming it.
inline constexpr int kExitAccessViolation = 11;
inline constexpr int kExitIllegalInstruction = 4;
inline constexpr int kExitCppException = 3;
void ExitOnFault();

}  // namespace qv::sim::test
