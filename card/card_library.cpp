#include "card/card_library.h"

namespace qv {

const CardLibrary& ImportedCardLibrary() {
  static const CardLibrary lib = {
      .CardsInSystem = OX952_CardsInSystem,
      .Card_DID = OX952_Card_DID,
      .Card_BUS = OX952_Card_BUS,
      .Card_SLOT = OX952_Card_SLOT,
      .Open = OX952_Open,
      .BAR11_BaseAdr = OX952_BAR11_BaseAdr,
      .Close = OX952_Close,
      .MemRead = OX952_MemRead,
      .MemWrite = OX952_MemWrite,
  };
  return lib;
}

}  // namespace qv
