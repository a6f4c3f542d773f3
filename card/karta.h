// The opened card as the driver sees it: identity, last input snapshot, output shadows.
#pragma once

#include <cstdint>
#include <string>

namespace qv {

struct TKarta {
  // Identity, written only by Init.
  uint32_t CardIndex = 0;
  uint32_t BaseAddr = 0;
  uint32_t DeviceID = 0;
  std::string CardName;  // Windows-1250
  uint8_t Opened = 0;
  // Counter read-back (input snapshot, 24 bits).
  uint32_t CNT0StrReg = 0, CNT1StrReg = 0, CNT2StrReg = 0;
  uint32_t CNT0XStrReg = 0, CNT1XStrReg = 0, CNT2XStrReg = 0;
  // Counter shadows (24 bits).
  uint32_t CNT0SetReg = 0, CNT1SetReg = 0, CNT2SetReg = 0;
  uint32_t CNT0RngReg = 0, CNT1RngReg = 0, CNT2RngReg = 0;
  uint32_t CNT0CMP1 = 0, CNT1CMP1 = 0, CNT2CMP1 = 0;
  uint32_t CNT0CMP2 = 0, CNT1CMP2 = 0, CNT2CMP2 = 0;
  uint32_t CNT0CWReg = 0, CNT1CWReg = 0, CNT2CWReg = 0;        // shadow, bit 3 cleared
  uint32_t CNT0StatReg = 0, CNT1StatReg = 0, CNT2StatReg = 0;  // input snapshot
  uint8_t CNTEnReg = 0;
  uint8_t CMPEnReg = 0;
  uint8_t CMPStatReg = 0;  // input snapshot
  uint8_t CMPClrReg = 0;   // back to 0 right after every write
  uint8_t XSTREnReg = 0;
  uint8_t XSTRStatusReg = 0;  // input snapshot
  uint8_t XSTRClrReg = 0;     // back to 0 right after every write
  uint8_t RTDOCfgReg = 0;
  uint8_t DINReg = 0;  // input snapshot
  uint8_t DOUTReg = 0;
  uint8_t RTDOReg = 0;
};

// A TKarta field of either width, for the tables that name fields (channel map, monitor cells).
struct KartaField {
  uint32_t TKarta::*wide = nullptr;
  uint8_t TKarta::*narrow = nullptr;

  // Implicit, so that a table row names the field itself: &TKarta::DINReg.
  constexpr KartaField() = default;
  constexpr KartaField(uint32_t TKarta::*f) : wide(f) {}
  constexpr KartaField(uint8_t TKarta::*f) : narrow(f) {}

  uint32_t Get(const TKarta& k) const { return wide != nullptr ? k.*wide : k.*narrow; }
  void Set(TKarta& k, uint32_t v) const {
    if (wide != nullptr)
      k.*wide = v;
    else
      k.*narrow = static_cast<uint8_t>(v);
  }
};

}  // namespace qv
