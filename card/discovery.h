// Finding, opening and closing the card of the family through the card library.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "card/card_library.h"

namespace qv {

// PCI device IDs of the family that FindCard accepts.
inline constexpr uint32_t kDeviceB = 512, kDeviceC = 528, kDeviceE = 530;

constexpr bool IsFamilyCard(uint32_t device_id) {
  return device_id == kDeviceB || device_id == kDeviceC || device_id == kDeviceE;
}

// Mode 1 chooses the first family card; any other mode the family card at bus/slot.
// On true exactly the chosen card is open; on false no card that this call opened is, and
// only `message` is defined.
bool FindCard(const CardLibrary& lib, uint8_t mode, uint32_t& device_id, int32_t& bus,
              int32_t& slot, uint32_t& card_index, uint32_t& base_addr, std::string& message);

// "LVK-5120B", "LVK-5120C", "LVK-5120E" or "???" (Windows-1250).
std::string_view CardModelName(uint32_t device_id);

// Closes the card; the library's result is not examined.
void CloseCard(const CardLibrary& lib, uint32_t card_index);

}  // namespace qv
