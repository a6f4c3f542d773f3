// The smallest library with the nine card functions: one free LVK-5120B at bus 2, slot 13,
// whose registers read back what was last written. It proves that the driver stands on
// the nine functions alone.
#include <array>

#include "card/ox952.h"

namespace {

constexpr uint32_t kBase = 0xD0000000u;
constexpr uint32_t kWindowSize = 1024;
bool g_open = false;
std::array<uint8_t, kWindowSize> g_registers{};

bool InWindow(uint32_t address) {
  return g_open && address - kBase < kWindowSize;
}

}  // namespace

extern "C" {

OX952_API uint32_t OX952_CALL OX952_CardsInSystem(uint32_t* count) {
  if (!count) return 1;
  *count = 1;
  return 0;
}

OX952_API uint32_t OX952_CALL OX952_Card_DID(uint32_t card, uint32_t* device_id) {
  if (card != 0 || !device_id) return 1;
  *device_id = 512;
  return 0;
}

OX952_API uint32_t OX952_CALL OX952_Card_BUS(uint32_t card, uint32_t* bus) {
  if (card != 0 || !bus) return 1;
  *bus = 2;
  return 0;
}

OX952_API uint32_t OX952_CALL OX952_Card_SLOT(uint32_t card, uint32_t* slot) {
  if (card != 0 || !slot) return 1;
  *slot = 13;
  return 0;
}

OX952_API uint32_t OX952_CALL OX952_Open(uint32_t card, uint32_t /*zero*/) {
  if (card != 0 || g_open) return 1;
  g_open = true;
  return 0;
}

OX952_API uint32_t OX952_CALL OX952_BAR11_BaseAdr(uint32_t card, uint32_t* base, uint32_t* second) {
  if (card != 0 || !base || !g_open) return 1;
  *base = kBase;
  if (second) *second = 0;
  return 0;
}

OX952_API uint32_t OX952_CALL OX952_Close(uint32_t card) {
  if (card != 0 || !g_open) return 1;
  g_open = false;
  return 0;
}

OX952_API uint32_t OX952_CALL OX952_MemRead(uint32_t address, uint32_t /*zero*/) {
  return InWindow(address) ? g_registers[address - kBase] : 0;
}

OX952_API uint32_t OX952_CALL OX952_MemWrite(uint32_t address, uint32_t /*zero*/, uint32_t value) {
  if (InWindow(address)) g_registers[address - kBase] = static_cast<uint8_t>(value);
  return 0;
}

}  // extern "C"
