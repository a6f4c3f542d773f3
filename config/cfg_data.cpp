#include "config/cfg_data.h"

#include <cstring>
#include <string_view>

#include "config/int_text.h"
#include "config/profile.h"
#include "config/texts.h"

namespace qv {
namespace {

// A value holds at most 2047 characters; longer ones are cut.
constexpr std::size_t kValueBuffer = 2048;

// No value read from a file can contain a line break, so this default marks "absent"; it
// ends in a non-blank because readers strip a default's trailing blanks.
constexpr std::string_view kAbsent = "\n|";

struct RegisterKey {
  const char* key;
  int32_t TCFGData::*field;
  int32_t max;
};

// The sixteen register keys in reading and checking order.
constexpr RegisterKey kRegisterKeys[] = {
    {"CNT0RngReg", &TCFGData::CNT0RngReg, 16777215},
    {"CNT1RngReg", &TCFGData::CNT1RngReg, 16777215},
    {"CNT2RngReg", &TCFGData::CNT2RngReg, 16777215},
    {"CNT0CMP1", &TCFGData::CNT0CMP1, 16777215},
    {"CNT1CMP1", &TCFGData::CNT1CMP1, 16777215},
    {"CNT2CMP1", &TCFGData::CNT2CMP1, 16777215},
    {"CNT0CMP2", &TCFGData::CNT0CMP2, 16777215},
    {"CNT1CMP2", &TCFGData::CNT1CMP2, 16777215},
    {"CNT2CMP2", &TCFGData::CNT2CMP2, 16777215},
    {"CNT0CWReg", &TCFGData::CNT0CWReg, 255},
    {"CNT1CWReg", &TCFGData::CNT1CWReg, 255},
    {"CNT2CWReg", &TCFGData::CNT2CWReg, 255},
    {"CNTEnReg", &TCFGData::CNTEnReg, 255},
    {"CMPEnReg", &TCFGData::CMPEnReg, 255},
    {"XSTREnReg", &TCFGData::XSTREnReg, 255},
    {"RTDOCfgReg", &TCFGData::RTDOCfgReg, 255},
};

class ProfileFile {
 public:
  explicit ProfileFile(const char* path) : path_(path) {}

  std::string_view Read(std::string_view section, std::string_view key, std::string_view def) {
    const std::size_t n = ReadProfileString(path_, section, key, def, buffer_, sizeof buffer_);
    // Up to a zero byte, as the text would reach any C caller.
    const void* zero = std::memchr(buffer_, '\0', n);
    return {buffer_, zero != nullptr
                         ? static_cast<std::size_t>(static_cast<const char*>(zero) - buffer_)
                         : n};
  }

  // Leaves `field` unchanged when the key is absent or its value is not a number.
  bool ReadInteger(std::string_view section, std::string_view key, int32_t& field) {
    const std::string_view value = Read(section, key, kAbsent);
    if (value == kAbsent) return false;
    ParseIniInteger(value, field);
    return true;
  }

 private:
  const char* path_;
  char buffer_[kValueBuffer] = {};
};

void SetPresets(TCFGData& cfg) {
  cfg.AutoDetect = 1;
  cfg.Bus = 0;
  cfg.Slot = 0;
  cfg.DemoMode = 0;
  cfg.LogEnabled = 0;
  cfg.LogFileName.assign(text::kDefaultLogFileName.view());
  for (const RegisterKey& r : kRegisterKeys) cfg.*r.field = 0;
  cfg.CNT0RngReg = cfg.CNT1RngReg = cfg.CNT2RngReg = 16777215;
}

// Message: the row's text (and the register key with " = " for the register rows), the
// value in decimal, then a full stop.
bool Fail(TCFGData& cfg, std::string_view prefix, int32_t value, const char* reg_key = nullptr) {
  cfg.Message.assign(prefix);
  if (reg_key != nullptr) {
    cfg.Message += reg_key;
    cfg.Message += " = ";
  }
  cfg.Message += DecimalText(value).view();
  cfg.Message += '.';
  return false;
}

bool InRange(int32_t value, int32_t max) {
  return value >= 0 && value <= max;
}

}  // namespace

bool LoadCFGData(const char* path, TCFGData& cfg) {
  SetPresets(cfg);
  {
    ProfileFile file(path);  // read in this block only; validation works on the record
    if (file.Read(text::kSectionCard, text::kKeyAutoDetect, text::kValidityDefault) ==
        text::kValidityDefault.view()) {
      cfg.Message.assign(text::kBadParameterFile.view());
      return false;
    }
    file.ReadInteger(text::kSectionCard, text::kKeyAutoDetect, cfg.AutoDetect);
    file.ReadInteger(text::kSectionCard, text::kKeyBus, cfg.Bus);
    file.ReadInteger(text::kSectionCard, text::kKeySlot, cfg.Slot);
    file.ReadInteger(text::kSectionCard, text::kKeyDemoMode, cfg.DemoMode);
    file.ReadInteger(text::kSectionLog, text::kKeyLogEnabled, cfg.LogEnabled);
    const std::string_view name = file.Read(text::kSectionLog, text::kKeyLogFileName, kAbsent);
    if (name != kAbsent) cfg.LogFileName.assign(name);
    // Existing files keep the register keys with the log settings; the section that the
    // error texts name is accepted too.
    for (const RegisterKey& r : kRegisterKeys)
      if (!file.ReadInteger(text::kSectionLog, r.key, cfg.*r.field))
        file.ReadInteger(text::kSectionCardConfig, r.key, cfg.*r.field);
  }

  if (!InRange(cfg.AutoDetect, 1)) return Fail(cfg, text::kErrAutoDetect, cfg.AutoDetect);
  if (!InRange(cfg.Bus, 255)) return Fail(cfg, text::kErrBus, cfg.Bus);
  if (!InRange(cfg.Slot, 255)) return Fail(cfg, text::kErrSlot, cfg.Slot);
  if (!InRange(cfg.LogEnabled, 1)) return Fail(cfg, text::kErrLogEnabled, cfg.LogEnabled);
  if (cfg.LogEnabled == 1 && cfg.LogFileName.size() < 3) {
    cfg.Message.assign(text::kErrLogFileName.view());
    cfg.Message += cfg.LogFileName;
    cfg.Message += '.';
    return false;
  }
  for (const RegisterKey& r : kRegisterKeys)
    if (!InRange(cfg.*r.field, r.max))
      return Fail(cfg, text::kErrCardConfigPrefix, cfg.*r.field, r.key);

  cfg.ActualBus = cfg.Bus;
  cfg.ActualSlot = cfg.Slot;
  cfg.Message.assign(text::kNoError.view());
  return true;
}

}  // namespace qv
