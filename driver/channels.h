// The host's channels 0..68 and the data exchange over them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

#include "card/karta.h"

namespace qv {

struct TData;

enum class Direction : uint8_t { Input, Output };

// What happens around a write besides storing the shadow and writing the register.
enum class Rule : uint8_t {
  None,
  LoadBit,       // a preset: its load bit goes into PendingCmd
  ClearBit3,     // a control word: the shadow never keeps bit 3
  ReturnToZero,  // a clear register: the shadow returns to 0 after the write
  Bit,           // one bit of a port, read-modify-write on the shadow
};

// A TKarta field of either width.
struct KartaField {
  uint32_t TKarta::*wide = nullptr;
  uint8_t TKarta::*narrow = nullptr;

  uint32_t Get(const TKarta& k) const { return wide != nullptr ? k.*wide : k.*narrow; }
  void Set(TKarta& k, uint32_t v) const {
    if (wide != nullptr)
      k.*wide = v;
    else
      k.*narrow = static_cast<uint8_t>(v);
  }
};

// One row of the channel map; bit rows cover eight channels, bit n = channel - first.
struct ChannelRow {
  uint16_t first;
  uint16_t last;
  int32_t kind;  // the only kind served on these channels
  Direction direction;
  uint32_t offset;
  uint8_t width;  // 24, 8 or 1
  KartaField field;
  Rule rule;
  uint8_t load_bit;
  const char* name;
};

// The whole map, in channel order.
const ChannelRow* ChannelRows(std::size_t& count);

inline constexpr std::size_t kChannelCount = 69;
// Channel number -> the row that serves it, nullptr for channels 32-39, 49 and 59.
extern const std::array<const ChannelRow*, kChannelCount> kChannelIndex;

// The row that serves `channel`, or nullptr for channels 32-39, 49, 59 and above 68. Inline:
// every exchanged channel passes through it.
inline const ChannelRow* FindChannel(uint32_t channel) {
  return channel < kChannelCount ? kChannelIndex[channel] : nullptr;
}

// An input channel's value from the snapshot in `karta`; other channels and kinds leave
// `value` as it is. Inline: the host asks for every input channel every cycle.
inline void AnswerInput(const TKarta& karta, uint32_t channel, int32_t kind, uintptr_t& value) {
  const ChannelRow* row = FindChannel(channel);
  if (row == nullptr || row->direction != Direction::Input || row->kind != kind) return;
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
