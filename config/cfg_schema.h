// The parameter file's schema, once: every key with the sections it is read from, its valid
// values, its preset and the section that its error text names, in reading and checking
// order. LoadCFGData, qvhost --check, the template of qvhost --list-cards and the card's
// preparation at Init all follow it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

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

struct Parameter {
  std::string_view key;            // Windows-1250, as the file and the error text spell it
  std::string_view section;        // where the driver reads the key
  std::string_view fallback;       // where it reads a key absent from `section`; "" none
  std::string_view error_section;  // the section that the key's error text names
  int32_t min, max;                // the valid values; the text row: min is its shortest length
  int32_t preset;
  int32_t TCFGData::*number;              // the integer rows' field
  std::string TCFGData::*text = nullptr;  // the text row's field (number is null there)
  std::string_view text_preset = {};

  constexpr bool Accepts(int32_t value) const { return value >= min && value <= max; }
  // The log file name is checked only while logging is on.
  constexpr bool AcceptsText(std::string_view value, int32_t log_enabled) const {
    return log_enabled != 1 || value.size() >= static_cast<std::size_t>(min);
  }
};

// clang-format off
inline constexpr Parameter kParameters[] = {
    // key, section, fallback, error section,
    //   min, max, preset, field
    {text::kKeyAutoDetect, text::kSectionCard, {}, text::kSectionCard,
       0, 1, 1, &TCFGData::AutoDetect},
    {text::kKeyBus, text::kSectionCard, {}, text::kSectionCard,
       0, 255, 0, &TCFGData::Bus},
    {text::kKeySlot, text::kSectionCard, {}, text::kSectionCard,
       0, 255, 0, &TCFGData::Slot},
    {text::kKeyDemoMode, text::kSectionCard, {}, text::kSectionCard,
       INT32_MIN, INT32_MAX, 0, &TCFGData::DemoMode},
    {text::kKeyLogEnabled, text::kSectionLog, {}, text::kSectionLog,
       0, 1, 0, &TCFGData::LogEnabled},
    {text::kKeyLogFileName, text::kSectionLog, {}, text::kSectionLog,
       3, 0, 0, nullptr, &TCFGData::LogFileName, text::kDefaultLogFileName},
    // Existing files keep the register keys with the log settings; the section that the
    // error texts name is read too.
#define QV_REGISTER_ROW(name, max, preset)                                          \
    {#name, text::kSectionLog, text::kSectionCardConfig, text::kSectionCardConfig, \
       0, max, preset, &TCFGData::name},
    QV_REGISTER_KEYS(QV_REGISTER_ROW)
#undef QV_REGISTER_ROW
};
// clang-format on

// The key without which the driver refuses the whole file.
inline constexpr const Parameter& kRequiredParameter = kParameters[0];

// A value holds at most kValueBuffer - 1 characters; longer ones are cut.
inline constexpr std::size_t kValueBuffer = 2048;

// The default that marks a key as absent: no value read from a file holds a line break. It
// ends in a non-blank because readers strip a default's trailing blanks.
inline constexpr std::string_view kAbsentValue = "\n|";

}  // namespace qv
