#include "card/registers.h"

namespace qv {

void InitCard(const CardLibrary& lib, const TKarta& k) {
  const uint32_t base = k.BaseAddr;
  WriteReg8(lib, base, reg::DOUTReg, 0);
  WriteReg8(lib, base, reg::kInit384, 0);
  WriteReg8(lib, base, reg::kInit388, 0x7F);
  WriteReg8(lib, base, reg::kInit1008, 0);
  WriteReg8(lib, base, reg::kInit396, 0);
  WriteReg8(lib, base, reg::XSTREnReg, k.XSTREnReg);
  WriteReg8(lib, base, reg::XSTRClrReg, 0x40);
  WriteReg24(lib, base, reg::CNT0SetReg, 0);
  WriteReg24(lib, base, reg::CNT1SetReg, 0);
  WriteReg24(lib, base, reg::CNT2SetReg, 0);
  WriteReg24(lib, base, reg::CNT0RngReg, k.CNT0RngReg);
  WriteReg24(lib, base, reg::CNT1RngReg, k.CNT1RngReg);
  WriteReg24(lib, base, reg::CNT2RngReg, k.CNT2RngReg);
  WriteReg24(lib, base, reg::CNT0CMP1, k.CNT0CMP1);
  WriteReg24(lib, base, reg::CNT1CMP1, k.CNT1CMP1);
  WriteReg24(lib, base, reg::CNT2CMP1, k.CNT2CMP1);
  WriteReg24(lib, base, reg::CNT0CMP2, k.CNT0CMP2);
  WriteReg24(lib, base, reg::CNT1CMP2, k.CNT1CMP2);
  WriteReg24(lib, base, reg::CNT2CMP2, k.CNT2CMP2);
  WriteReg8(lib, base, reg::CNT0CWReg, static_cast<uint8_t>(k.CNT0CWReg));
  WriteReg8(lib, base, reg::CNT1CWReg, static_cast<uint8_t>(k.CNT1CWReg));
  WriteReg8(lib, base, reg::CNT2CWReg, static_cast<uint8_t>(k.CNT2CWReg));
  WriteReg8(lib, base, reg::CNTEnReg, k.CNTEnReg);
  WriteReg8(lib, base, reg::CNTCmdReg, reg::kLoadAll);
  WriteReg8(lib, base, reg::CMPEnReg, k.CMPEnReg);
  WriteReg8(lib, base, reg::CMPClrReg, 0x77);
  WriteReg8(lib, base, reg::kInit920, 0);
  WriteReg8(lib, base, reg::RTDOReg, 0);
  WriteReg8(lib, base, reg::RTDOCfgReg, k.RTDOCfgReg);
}

}  // namespace qv
