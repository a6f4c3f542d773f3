#include "card/discovery.h"

#include "config/texts.h"

namespace qv {

namespace {

bool Fail(std::string& message, std::string_view text) {
  message = text;
  return false;
}

}  // namespace

bool FindCard(const CardLibrary& lib, uint8_t mode, uint32_t& device_id, int32_t& bus,
              int32_t& slot, uint32_t& card_index, uint32_t& base_addr, std::string& message) {
  uint32_t count = 0;
  uint32_t result = 0;
  if (!GuardedCardsInSystem(lib, &count, &result) || result != 0)
    return Fail(message, text::kCardLibraryError);
  if (count == 0) return Fail(message, text::kNoVodraCard);

  uint32_t family_seen = 0;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t did = 0;
    if (lib.Card_DID(i, &did) != 0) return Fail(message, text::kCardLibraryError);
    if (!IsFamilyCard(did)) continue;
    ++family_seen;

    uint32_t card_bus = 0, card_slot = 0;
    if (lib.Card_BUS(i, &card_bus) != 0 || lib.Card_SLOT(i, &card_slot) != 0)
      return Fail(message, text::kCardLibraryError);

    // The open comes before the bus/slot test, so in select mode every family card ahead
    // of the requested one is opened, its base address read, and closed again.
    const bool opened = lib.Open(i, 0) == 0;
    uint32_t base = 0, second = 0;
    if (opened && lib.BAR11_BaseAdr(i, &base, &second) != 0) {
      lib.Close(i);
      return Fail(message, text::kCardLibraryError);
    }

    const bool chosen = mode == 1 || (static_cast<int32_t>(card_bus) == bus &&
                                      static_cast<int32_t>(card_slot) == slot);
    if (!chosen) {
      if (opened) lib.Close(i);
      continue;
    }
    device_id = did;
    card_index = i;
    if (mode == 1) {
      bus = static_cast<int32_t>(card_bus);
      slot = static_cast<int32_t>(card_slot);
    }
    if (!opened) return Fail(message, text::kCardInUse);
    base_addr = base;
    message = text::kCardOk.view();
    return true;
  }
  return Fail(message,
              family_seen == 0 ? text::kNoFamilyCard.view() : text::kRequestedCardMissing.view());
}

std::string_view CardModelName(uint32_t device_id) {
  switch (device_id) {
    case 512:
    case 513:
      return text::kModelB;
    case 528:
    case 529:
      return text::kModelC;
    case 530:
    case 531:
      return text::kModelE;
    default:
      return text::kModelUnknown;
  }
}

void CloseCard(const CardLibrary& lib, uint32_t card_index) {
  lib.Close(card_index);
}

}  // namespace qv
