// The card library as the driver reaches it: a table of its nine functions.
// The exports bind it to the imported library; tests may hand a recording table
// to FindCard and InitCard instead.
#pragma once

#include <cstdint>

#include "card/ox952.h"

namespace qv {

struct CardLibrary {
  uint32_t(OX952_CALL* CardsInSystem)(uint32_t* count);
  uint32_t(OX952_CALL* Card_DID)(uint32_t card, uint32_t* device_id);
  uint32_t(OX952_CALL* Card_BUS)(uint32_t card, uint32_t* bus);
  uint32_t(OX952_CALL* Card_SLOT)(uint32_t card, uint32_t* slot);
  uint32_t(OX952_CALL* Open)(uint32_t card, uint32_t zero);
  uint32_t(OX952_CALL* BAR11_BaseAdr)(uint32_t card, uint32_t* base, uint32_t* second);
  uint32_t(OX952_CALL* Close)(uint32_t card);
  uint32_t(OX952_CALL* MemRead)(uint32_t address, uint32_t zero);
  uint32_t(OX952_CALL* MemWrite)(uint32_t address, uint32_t zero, uint32_t value);
};

// The table bound to the library that the driver imports by name.
const CardLibrary& ImportedCardLibrary();

// Calls lib.CardsInSystem(count) so that a C++ exception or a hardware fault raised
// inside it cannot escape. True with the call's result in `result` when it returned;
// false when it raised (then `result` and `count` are not defined). Platform backend.
bool GuardedCardsInSystem(const CardLibrary& lib, uint32_t* count, uint32_t* result);

}  // namespace qv
