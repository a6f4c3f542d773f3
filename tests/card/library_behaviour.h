// What a card library may do inside a call, really done: faults, exceptions of other
// runtimes, and exceptions it raises and handles itself.
#pragma once

#include <string>

namespace qvtest {

struct LibraryBehaviour {
  const char* name;
  void (*act)();
  bool escapes;  // something leaves the library: the guarded call must report "raised"
  bool floating_point_trap = false;
};

// What the guard must leave as it found it, per thread (the handler chain) and per
// process (signal handlers), as text to compare.
std::string GuardState();

// False where unmasked floating-point exceptions raise no trap: 32-bit code under qemu's
// user-mode emulation, which gives infinity instead.
bool FloatingPointTrapsFire();

}  // namespace qvtest
