// The validated parameter file of one driver instance.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

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

struct Parameter;  // cfg_schema.h

// What the driver reads for one key of the parameter file. LoadCFGData reads every key so.
struct KeyReading {
  enum class Finding {
    kAbsent,       // in none of its sections: the field keeps its preset
    kNotANumber,   // the field keeps its preset
    kRead,         // the field holds the value
    kRefusesFile,  // a required key absent or holding the validity default: the file is refused
  };
  std::string_view section;          // where the value came from; the key's own one when absent
  std::optional<std::string> value;  // as read, up to a zero byte; none when absent
  Finding finding = Finding::kAbsent;
};

// Sets every field of the schema to its preset.
void SetPresets(TCFGData& cfg);

// Reads `p` from the file at `path` into its field of `cfg`, which stays as it was when the
// reading keeps the preset.
KeyReading ReadParameter(const char* path, const Parameter& p, TCFGData& cfg);

}  // namespace qv
