// What the simulator needs from the operating system; one backend file per platform
// fills the single instance.
#pragma once

#include <string>

#include "sim/sim_config.h"

namespace qv::sim {

struct SimPlatform {
  // Raises `kind` as the maker's library would; does not return (kinds kNone and
  // kHandledException excepted).
  void (*Raise)(RaiseKind kind);
  // The path this library was loaded from ("" if unknown).
  std::string (*OwnPath)();
  // A line for whoever runs the process: stderr, and on Windows the debugger too.
  void (*Warn)(const std::string& line);
};

extern const SimPlatform kSimPlatform;

// The division instruction itself, by zero: compilers turn a division in C++ into other code.
inline void DivideByZero() {
  int quotient = 1, remainder = 0;
  const int zero = 0;
  asm volatile("idivl %2" : "+a"(quotient), "+d"(remainder) : "r"(zero));
}

}  // namespace qv::sim
