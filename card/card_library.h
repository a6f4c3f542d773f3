// The card library as the driver reaches it: a table of its nine functions.
// The exports bind it to the imported library; tests may hand a recording table
// to FindCard and InitCard instead.
#pragma once

#include <cstdint>
#include <string>
#include <type_traits>

#include "card/ox952.h"

namespace qv {

struct CardLibrary {
#define QV_CARD_LIBRARY_MEMBER(name, parameters, arguments, trace) \
  uint32_t(OX952_CALL* name) parameters;
  OX952_FUNCTIONS(QV_CARD_LIBRARY_MEMBER)
#undef QV_CARD_LIBRARY_MEMBER
};

// The table bound to the library that the driver imports by name.
const CardLibrary& ImportedCardLibrary();

// Binds the table to a library loaded at run time: `find("OX952_Open")` gives that function's
// address or nullptr. True when all nine are found; else the names not found, joined by ", ",
// are in `missing`.
template <typename Find>
bool BindCardLibrary(Find find, CardLibrary& lib, std::string& missing) {
  auto bind = [&](const char* name, auto& fn) {
    fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(find(name));
    if (fn == nullptr) missing += missing.empty() ? name : std::string(", ") + name;
    return fn != nullptr;
  };
  bool ok = true;
#define QV_CARD_LIBRARY_BIND(name, parameters, arguments, trace) \
  ok = bind("OX952_" #name, lib.name) && ok;
  OX952_FUNCTIONS(QV_CARD_LIBRARY_BIND)
#undef QV_CARD_LIBRARY_BIND
  return ok;
}

// Calls lib.CardsInSystem(count) so that a C++ exception or a hardware fault raised
// inside it cannot escape. True with the call's result in `result` when it returned;
// false when it raised (then `result` and `count` are not defined). Platform backend. The
// only guarded call: the others are called directly, MemRead and MemWrite for every register
// of every cycle, and a byte access has no error path to report a caught fault through.
bool GuardedCardsInSystem(const CardLibrary& lib, uint32_t* count, uint32_t* result);

}  // namespace qv
