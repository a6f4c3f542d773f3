#include "sim/card_model.h"

namespace qv::sim {

namespace {

// Register offsets, apart from card/registers.h on purpose: a check independent of the driver.
constexpr uint32_t kDin = 0, kDout = 4;
constexpr uint32_t kXstrEnStatus = 400, kXstrClr = 404;
constexpr uint32_t kCounterBlock = 512, kCounterStride = 128;
constexpr uint32_t kStrSet = 0, kXstrRng = 16, kCmp1 = 32, kCmp2 = 48, kStatCw = 112;
constexpr uint32_t kCntEn = 896, kCntCmd = 900, kCmpEnStatus = 912, kCmpClr = 916;

// Counts per latch command of an enabled counter: different per counter so that a
// demo shows three visibly different rates.
constexpr std::array<uint32_t, 3> kStep = {1, 10, 100};
constexpr uint32_t kCountLimit = 1u << 24;

constexpr uint32_t Block(uint32_t x) {
  return kCounterBlock + kCounterStride * x;
}

uint8_t ByteOf(uint32_t value, uint32_t offset_in_register) {
  return static_cast<uint8_t>(value >> (2 * offset_in_register));  // +0, +4, +8: bits 0, 8, 16
}

}  // namespace

CardModel::CardModel() {
  written_.fill(-1);
  forced_.fill(-1);
}

void CardModel::Write(uint32_t offset, uint8_t value) {
  if (offset >= kWindowSize) return;
  written_[offset] = value;
  if (offset == kCntCmd) {
    Command(value);
  } else if (offset == kCmpClr) {
    cmp_status_ &= static_cast<uint8_t>(~value);
  } else if (offset == kXstrClr) {
    // Bit x clears counter x's flag; bit 6 (as at initialisation) clears them all.
    xstr_status_ &= static_cast<uint8_t>((value & 0x40) ? 0 : ~(value & 0x07));
  }
}

uint8_t CardModel::Read(uint32_t offset) const {
  if (offset >= kWindowSize) return 0;
  if (forced_[offset] >= 0) return static_cast<uint8_t>(forced_[offset]);
  return ModelRead(offset);
}

void CardModel::SetReadByte(uint32_t offset, uint8_t value) {
  if (offset < kWindowSize) forced_[offset] = value;
}

int CardModel::WrittenByte(uint32_t offset) const {
  return offset < kWindowSize ? written_[offset] : -1;
}

uint32_t CardModel::Count(uint32_t counter) const {
  return counter < counters_.size() ? counters_[counter].count : 0;
}

uint8_t CardModel::Written(uint32_t offset) const {
  return written_[offset] < 0 ? 0 : static_cast<uint8_t>(written_[offset]);
}

uint32_t CardModel::Written24(uint32_t offset) const {
  return Written(offset) | (Written(offset + 4) << 8) | (Written(offset + 8) << 16);
}

uint8_t CardModel::ModelRead(uint32_t offset) const {
  if (offset == kDin) return Written(kDout);  // the output port is wired back to the input
  if (offset == kXstrEnStatus) return xstr_status_;
  if (offset == kCmpEnStatus) return cmp_status_;
  for (uint32_t x = 0; x < counters_.size(); ++x) {
    const Counter& c = counters_[x];
    const uint32_t rel = offset - Block(x);
    if (offset < Block(x) || rel >= kCounterStride) continue;
    if (rel == kStrSet || rel == kStrSet + 4 || rel == kStrSet + 8) {
      return ByteOf(c.str, rel - kStrSet);
    }
    if (rel == kXstrRng || rel == kXstrRng + 4 || rel == kXstrRng + 8) {
      return ByteOf(c.xstr, rel - kXstrRng);
    }
    if (rel == kStatCw) {
      uint8_t status = 0;
      if (c.count >= Written24(Block(x) + kCmp1)) status |= 0x01;
      if (c.count >= Written24(Block(x) + kCmp2)) status |= 0x02;
      if (c.wrapped) status |= 0x04;
      if (Written(kCntEn) & (1u << x)) status |= 0x08;
      return status;
    }
    return 0;
  }
  return 0;
}

void CardModel::Command(uint8_t value) {
  for (uint32_t x = 0; x < counters_.size(); ++x) {
    Counter& c = counters_[x];
    // Load before latch, so that one command can restart and sample a counter.
    if (value & (0x10u << x)) {
      c.count = Written24(Block(x) + kStrSet);
      c.wrapped = false;
    }
    if (value & (0x01u << x)) {
      Advance(x);
      c.str = c.count;
      if (Written(kXstrEnStatus) & (1u << x)) {
        c.xstr = c.count;
        xstr_status_ |= static_cast<uint8_t>(1u << x);
      }
    }
  }
}

void CardModel::Advance(uint32_t x) {
  Counter& c = counters_[x];
  if (!(Written(kCntEn) & (1u << x))) {
    c.wrapped = false;
    return;
  }
  // The counter runs 0 .. range; range 0 means the whole 24 bits.
  const uint32_t range = Written24(Block(x) + kXstrRng);
  const uint32_t modulus = range == 0 ? kCountLimit : range + 1;
  const uint32_t next = c.count + kStep[x];
  c.wrapped = next >= modulus;
  c.count = next % modulus;
  const uint8_t enable = Written(kCmpEnStatus);
  if ((enable & (0x01u << x)) && c.count >= Written24(Block(x) + kCmp1)) {
    cmp_status_ |= static_cast<uint8_t>(0x01u << x);
  }
  if ((enable & (0x10u << x)) && c.count >= Written24(Block(x) + kCmp2)) {
    cmp_status_ |= static_cast<uint8_t>(0x10u << x);
  }
}

}  // namespace qv::sim
