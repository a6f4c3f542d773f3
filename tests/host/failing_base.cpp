// A card library whose OX952_BAR11_BaseAdr writes the base address and then fails, as a
// maker's library may: the tracer must show the value written, and "out -" for the second
// value, which the call leaves alone. Otherwise one free LVK-5120B at bus 2, slot 13.
#include "card/ox952.h"

extern "C" {

OX952_API uint32_t OX952_CALL OX952_CardsInSystem(uint32_t* count) {
  *count = 1;
  return 0;
}

OX952_API uint32_t OX952_CALL OX952_Card_DID(uint32_t, uint32_t* device_id) {
  *device_id = 512;
  return 0;
}

OX952_API uint32_t OX952_CALL OX952_Card_BUS(uint32_t, uint32_t* bus) {
  *bus = 2;
  return 0;
}

OX952_API uint32_t OX952_CALL OX952_Card_SLOT(uint32_t, uint32_t* slot) {
  *slot = 13;
  return 0;
}

OX952_API uint32_t OX952_CALL OX952_Open(uint32_t, uint32_t) {
  return 0;
}

OX952_API uint32_t OX952_CALL OX952_BAR11_BaseAdr(uint32_t, uint32_t* base, uint32_t*) {
  *base = 0xD0000000u;
  return 7;
}

OX952_API uint32_t OX952_CALL OX952_Close(uint32_t) {
  return 0;
}

OX952_API uint32_t OX952_CALL OX952_MemRead(uint32_t, uint32_t) {
  return 0;
}

OX952_API uint32_t OX952_CALL OX952_MemWrite(uint32_t, uint32_t, uint32_t) {
  return 0;
}

}  // extern "C"
