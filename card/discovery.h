// Finding, opening and closing the card of the family through the card library.
#pragma once

#include <cstdint>
#include <string_view>

#include "card/card_library.h"

namespace qv {

// The family's models. Each name also covers `named_too`, the ID one above the model's own,
// as the driver's model-name table always has; such a card is still no family card: FindCard
// passes it over, and qvhost --list-cards shows it as not of this family.
struct TFamilyModel {
  uint32_t device_id, named_too;
  std::string_view name;
};
inline constexpr TFamilyModel kFamily[] = {
    {512, 513, "LVK-5120B"}, {528, 529, "LVK-5120C"}, {530, 531, "LVK-5120E"}};

constexpr bool IsFamilyCard(uint32_t device_id) {
  for (const TFamilyModel& m : kFamily)
    if (m.device_id == device_id) return true;
  return false;
}

// Which family card FindCard chooses.
enum class TCardChoice : uint8_t { AtBusSlot, FirstOfFamily };

// How a search ended; the driver words it for the host.
enum class TCardSearch : uint8_t {
  Found,             // exactly the chosen card is open
  LibraryError,      // a library call failed, or the count call raised
  NoCard,            // the library reports no card at all
  NoFamilyCard,      // no card has a family device ID
  RequestedMissing,  // family cards, but none at the requested bus and slot
  InUse,             // the chosen card could not be opened
};

// What FindCard reports. Unless Found, no card that the search opened is open, and only
// Outcome is defined.
struct TFoundCard {
  TCardSearch Outcome = TCardSearch::LibraryError;
  uint32_t DeviceID = 0;
  int32_t Bus = 0;  // the chosen card's with FirstOfFamily, else the requested ones
  int32_t Slot = 0;
  uint32_t CardIndex = 0;
  uint32_t BaseAddr = 0;
};

TFoundCard FindCard(const CardLibrary& lib, TCardChoice choice, int32_t bus, int32_t slot);

// The model's name of kFamily (either of its IDs), or "???".
std::string_view CardModelName(uint32_t device_id);

// Closes the card; the library's result is not examined.
void CloseCard(const CardLibrary& lib, uint32_t card_index);

}  // namespace qv
