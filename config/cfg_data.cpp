#include "config/cfg_data.h"

#include <string_view>

#include "config/cfg_schema.h"
#include "config/int_text.h"
#include "config/profile.h"
#include "config/texts.h"

namespace qv {
namespace {

// A value holds at most kValueBuffer - 1 characters; longer ones are cut.
constexpr std::size_t kValueBuffer = 2048;

// The default that marks a key as absent: no value read from a file holds a line break. It
// ends in a non-blank because readers strip a default's trailing blanks.
constexpr std::string_view kAbsentValue = "\n|";

// The value of `key` in `section` into `buffer`, up to a zero byte, as the text would reach
// any C caller; kAbsentValue when the key holds none.
std::string_view Read(const char* path, std::string_view section, std::string_view key,
                      char (&buffer)[kValueBuffer]) {
  ReadProfileString(path, section, key, kAbsentValue, buffer, kValueBuffer);
  return buffer;  // always terminated
}

// Message: the row's section and key, the value, then a full stop.
bool Fail(TCFGData& cfg, const Parameter& p) {
  const NumberKey* number = p.number();
  const std::string value = number != nullptr ? std::string(DecimalText(cfg.*number->field).view())
                                              : cfg.*p.text()->field;
  cfg.Message.assign(text::kErrParameterFile.view());
  cfg.Message += p.error_section;
  cfg.Message += " / ";
  cfg.Message += p.key;
  cfg.Message += " = ";
  cfg.Message += value;
  cfg.Message += '.';
  return false;
}

}  // namespace

void SetPresets(TCFGData& cfg) {
  for (const Parameter& p : kParameters) {
    if (const NumberKey* number = p.number())
      cfg.*number->field = number->preset;
    else
      (cfg.*p.text()->field).assign(p.text()->preset);
  }
}

KeyReading ReadParameter(const char* path, const Parameter& p, TCFGData& cfg) {
  using Finding = KeyReading::Finding;
  char buffer[kValueBuffer];
  KeyReading r;
  r.section = p.section;
  std::string_view value = Read(path, p.section, p.key, buffer);
  if (value == kAbsentValue && !p.fallback.empty()) {
    value = Read(path, p.fallback, p.key, buffer);
    if (value != kAbsentValue) r.section = p.fallback;
  }
  if (value == kAbsentValue) {
    r.finding = p.required ? Finding::kRefusesFile : Finding::kAbsent;
    return r;
  }
  r.value.emplace(value);
  if (p.required && value == text::kValidityDefault.view()) {
    r.finding = Finding::kRefusesFile;
  } else if (const NumberKey* number = p.number()) {
    r.finding = ParseIniInteger(value, cfg.*number->field) ? Finding::kRead : Finding::kNotANumber;
  } else {
    (cfg.*p.text()->field).assign(value);
    r.finding = Finding::kRead;
  }
  return r;
}

bool LoadCFGData(const char* path, TCFGData& cfg) {
  SetPresets(cfg);
  // The file is read here only; validation works on the record. Without its required key
  // it is refused before any other key is read.
  for (const Parameter& p : kParameters) {
    if (p.required && ReadParameter(path, p, cfg).finding == KeyReading::Finding::kRefusesFile) {
      cfg.Message.assign(text::kBadParameterFile.view());
      return false;
    }
  }
  for (const Parameter& p : kParameters)
    if (!p.required) ReadParameter(path, p, cfg);  // the required ones are read already

  for (const Parameter& p : kParameters)
    if (!p.Accepts(cfg)) return Fail(cfg, p);
  cfg.ActualBus = cfg.Bus;
  cfg.ActualSlot = cfg.Slot;
  cfg.Message.assign(text::kNoError.view());
  return true;
}

}  // namespace qv
