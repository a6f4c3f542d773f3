#include "driver/channels.h"

#include "card/registers.h"
#include "driver/instance.h"

namespace qv {

void TakeInputSnapshot(TData& d) {
  const CardLibrary& lib = *d.Library;
  const uint32_t base = d.Karta.BaseAddr;
  TKarta& k = d.Karta;
  WriteReg8(lib, base, reg::CNTCmdReg, reg::kLatchAll);
  k.CNT0StrReg = ReadReg24(lib, base, reg::CNT0StrReg);
  k.CNT1StrReg = ReadReg24(lib, base, reg::CNT1StrReg);
  k.CNT2StrReg = ReadReg24(lib, base, reg::CNT2StrReg);
  k.CNT0XStrReg = ReadReg24(lib, base, reg::CNT0XStrReg);
  k.CNT1XStrReg = ReadReg24(lib, base, reg::CNT1XStrReg);
  k.CNT2XStrReg = ReadReg24(lib, base, reg::CNT2XStrReg);
  k.CNT0StatReg = ReadReg8(lib, base, reg::CNT0StatReg);
  k.CNT1StatReg = ReadReg8(lib, base, reg::CNT1StatReg);
  k.CNT2StatReg = ReadReg8(lib, base, reg::CNT2StatReg);
  k.CMPStatReg = ReadReg8(lib, base, reg::CMPStatReg);
  k.XSTRStatusReg = ReadReg8(lib, base, reg::XSTRStatusReg);
  k.DINReg = ReadReg8(lib, base, reg::DINReg);
  if (d.Dialog) d.Dialog->Karta = d.Karta;
}

void AnswerInput(const TData& d, uint32_t channel, int32_t kind, uintptr_t& value) {
  const ChannelRow* row = FindChannel(channel);
  if (row == nullptr || row->direction != Direction::Input || row->kind != kind) return;
  const uint32_t field = row->field.Get(d.Karta);
  if (row->rule == Rule::Bit) {
    // A boolean answer goes into the first byte of the value only.
    *reinterpret_cast<unsigned char*>(&value) = (field >> (channel - row->first)) & 1u;
  } else {
    value = static_cast<uintptr_t>(field);
  }
}

void WriteOutput(TData& d, uint32_t channel, int32_t kind, uintptr_t value) {
  const ChannelRow* row = FindChannel(channel);
  if (row != nullptr && row->direction == Direction::Output && row->kind == kind) {
    const CardLibrary& lib = *d.Library;
    const uint32_t base = d.Karta.BaseAddr;
    const auto word = static_cast<uint32_t>(value);
    if (row->width == 24) {
      const uint32_t v = word & 0xFFFFFFu;
      row->field.Set(d.Karta, v);  // the shadow before the register
      WriteReg24(lib, base, row->offset, v);
      d.PendingCmd |= row->load_bit;
    } else if (row->rule == Rule::Bit) {
      const auto bit = static_cast<uint8_t>(1u << (channel - row->first));
      auto port = static_cast<uint8_t>(row->field.Get(d.Karta));
      port = (word & 0xFFu) != 0 ? static_cast<uint8_t>(port | bit)
                                 : static_cast<uint8_t>(port & ~bit);
      row->field.Set(d.Karta, port);
      WriteReg8(lib, base, row->offset, port);
    } else {
      const auto byte = static_cast<uint8_t>(word);
      row->field.Set(d.Karta, byte);
      WriteReg8(lib, base, row->offset, byte);
      if (row->rule == Rule::ClearBit3) row->field.Set(d.Karta, byte & 0xF7u);
      if (row->rule == Rule::ReturnToZero) row->field.Set(d.Karta, 0);
    }
  }
  if (d.Dialog) {
    d.Dialog->CFGData = d.CFGData;
    d.Dialog->Karta = d.Karta;
  }
}

void IssuePendingLoad(TData& d) {
  if (d.PendingCmd == 0) return;
  // Through WriteReg24: the load bits go to 900, then 0 to 904 and 908.
  WriteReg24(*d.Library, d.Karta.BaseAddr, reg::CNTCmdReg, d.PendingCmd);
  d.PendingCmd = 0;
}

}  // namespace qv
