// Finding, opening and closing the card of the family through the card library.
#pragma once

#include <cstdint>
#include <string_view>

#include "card/card_library.h"

namespace qv {

// PCI device IDs of the family that FindCard accepts.
inline constexpr uint32_t kDeviceB = 512, kDeviceC = 528, kDeviceE = 530;

constexpr bool IsFamilyCard(uint32_t device_id) {
  return device_id == kDeviceB || device_id == kDeviceC || device_id == kDeviceE;
}

// Which family card FindCard chooses.
enum class TCardChoice : uint8_t { AtBusSlot, FirstOfFamily };

// What FindCard reports. When Found, exactly the chosen card is open; otherwise no card that
// the search opened is, and only Message is defined.
struct TFoundCard {
  bool Found = false;
  std::string_view Message;  // Windows-1250: "V pořádku." or why no card was found
  uint32_t DeviceID = 0;
  int32_t Bus = 0;  // the chosen card's with FirstOfFamily, else the requested ones
  int32_t Slot = 0;
  uint32_t CardIndex = 0;
  uint32_t BaseAddr = 0;
};

TFoundCard FindCard(const CardLibrary& lib, TCardChoice choice, int32_t bus, int32_t slot);

// "LVK-5120B", "LVK-5120C", "LVK-5120E" or "???" (Windows-1250).
std::string_view CardModelName(uint32_t device_id);

// Closes the card; the library's result is not examined.
void CloseCard(const CardLibrary& lib, uint32_t card_index);

}  // namespace qv
