#include "config/cfg_data.h"

#include <cstring>
#include <string_view>

#include "config/cfg_schema.h"
#include "config/int_text.h"
#include "config/profile.h"
#include "config/texts.h"

namespace qv {
namespace {

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

  // The row's value from its section, else from its fallback; kAbsentValue when in neither.
  std::string_view Read(const Parameter& p) {
    const std::string_view value = Read(p.section, p.key, kAbsentValue);
    return value != kAbsentValue || p.fallback.empty() ? value
                                                       : Read(p.fallback, p.key, kAbsentValue);
  }

 private:
  const char* path_;
  char buffer_[kValueBuffer] = {};
};

// Message: the row's section and key, the value, then a full stop.
bool Fail(TCFGData& cfg, const Parameter& p, std::string_view value) {
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

bool LoadCFGData(const char* path, TCFGData& cfg) {
  for (const Parameter& p : kParameters) {
    if (p.text != nullptr)
      (cfg.*p.text).assign(p.text_preset);
    else
      cfg.*p.number = p.preset;
  }
  {
    ProfileFile file(path);  // read in this block only; validation works on the record
    const Parameter& required = kRequiredParameter;
    if (file.Read(required.section, required.key, text::kValidityDefault) ==
        text::kValidityDefault.view()) {
      cfg.Message.assign(text::kBadParameterFile.view());
      return false;
    }
    // A number that does not parse leaves the preset.
    for (const Parameter& p : kParameters) {
      const std::string_view value = file.Read(p);
      if (value == kAbsentValue) continue;
      if (p.text != nullptr)
        (cfg.*p.text).assign(value);
      else
        ParseIniInteger(value, cfg.*p.number);
    }
  }

  for (const Parameter& p : kParameters) {
    if (p.text != nullptr) {
      if (!p.AcceptsText(cfg.*p.text, cfg.LogEnabled)) return Fail(cfg, p, cfg.*p.text);
    } else if (!p.Accepts(cfg.*p.number)) {
      return Fail(cfg, p, DecimalText(cfg.*p.number).view());
    }
  }

  cfg.ActualBus = cfg.Bus;
  cfg.ActualSlot = cfg.Slot;
  cfg.Message.assign(text::kNoError.view());
  return true;
}

}  // namespace qv
