// The simulator's configuration: which cards the system has and which calls misbehave.
// Line syntax (one entry per line, `#` starts a comment, blank lines are skipped;
// numbers are decimal or 0x-hexadecimal, 32 bits):
//   card <device-id> <bus> <slot> [free | in-use]
//   fault <function> <call-number> <result>
//   raise <access-violation | illegal-instruction | cpp-exception> [<call-number>]
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/ox952_sim.h"

namespace qv::sim {

inline constexpr uint32_t kMaxCards = 256;

struct CardEntry {
  uint32_t device_id = 0;
  uint32_t bus = 0;
  uint32_t slot = 0;
  bool in_use = false;  // in use by another application: Open fails
};

// The n-th call (1-based) of `function` returns `result` and does nothing else.
struct FaultEntry {
  OX952SimFunction function = OX952SIM_CardsInSystem;
  uint32_t call = 1;
  uint32_t result = 1;
};

enum class RaiseKind {
  kNone,
  kAccessViolation,
  kIllegalInstruction,
  kDivideByZero,
  kCppException,
  kForeignException,  // a software exception of another runtime (another language's)
  kHandledException,  // raised and handled inside the call, which then returns normally
};

// OX952_CardsInSystem raises `kind` at its n-th call, or at every call when call is 0.
struct RaiseEntry {
  RaiseKind kind = RaiseKind::kNone;
  uint32_t call = 0;
};

struct SimConfig {
  std::vector<CardEntry> cards;
  std::vector<FaultEntry> faults;
  std::vector<RaiseEntry> raises;
};

// One free LVK-5120B at bus 2, slot 13: what the system has without a configuration.
SimConfig DefaultSimConfig();

// Parses `text`; on failure returns false with `error` as "<source>:<line>: <what>"
// and leaves `config` empty (no cards).
bool ParseSimConfig(std::string_view text, std::string_view source, SimConfig* config,
                    std::string* error);

// "access-violation" etc., as the configuration and the trace name it; and back.
const char* RaiseKindName(RaiseKind kind);
bool RaiseKindFromName(std::string_view name, RaiseKind* kind);

}  // namespace qv::sim
