// Sample register values for the showcase and the window tests.
#pragma once

#include "card/karta.h"
#include "config/cfg_data.h"

namespace qv::testing {

inline void FillSample(TKarta& k, TCFGData& cfg) {
  k.CardName = "LVK-5120B";
  cfg.ActualBus = 2;
  cfg.ActualSlot = 13;
  k.CNT0StrReg = 16777215;
  k.CNT1StrReg = 1234;
  k.CNT2StrReg = 0;
  k.CNT0XStrReg = 42;
  k.CNT1XStrReg = 99999;
  k.CNT2XStrReg = 7;
  k.CNT0SetReg = 100;
  k.CNT1SetReg = 200;
  k.CNT2SetReg = 300;
  k.CNT0RngReg = 1000000;
  k.CNT1RngReg = 65535;
  k.CNT2RngReg = 10;
  k.CNT0CMP1 = 500;
  k.CNT1CMP1 = 600;
  k.CNT2CMP1 = 700;
  k.CNT0CMP2 = 800;
  k.CNT1CMP2 = 900;
  k.CNT2CMP2 = 16000000;
  k.CNT0CWReg = 10;
  k.CNT1CWReg = 0x33;
  k.CNT2CWReg = 0xF0;
  k.CNT0StatReg = 1;
  k.CNT1StatReg = 0x80;
  k.CNT2StatReg = 0x81;
  k.CNTEnReg = 7;
  k.CMPEnReg = 5;
  k.CMPStatReg = 2;
  k.XSTREnReg = 3;
  k.XSTRStatusReg = 4;
  k.RTDOCfgReg = 0x0F;
  k.DINReg = 165;
  k.DOUTReg = 0x3C;
  k.RTDOReg = 255;
}

}  // namespace qv::testing
