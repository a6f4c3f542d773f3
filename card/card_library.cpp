#include "card/card_library.h"

namespace qv {

const CardLibrary& ImportedCardLibrary() {
  static const CardLibrary lib = {
#define QV_IMPORTED(name, parameters, arguments, trace) .name = OX952_##name,
      OX952_FUNCTIONS(QV_IMPORTED)
#undef QV_IMPORTED
  };
  return lib;
}

}  // namespace qv
