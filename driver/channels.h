// The host's channels 0..68 and the data exchange over them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "card/karta.h"
#include "driver/host_abi.h"

namespace qv {

struct TData;

enum class Direction : uint8_t { Input, Output };

// What happens around a write besides storing the shadow and writing the register.
enum class Rule : uint8_t {
  None,
  ClearBit3,     // a control word: the shadow never keeps bit 3
  ReturnToZero,  // a clear register: the shadow returns to 0 after the write
  Bit,           // one bit of a port, read-modify-write on the shadow
};

// One row of the channel map; bit rows cover eight channels, bit n = channel - first.
struct ChannelRow {
  uint16_t first;
  uint16_t last;
  Direction direction;
  uint8_t width;  // of the register: 24 or 8
  Rule rule;
  uint8_t load_bit;  // a preset's: goes into PendingCmd with every write
  // The register, its shadow or snapshot field and its name: one name for all three.
  uint32_t offset;
  KartaField field;
  const char* name;

  // The only kind served on these channels: a port bit is a boolean, the rest integers.
  int32_t Kind() const { return rule == Rule::Bit ? kKindBoolean : kKindInteger; }
};

// The whole map, in channel order.
std::span<const ChannelRow> ChannelRows();

inline constexpr std::size_t kChannelCount = 69;
// Channel number -> the row that serves it, nullptr for channels 32-39, 49 and 59.
extern const std::array<const ChannelRow*, kChannelCount> kChannelIndex;
// The input registers that a snapshot reads, in channel order: the input rows, a port's byte
// row standing for its bit row.
extern const std::array<const ChannelRow*, 12> kSnapshotRows;

// The row that serves `channel`, or nullptr for channels 32-39, 49, 59 and above 68. Inline:
// every exchanged channel passes through it.
inline const ChannelRow* FindChannel(uint32_t channel) {
  return channel < kChannelCount ? kChannelIndex[channel] : nullptr;
}

// An input channel's value from the snapshot in `karta`; other channels and kinds leave
// `value` as it is. Inline: the host asks for every input channel every cycle.
inline void AnswerInput(const TKarta& karta, uint32_t channel, int32_t kind, uintptr_t& value) {
  const ChannelRow* row = FindChannel(channel);
  if (row == nullptr || row->direction != Direction::Input || row->Kind() != kind) return;
  const uint32_t field = row->field.Get(karta);
  if (row->rule == Rule::Bit) {
    // A boolean answer goes into the first byte of the value only.
    *reinterpret_cast<unsigned char*>(&value) = (field >> (channel - row->first)) & 1u;
  } else {
    value = static_cast<uintptr_t>(field);
  }
}

// The exchange itself; the gated operations check ExchangeOpen first.
void TakeInputSnapshot(TData& data);
void WriteOutput(TData& data, uint32_t channel, int32_t kind, uintptr_t value);
void IssuePendingLoad(TData& data);

}  // namespace qv
