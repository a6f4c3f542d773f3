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

// The nine functions, in the library's order, each as X(name, parameters, arguments, trace).
// Whatever names them (these declarations, the function table, binding by name, the trace
// line, the import libraries' exports) expands this one list.
// Result 0 is success throughout; a card index is 0 .. count - 1. Open's `zero` is always 0,
// and its non-zero result means that the card is in use elsewhere. MemRead reads the register
// byte at `address` (base address + offset) into bits 0-7 of its result; MemWrite writes bits
// 0-7 of `value` there.
// trace: how a trace line shows each argument, one letter each, then after '=' the result:
// d decimal, a address (0x%08X), b byte (0x%02X), o out-argument in decimal, O out-argument in
// hexadecimal. Out-arguments are exactly the pointer parameters.
// clang-format off
#define OX952_FUNCTIONS(X)                                                                 \
  X(CardsInSystem, (uint32_t* count), (count), "o=d")                                     \
  X(Card_DID, (uint32_t card, uint32_t* device_id), (card, device_id), "do=d")            \
  X(Card_BUS, (uint32_t card, uint32_t* bus), (card, bus), "do=d")                        \
  X(Card_SLOT, (uint32_t card, uint32_t* slot), (card, slot), "do=d")                     \
  X(Open, (uint32_t card, uint32_t zero), (card, zero), "dd=d")                           \
  X(BAR11_BaseAdr, (uint32_t card, uint32_t* base, uint32_t* second), (card, base, second), \
    "dOO=d")                                                                              \
  X(Close, (uint32_t card), (card), "d=d")                                                \
  X(MemRead, (uint32_t address, uint32_t zero), (address, zero), "ad=b")                  \
  X(MemWrite, (uint32_t address, uint32_t zero, uint32_t value), (address, zero, value), "adb=d")
// clang-format on

// An argument list of the table, (a, b), without its parentheses.
#define OX952_ARGUMENTS(...) __VA_ARGS__

#ifdef __cplusplus
extern "C" {
#endif

#define OX952_DECLARE(name, parameters, arguments, trace) \
  OX952_API uint32_t OX952_CALL OX952_##name parameters;
OX952_FUNCTIONS(OX952_DECLARE)
#undef OX952_DECLARE

#ifdef __cplusplus
}
#endif
