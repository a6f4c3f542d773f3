// The parameter file's schema, once: every key with the sections it is read from, its valid
// values, its preset and the section that its error text names, in reading and checking
// order. LoadCFGData, qvhost --check, the template of qvhost --list-cards and the card's
// preparation at Init all follow it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include "config/cfg_data.h"
#include "config/texts.h"

namespace qv {

inline constexpr int32_t kMax24 = 0xFFFFFF;
inline constexpr int32_t kMax8 = 0xFF;

// The sixteen register keys, X(name, max, preset), valid from 0 to max. Each name is at once
// the key, its TCFGData field and the TKarta register shadow that Init programs from it.
#define QV_REGISTER_KEYS(X)     \
  X(CNT0RngReg, kMax24, kMax24) \
  X(CNT1RngReg, kMax24, kMax24) \
  X(CNT2RngReg, kMax24, kMax24) \
  X(CNT0CMP1, kMax24, 0)        \
  X(CNT1CMP1, kMax24, 0)        \
  X(CNT2CMP1, kMax24, 0)        \
  X(CNT0CMP2, kMax24, 0)        \
  X(CNT1CMP2, kMax24, 0)        \
  X(CNT2CMP2, kMax24, 0)        \
  X(CNT0CWReg, kMax8, 0)        \
  X(CNT1CWReg, kMax8, 0)        \
  X(CNT2CWReg, kMax8, 0)        \
  X(CNTEnReg, kMax8, 0)         \
  X(CMPEnReg, kMax8, 0)         \
  X(XSTREnReg, kMax8, 0)        \
  X(RTDOCfgReg, kMax8, 0)

// An integer key: valid from min to max; absent or not a number, it keeps its preset.
struct NumberKey {
  int32_t TCFGData::*field;
  int32_t min, max, preset;
};

// A text key (the log file name): valid with at least min_length characters, checked only
// while logging is on.
struct TextKey {
  std::string TCFGData::*field;
  std::size_t min_length;
  std::string_view preset;
};

struct Parameter {
  std::string_view key;            // Windows-1250, as the file and the error text spell it
  std::string_view section;        // where the driver reads the key
  std::string_view fallback;       // where it reads a key absent from `section`; "" none
  std::string_view error_section;  // the section that the key's error text names
  std::variant<NumberKey, TextKey> shape;
  // Absent, or holding text::kValidityDefault, it makes the driver refuse the whole file.
  bool required = false;

  const NumberKey* number() const { return std::get_if<NumberKey>(&shape); }
  const TextKey* text() const { return std::get_if<TextKey>(&shape); }
  bool Accepts(const TCFGData& cfg) const {
    if (const NumberKey* n = number()) return cfg.*n->field >= n->min && cfg.*n->field <= n->max;
    return cfg.LogEnabled != 1 || (cfg.*text()->field).size() >= text()->min_length;
  }
};

// clang-format off
inline constexpr Parameter kParameters[] = {
    // key, section, fallback, error section, {field, min, max, preset}
    {text::kKeyAutoDetect, text::kSectionCard, {}, text::kSectionCard,
       NumberKey{&TCFGData::AutoDetect, 0, 1, 1}, true},
    {text::kKeyBus, text::kSectionCard, {}, text::kSectionCard,
       NumberKey{&TCFGData::Bus, 0, 255, 0}},
    {text::kKeySlot, text::kSectionCard, {}, text::kSectionCard,
       NumberKey{&TCFGData::Slot, 0, 255, 0}},
    {text::kKeyDemoMode, text::kSectionCard, {}, text::kSectionCard,
       NumberKey{&TCFGData::DemoMode, INT32_MIN, INT32_MAX, 0}},
    {text::kKeyLogEnabled, text::kSectionLog, {}, text::kSectionLog,
       NumberKey{&TCFGData::LogEnabled, 0, 1, 0}},
    {text::kKeyLogFileName, text::kSectionLog, {}, text::kSectionLog,
       TextKey{&TCFGData::LogFileName, 3, text::kDefaultLogFileName}},
    // Existing files keep the register keys with the log settings; the section that the
    // error texts name is read too.
#define QV_REGISTER_ROW(name, max, preset)                                          \
    {#name, text::kSectionLog, text::kSectionCardConfig, text::kSectionCardConfig, \
       NumberKey{&TCFGData::name, 0, max, preset}},
    QV_REGISTER_KEYS(QV_REGISTER_ROW)
#undef QV_REGISTER_ROW
};
// clang-format on

}  // namespace qv
