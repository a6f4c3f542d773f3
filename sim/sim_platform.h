// What the simulator needs from the operating system; one backend file per platform
// fills the single instance.
#pragma once

#include <string>

#include "sim/sim_config.h"

namespace qv::sim {

struct SimPlatform {
  // True with the variable's value when the process environment has `name`.
  bool (*GetEnv)(const char* name, std::string* value);
  // Raises `kind` as the maker's library would; does not return (kind kNone excepted).
  void (*Raise)(RaiseKind kind);
};

extern const SimPlatform kSimPlatform;

}  // namespace qv::sim
