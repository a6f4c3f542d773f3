// The maker's card-access library VODRA_OX952: the nine functions the driver uses.
// Every argument and result is 32 bits; on 32-bit Windows the library uses __stdcall.
#pragma once

#include <stdint.h>

#if defined(_WIN32) && defined(__i386__)
#define OX952_CALL __stdcall
#else
#define OX952_CALL
#endif

#if defined(OX952_BUILDING_LIBRARY)
#if defined(_WIN32)
#define OX952_API __declspec(dllexport)
#else
#define OX952_API __attribute__((visibility("default")))
#endif
#else
#define OX952_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Result 0 is success throughout; a card index is 0 .. count - 1.
OX952_API uint32_t OX952_CALL OX952_CardsInSystem(uint32_t* count);
OX952_API uint32_t OX952_CALL OX952_Card_DID(uint32_t card, uint32_t* device_id);
OX952_API uint32_t OX952_CALL OX952_Card_BUS(uint32_t card, uint32_t* bus);
OX952_API uint32_t OX952_CALL OX952_Card_SLOT(uint32_t card, uint32_t* slot);
// `zero` is always 0; a non-zero result means the card is in use elsewhere.
OX952_API uint32_t OX952_CALL OX952_Open(uint32_t card, uint32_t zero);
OX952_API uint32_t OX952_CALL OX952_BAR11_BaseAdr(uint32_t card, uint32_t* base, uint32_t* second);
OX952_API uint32_t OX952_CALL OX952_Close(uint32_t card);
// Reads one register byte at `address` (base address + offset) into bits 0-7 of the result.
OX952_API uint32_t OX952_CALL OX952_MemRead(uint32_t address, uint32_t zero);
// Writes bits 0-7 of `value` to the register byte at `address`.
OX952_API uint32_t OX952_CALL OX952_MemWrite(uint32_t address, uint32_t zero, uint32_t value);

#ifdef __cplusplus
}
#endif
