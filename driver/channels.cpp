#include "driver/channels.h"

#include "card/registers.h"
#include "driver/instance.h"

namespace qv {

namespace {

void WriteRow(TData& d, const ChannelRow& row, uint32_t channel, uintptr_t value) {
  const CardLibrary& lib = *d.Library;
  const uint32_t base = d.Karta.BaseAddr;
  const auto word = static_cast<uint32_t>(value);
  if (row.width == 24) {
    const uint32_t v = word & 0xFFFFFFu;
    row.field.Set(d.Karta, v);  // the shadow before the register
    WriteReg24(lib, base, row.offset, v);
    d.PendingCmd |= row.load_bit;
  } else if (row.rule == Rule::Bit) {
    const auto bit = static_cast<uint8_t>(1u << (channel - row.first));
    auto port = static_cast<uint8_t>(row.field.Get(d.Karta));
    port =
        (word & 0xFFu) != 0 ? static_cast<uint8_t>(port | bit) : static_cast<uint8_t>(port & ~bit);
    row.field.Set(d.Karta, port);
    WriteReg8(lib, base, row.offset, port);
  } else {
    const auto byte = static_cast<uint8_t>(word);
    row.field.Set(d.Karta, byte);
    WriteReg8(lib, base, row.offset, byte);
    if (row.rule == Rule::ClearBit3) row.field.Set(d.Karta, byte & 0xF7u);
    if (row.rule == Rule::ReturnToZero) row.field.Set(d.Karta, 0);
  }
}

}  // namespace

void TakeInputSnapshot(TData& d) {
  const CardLibrary& lib = *d.Library;
  const uint32_t base = d.Karta.BaseAddr;
  // The reads land here first: when the library throws midway, the window must still get the
  // records of the last hand-over, while the instance keeps what was read so far.
  std::array<uint32_t, kSnapshotRows.size()> read{};
  std::size_t n = 0;
  const auto store = [&] {
    for (std::size_t i = 0; i < n; ++i) kSnapshotRows[i]->field.Set(d.Karta, read[i]);
  };
  try {
    WriteReg8(lib, base, reg::CNTCmdReg, reg::kLatchAll);
    for (const ChannelRow* row : kSnapshotRows) {
      read[n] =
          row->width == 24 ? ReadReg24(lib, base, row->offset) : ReadReg8(lib, base, row->offset);
      ++n;
    }
  } catch (...) {
    if (d.Dialog) d.Dialog->TakeHandOver();
    store();
    throw;
  }
  store();
  if (d.Dialog) d.Dialog->HandOver(d.Karta);
}

void WriteOutput(TData& d, uint32_t channel, int32_t kind, uintptr_t value) {
  const ChannelRow* row = FindChannel(channel);
  if (row != nullptr && row->direction == Direction::Output && row->Kind() == kind) {
    const uint32_t before = row->field.Get(d.Karta);
    try {
      WriteRow(d, *row, channel, value);
    } catch (...) {
      // The shadow may already hold a value that no hand-over follows: the window takes the
      // records as they were before this call.
      if (d.Dialog && d.Dialog->HandOverPending()) {
        const uint32_t now = row->field.Get(d.Karta);
        row->field.Set(d.Karta, before);
        d.Dialog->TakeHandOver();
        row->field.Set(d.Karta, now);
      }
      throw;
    }
  }
  if (d.Dialog) d.Dialog->HandOver(d.CFGData, d.Karta);
}

void IssuePendingLoad(TData& d) {
  if (d.PendingCmd == 0) return;
  // Through WriteReg24: the load bits go to 900, then 0 to 904 and 908.
  WriteReg24(*d.Library, d.Karta.BaseAddr, reg::CNTCmdReg, d.PendingCmd);
  d.PendingCmd = 0;
}

}  // namespace qv
