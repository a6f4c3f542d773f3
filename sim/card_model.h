// The behaviour of one simulated LVK-5120 card behind its register window: separate
// read and write registers at each offset, and three counters that move only when the
// command register is written, so that every result follows from the calls made.
#pragma once

#include <array>
#include <cstdint>

namespace qv::sim {

class CardModel {
 public:
  static constexpr uint32_t kWindowSize = 1024;

  CardModel();

  // Register accesses at offsets below kWindowSize; others are ignored (read 0).
  void Write(uint32_t offset, uint8_t value);
  uint8_t Read(uint32_t offset) const;

  // A byte set here is what Read returns at that offset, whatever the model says.
  void SetReadByte(uint32_t offset, uint8_t value);
  // Last byte written at the offset, -1 if never.
  int WrittenByte(uint32_t offset) const;
  // The current count of counter 0..2 (0 for another index).
  uint32_t Count(uint32_t counter) const;

 private:
  struct Counter {
    uint32_t count = 0;
    uint32_t str = 0;      // latched by a latch command
    uint32_t xstr = 0;     // latched by a latch command while XSTR is enabled
    bool wrapped = false;  // the last advance passed the range
  };

  uint8_t Written(uint32_t offset) const;
  uint32_t Written24(uint32_t offset) const;
  uint8_t ModelRead(uint32_t offset) const;
  void Command(uint8_t value);
  void Advance(uint32_t x);

  std::array<int16_t, kWindowSize> written_;
  std::array<int16_t, kWindowSize> forced_;
  std::array<Counter, 3> counters_{};
  uint8_t cmp_status_ = 0;
  uint8_t xstr_status_ = 0;
};

}  // namespace qv::sim
