// qvhost --list-cards: the cards that the card library reports, as an integrator needs
// them to write a parameter file. Reads identities and tries an open and a close; it never
// touches a register.
#pragma once

#include <cstdio>
#include <string>

namespace qvhost {

// Lists the cards of the card library at `card_library`, or when that is empty of the one that
// the driver at `driver_path` binds when loaded (Windows: plainly, or with `altered` with the
// altered search path; both bindings are named first), after a line naming the library and
// what it is. With `ini_template`, the list goes to stderr and a parameter file for the first
// free family card to stdout. Returns 0 when at least one family card is free, 1 otherwise.
int ListCards(const std::string& driver_path, const std::string& card_library, bool ini_template,
              bool altered);

// The card library loaded in this process, "PATH  (what it is)", or "" when none is;
// `simulator` tells whether our simulator (or one of ours in front of it) answers its calls.
std::string LoadedCardLibrary(bool* simulator);

// Where the simulator's settings are set but no simulator answers (`simulator` false), that
// nothing reads them.
void WarnSimulatorSettings(bool simulator, FILE* out);

}  // namespace qvhost
