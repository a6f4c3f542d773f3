// The card's register window: offsets, the four access primitives and the initial programming.
// Every register is one byte at BaseAddr + offset; a 24-bit register is the bytes at +0, +4, +8.
#pragma once

#include <cstdint>

#include "card/card_library.h"
#include "card/karta.h"

namespace qv {

namespace reg {
inline constexpr uint32_t DINReg = 0;
inline constexpr uint32_t DOUTReg = 4;
inline constexpr uint32_t kInit384 = 384;  // written only at initialisation
inline constexpr uint32_t kInit388 = 388;
inline constexpr uint32_t kInit396 = 396;
inline constexpr uint32_t XSTREnReg = 400;  // write; read gives XSTRStatusReg
inline constexpr uint32_t XSTRStatusReg = 400;
inline constexpr uint32_t XSTRClrReg = 404;
inline constexpr uint32_t CNT0StrReg = 512, CNT1StrReg = 640, CNT2StrReg = 768;
inline constexpr uint32_t CNT0SetReg = 512, CNT1SetReg = 640, CNT2SetReg = 768;
inline constexpr uint32_t CNT0XStrReg = 528, CNT1XStrReg = 656, CNT2XStrReg = 784;
inline constexpr uint32_t CNT0RngReg = 528, CNT1RngReg = 656, CNT2RngReg = 784;
inline constexpr uint32_t CNT0CMP1 = 544, CNT1CMP1 = 672, CNT2CMP1 = 800;
inline constexpr uint32_t CNT0CMP2 = 560, CNT1CMP2 = 688, CNT2CMP2 = 816;
inline constexpr uint32_t CNT0CWReg = 624, CNT1CWReg = 752, CNT2CWReg = 880;
inline constexpr uint32_t CNT0StatReg = 624, CNT1StatReg = 752, CNT2StatReg = 880;
inline constexpr uint32_t CNTEnReg = 896;
inline constexpr uint32_t CNTCmdReg = 900;  // command; never read, no shadow
inline constexpr uint32_t CMPEnReg = 912;   // write; read gives CMPStatReg
inline constexpr uint32_t CMPStatReg = 912;
inline constexpr uint32_t CMPClrReg = 916;
inline constexpr uint32_t kInit920 = 920;
inline constexpr uint32_t RTDOReg = 928;
inline constexpr uint32_t RTDOCfgReg = 932;
inline constexpr uint32_t kInit1008 = 1008;

// CNTCmdReg values.
inline constexpr uint8_t kLatchAll = 0x07;  // bits 0-2: latch counters 0, 1, 2 (input snapshot)
inline constexpr uint8_t kLoadAll = 0x70;   // bits 4-6: load all presets (initialisation)
inline constexpr uint8_t kLoadCounter[3] = {0x10, 0x20, 0x40};
}  // namespace reg

// Inline: the data exchange makes 45 of these calls a cycle, and the library call is the only
// work each one has.
inline uint8_t ReadReg8(const CardLibrary& lib, uint32_t base, uint32_t offset) {
  return static_cast<uint8_t>(lib.MemRead(base + offset, 0) & 0xFF);
}

inline uint32_t ReadReg24(const CardLibrary& lib, uint32_t base, uint32_t offset) {
  const uint32_t b0 = ReadReg8(lib, base, offset);
  const uint32_t b1 = ReadReg8(lib, base, offset + 4);
  const uint32_t b2 = ReadReg8(lib, base, offset + 8);
  return b0 | (b1 << 8) | (b2 << 16);
}

inline void WriteReg8(const CardLibrary& lib, uint32_t base, uint32_t offset, uint8_t value) {
  lib.MemWrite(base + offset, 0, value);
}

inline void WriteReg24(const CardLibrary& lib, uint32_t base, uint32_t offset, uint32_t value) {
  WriteReg8(lib, base, offset, static_cast<uint8_t>(value));
  WriteReg8(lib, base, offset + 4, static_cast<uint8_t>(value >> 8));
  WriteReg8(lib, base, offset + 8, static_cast<uint8_t>(value >> 16));
}

// Programs the opened card at karta.BaseAddr once, from karta's shadows: 53 library calls in a
// fixed order. It has no failure of its own; an exception from the library passes through.
void InitCard(const CardLibrary& lib, const TKarta& karta);

}  // namespace qv
