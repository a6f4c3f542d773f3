// The validated parameter file of one driver instance.
#pragma once

#include <cstdint>
#include <string>

namespace qv {

// Plain record, copied whole into the instance, the log writer and the monitor window.
// Texts are Windows-1250 bytes.
struct TCFGData {
  int32_t AutoDetect = 0;  // 1: first card of the family; 0: the card at Bus/Slot
  int32_t Bus = 0;
  int32_t Slot = 0;
  int32_t DemoMode = 0;  // non-zero: no card is searched for, opened or programmed
  int32_t LogEnabled = 0;
  std::string LogFileName;
  int32_t ActualBus = 0;  // bus of the card in use (set by a successful load, then by Init)
  int32_t ActualSlot = 0;
  int32_t CNT0RngReg = 0;
  int32_t CNT1RngReg = 0;
  int32_t CNT2RngReg = 0;
  int32_t CNT0CMP1 = 0;
  int32_t CNT1CMP1 = 0;
  int32_t CNT2CMP1 = 0;
  int32_t CNT0CMP2 = 0;
  int32_t CNT1CMP2 = 0;
  int32_t CNT2CMP2 = 0;
  int32_t CNT0CWReg = 0;
  int32_t CNT1CWReg = 0;
  int32_t CNT2CWReg = 0;
  int32_t CNTEnReg = 0;
  int32_t CMPEnReg = 0;
  int32_t XSTREnReg = 0;
  int32_t RTDOCfgReg = 0;
  std::string Message;  // "Bez chyby" or the one error text of the last load
};

// Loads and validates the parameter file at `path` (used unchanged) into `cfg`.
// Always sets cfg.Message; true when the file was read and every value is valid.
bool LoadCFGData(const char* path, TCFGData& cfg);

}  // namespace qv
