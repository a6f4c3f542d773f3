#include "card/discovery.h"

#include "card/search_lock.h"

namespace qv {

namespace {

TFoundCard Fail(TCardSearch outcome) {
  return {.Outcome = outcome};
}

// The base address of a card just opened; a library that throws here gets the card back
// first, or it would stay open behind the caller's back.
bool BaseAddressOf(const CardLibrary& lib, uint32_t card, uint32_t* base, uint32_t* second) {
  try {
    return lib.BAR11_BaseAdr(card, base, second) == 0;
  } catch (...) {
    lib.Close(card);
    throw;
  }
}

}  // namespace

TFoundCard FindCard(const CardLibrary& lib, TCardChoice choice, int32_t bus, int32_t slot) {
  // The search below opens and closes cards that another search may be choosing.
  const TCardSearchLock lock;
  uint32_t count = 0;
  uint32_t result = 0;
  if (!GuardedCardsInSystem(lib, &count, &result) || result != 0)
    return Fail(TCardSearch::LibraryError);
  if (count == 0) return Fail(TCardSearch::NoCard);

  uint32_t family_seen = 0;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t did = 0;
    if (lib.Card_DID(i, &did) != 0) return Fail(TCardSearch::LibraryError);
    if (!IsFamilyCard(did)) continue;
    ++family_seen;

    uint32_t card_bus = 0, card_slot = 0;
    if (lib.Card_BUS(i, &card_bus) != 0 || lib.Card_SLOT(i, &card_slot) != 0)
      return Fail(TCardSearch::LibraryError);

    // The open comes before the bus/slot test, so in select mode every family card ahead
    // of the requested one is opened, its base address read, and closed again.
    const bool opened = lib.Open(i, 0) == 0;
    uint32_t base = 0, second = 0;
    if (opened && !BaseAddressOf(lib, i, &base, &second)) {
      lib.Close(i);
      return Fail(TCardSearch::LibraryError);
    }

    const bool first = choice == TCardChoice::FirstOfFamily;
    if (!first &&
        (static_cast<int32_t>(card_bus) != bus || static_cast<int32_t>(card_slot) != slot)) {
      if (opened) lib.Close(i);
      continue;
    }
    if (!opened) return Fail(TCardSearch::InUse);
    return {.Outcome = TCardSearch::Found,
            .DeviceID = did,
            .Bus = first ? static_cast<int32_t>(card_bus) : bus,
            .Slot = first ? static_cast<int32_t>(card_slot) : slot,
            .CardIndex = i,
            .BaseAddr = base};
  }
  return Fail(family_seen == 0 ? TCardSearch::NoFamilyCard : TCardSearch::RequestedMissing);
}

std::string_view CardModelName(uint32_t device_id) {
  for (const TFamilyModel& m : kFamily)
    if (device_id == m.device_id || device_id == m.named_too) return m.name;
  return "???";
}

void CloseCard(const CardLibrary& lib, uint32_t card_index) {
  lib.Close(card_index);
}

}  // namespace qv
