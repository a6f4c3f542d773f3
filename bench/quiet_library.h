// Card libraries for the benchmarks, kept in their own file so that the compiler cannot
// inline them into either of the two measured paths.
#pragma once

#include <cstddef>
#include <cstdint>

#include "card/card_library.h"

namespace qvbench {

// `base` with byte accesses that return at once: MemRead gives 0x5A, MemWrite 0.
qv::CardLibrary QuietLibrary(const qv::CardLibrary& base);

// `base` with byte accesses that take the time a real card's do: each MemRead busy-waits
// `read_ns` and each MemWrite `write_ns` on the steady clock, then answers like the quiet ones.
qv::CardLibrary SlowLibrary(const qv::CardLibrary& base, uint32_t read_ns, uint32_t write_ns);

// One byte access as the card library saw it.
struct Access {
  bool write;
  uint32_t address;
  uint32_t value;  // the byte written; 0 for a read
  bool operator==(const Access&) const = default;
};

// `base` with byte accesses that are recorded (without allocating) and answer like the quiet
// ones. Recording starts empty; at most kMaxAccesses are kept, the count goes on.
inline constexpr std::size_t kMaxAccesses = 256;
qv::CardLibrary RecordingLibrary(const qv::CardLibrary& base);
void ClearRecording();
std::size_t RecordedCount();
const Access* Recorded();

}  // namespace qvbench
