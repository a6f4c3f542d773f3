#include "config/cfg_data.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "config/cfg_schema.h"
#include "config/texts.h"
#include "tests/config/test_files.h"

namespace qv {
namespace {

namespace t = text;

struct Register {
  const char* key;
  int32_t TCFGData::*field;
};

// The register keys and fields from the schema; their ranges and presets are stated below
// on their own, so that a wrong row in the schema fails here.
#define QV_TEST_REGISTER(name, max, preset) {#name, &TCFGData::name},
const Register kRegisters[] = {QV_REGISTER_KEYS(QV_TEST_REGISTER)};
#undef QV_TEST_REGISTER

bool Wide(const Register& r) {
  const std::string_view key(r.key);
  return key.find("Rng") != key.npos || key.find("CMP1") != key.npos ||
         key.find("CMP2") != key.npos;
}
int32_t Max(const Register& r) {
  return Wide(r) ? 16777215 : 255;
}

// The error texts in full.
constexpr Cp1250Text kErrAutoDetect =
    "Chyba parametrického souboru - Nastavení karty / Automatická detekce = ";
constexpr Cp1250Text kErrBus = "Chyba parametrického souboru - Nastavení karty / BUS = ";
constexpr Cp1250Text kErrSlot = "Chyba parametrického souboru - Nastavení karty / SLOT = ";
constexpr Cp1250Text kErrLogEnabled = "Chyba parametrického souboru - Logovací soubor / Povolen = ";
constexpr Cp1250Text kErrLogFileName =
    "Chyba parametrického souboru - Logovací soubor / Název souboru = ";
constexpr Cp1250Text kErrCardConfigPrefix = "Chyba parametrického souboru - Konfigurace karty / ";

std::string Line(std::string_view a, std::string_view b = {}, std::string_view c = {}) {
  return std::string(a) + std::string(b) + std::string(c) + "\r\n";
}
std::string Section(std::string_view name) {
  return Line("[", name, "]");
}
std::string Key(std::string_view key, std::string_view value) {
  return Line(key, "=", value);
}

class LoadCFGDataTest : public ::testing::Test {
 protected:
  // A record full of values that no load would produce.
  LoadCFGDataTest() {
    cfg_.AutoDetect = cfg_.Bus = cfg_.Slot = cfg_.DemoMode = cfg_.LogEnabled = -9;
    cfg_.LogFileName = "junk";
    cfg_.ActualBus = 77;
    cfg_.ActualSlot = 88;
    for (const Register& r : kRegisters) cfg_.*r.field = -9;
  }

  // Loads a file holding the card section with `card` lines, then `rest`.
  bool Load(const std::string& card, const std::string& rest = {}) {
    return LoadFile(Section(t::kSectionCard) + card + rest);
  }
  bool LoadFile(const std::string& bytes) {
    return LoadCFGData(dir_.Write("param.ini", bytes).c_str(), cfg_);
  }
  std::string AutoDetect(std::string_view v) { return Key(t::kKeyAutoDetect, v); }

  void ExpectPresets() {
    EXPECT_EQ(cfg_.AutoDetect, 1);
    EXPECT_EQ(cfg_.Bus, 0);
    EXPECT_EQ(cfg_.Slot, 0);
    EXPECT_EQ(cfg_.DemoMode, 0);
    EXPECT_EQ(cfg_.LogEnabled, 0);
    EXPECT_EQ(cfg_.LogFileName, t::kDefaultLogFileName.view());
    for (const Register& r : kRegisters)
      EXPECT_EQ(cfg_.*r.field,
                std::string_view(r.key).find("Rng") != std::string_view::npos ? 16777215 : 0)
          << r.key;
  }

  test::TempDir dir_;
  TCFGData cfg_;
};

TEST_F(LoadCFGDataTest, InvalidFilesKeepThePresets) {
  const std::vector<std::string> files = {
      Section("Jiná sekce") + AutoDetect("1"),
      Section(t::kSectionCard) + Key(t::kKeyBus, "3"),
      Section(t::kSectionCard) + AutoDetect("jkl") + Key(t::kKeyBus, "3"),
      "",
  };
  for (const std::string& file : files) {
    EXPECT_FALSE(LoadFile(file));
    EXPECT_EQ(cfg_.Message, t::kBadParameterFile.view());
    ExpectPresets();
    EXPECT_EQ(cfg_.ActualBus, 77);
    EXPECT_EQ(cfg_.ActualSlot, 88);
  }
  EXPECT_FALSE(LoadCFGData(dir_.Path("missing.ini").c_str(), cfg_));
  EXPECT_EQ(cfg_.Message, t::kBadParameterFile.view());
  EXPECT_FALSE(LoadCFGData(nullptr, cfg_));
  EXPECT_EQ(cfg_.Message, t::kBadParameterFile.view());
}

TEST_F(LoadCFGDataTest, ValidityTestIsCaseSensitiveAndEmptyPasses) {
  ASSERT_TRUE(Load(AutoDetect("")));
  EXPECT_EQ(cfg_.Message, t::kNoError.view());
  ExpectPresets();
  EXPECT_EQ(cfg_.ActualBus, 0);
  EXPECT_EQ(cfg_.ActualSlot, 0);
  ASSERT_TRUE(Load(AutoDetect("JKL")));
  EXPECT_EQ(cfg_.AutoDetect, 1);
}

TEST_F(LoadCFGDataTest, ReadsCardSettings) {
  ASSERT_TRUE(Load(AutoDetect("0") + Key(t::kKeyBus, "0x1F") + Key(t::kKeySlot, "13") +
                   Key(t::kKeyDemoMode, "-7")));
  EXPECT_EQ(cfg_.AutoDetect, 0);
  EXPECT_EQ(cfg_.Bus, 31);
  EXPECT_EQ(cfg_.Slot, 13);
  EXPECT_EQ(cfg_.DemoMode, -7);
  EXPECT_EQ(cfg_.ActualBus, 31);
  EXPECT_EQ(cfg_.ActualSlot, 13);
  for (const char* bus : {"$1f", "x1F"}) {
    ASSERT_TRUE(Load(AutoDetect("1") + Key(t::kKeyBus, bus)));
    EXPECT_EQ(cfg_.Bus, 31);
  }
  for (const char* bus : {"abc", "-$10", "12.0"}) {
    ASSERT_TRUE(Load(AutoDetect("1") + Key(t::kKeyBus, bus))) << bus;
    EXPECT_EQ(cfg_.Bus, 0);
  }
  // Names match whatever the letter case.
  ASSERT_TRUE(LoadFile(Section("nastaven\xED karty") + AutoDetect("1") + Key("bus", "5")));
  EXPECT_EQ(cfg_.Bus, 5);
}

TEST_F(LoadCFGDataTest, ReportsTheFirstInvalidValueAndKeepsEveryValueRead) {
  EXPECT_FALSE(Load(AutoDetect("5") + Key(t::kKeyBus, "300")));
  EXPECT_EQ(cfg_.Message, std::string(kErrAutoDetect.view()) + "5.");
  EXPECT_EQ(cfg_.Bus, 300);
  EXPECT_EQ(cfg_.ActualBus, 77);
  EXPECT_FALSE(Load(AutoDetect("1") + Key(t::kKeyBus, "$100")));
  EXPECT_EQ(cfg_.Message, std::string(kErrBus.view()) + "256.");
  EXPECT_FALSE(Load(AutoDetect("1") + Key(t::kKeySlot, "-5")));
  EXPECT_EQ(cfg_.Message, std::string(kErrSlot.view()) + "-5.");
  EXPECT_TRUE(Load(AutoDetect("1") + Key(t::kKeyBus, "255") + Key(t::kKeySlot, "255")));
  EXPECT_FALSE(Load(AutoDetect("-2147483648")));
  EXPECT_EQ(cfg_.Message, std::string(kErrAutoDetect.view()) + "-2147483648.");
  // Just outside either end of each range.
  const std::string log = Section(t::kSectionLog);
  const std::pair<std::string, std::string> outside[] = {
      {AutoDetect("2"), std::string(kErrAutoDetect.view()) + "2."},
      {AutoDetect("-1"), std::string(kErrAutoDetect.view()) + "-1."},
      {AutoDetect("1") + Key(t::kKeyBus, "-1"), std::string(kErrBus.view()) + "-1."},
      {AutoDetect("1") + Key(t::kKeySlot, "256"), std::string(kErrSlot.view()) + "256."},
      {AutoDetect("1") + Key(t::kKeySlot, "-1"), std::string(kErrSlot.view()) + "-1."},
      {AutoDetect("1") + log + Key(t::kKeyLogEnabled, "-1"),
       std::string(kErrLogEnabled.view()) + "-1."},
  };
  for (const auto& [lines, message] : outside) {
    EXPECT_FALSE(Load(lines)) << message;
    EXPECT_EQ(cfg_.Message, message);
  }
}

TEST_F(LoadCFGDataTest, LogSettings) {
  const std::string card = AutoDetect("1");
  const std::string log = Section(t::kSectionLog);
  ASSERT_TRUE(Load(card, log + Key(t::kKeyLogEnabled, "1")));
  EXPECT_EQ(cfg_.LogFileName, t::kDefaultLogFileName.view());
  EXPECT_FALSE(Load(card, log + Key(t::kKeyLogEnabled, "1") + Key(t::kKeyLogFileName, "")));
  EXPECT_EQ(cfg_.Message, std::string(kErrLogFileName.view()) + ".");
  EXPECT_FALSE(Load(card, log + Key(t::kKeyLogEnabled, "1") + Key(t::kKeyLogFileName, "ab")));
  EXPECT_EQ(cfg_.Message, std::string(kErrLogFileName.view()) + "ab.");
  ASSERT_TRUE(Load(card, log + Key(t::kKeyLogEnabled, "1") + Key(t::kKeyLogFileName, "abc")));
  EXPECT_EQ(cfg_.LogFileName, "abc");
  ASSERT_TRUE(Load(card, log + Key(t::kKeyLogEnabled, "0") + Key(t::kKeyLogFileName, "")));
  EXPECT_EQ(cfg_.LogFileName, "");
  EXPECT_FALSE(Load(card, log + Key(t::kKeyLogEnabled, "2")));
  EXPECT_EQ(cfg_.Message, std::string(kErrLogEnabled.view()) + "2.");
  // A name longer than a value may be is cut, as any value.
  ASSERT_TRUE(Load(card, log + Key(t::kKeyLogFileName, std::string(3000, 'n'))));
  EXPECT_EQ(cfg_.LogFileName, std::string(2047, 'n'));
}

TEST_F(LoadCFGDataTest, RegisterValuesAndTheirChecks) {
  const std::string card = AutoDetect("1");
  const std::string log = Section(t::kSectionLog);
  EXPECT_FALSE(Load(card, log + Key("CNT0RngReg", "$FFFFFFFF")));
  // The exact bytes of the message, "é" being 0xE9 in Windows-1250.
  EXPECT_EQ(cfg_.Message, "Chyba parametrick\xE9ho souboru - Konfigurace karty / CNT0RngReg = -1.");
  EXPECT_FALSE(Load(card, log + Key("CNT0RngReg", "16777216")));
  EXPECT_EQ(cfg_.Message, std::string(kErrCardConfigPrefix.view()) + "CNT0RngReg = 16777216.");
  ASSERT_TRUE(Load(card, log + Key("CNT0RngReg", "2147483648")));  // no number: preset
  EXPECT_EQ(cfg_.CNT0RngReg, 16777215);

  // Every key reaches its own field, and each at its maximum is accepted.
  std::string distinct, at_max;
  for (const Register& r : kRegisters) {
    distinct += Key(r.key, std::to_string(Max(r) - (&r - kRegisters)));
    at_max += Key(r.key, std::to_string(Max(r)));
  }
  ASSERT_TRUE(Load(card, log + distinct)) << cfg_.Message;
  for (const Register& r : kRegisters)
    EXPECT_EQ(cfg_.*r.field, Max(r) - (&r - kRegisters)) << r.key;
  EXPECT_TRUE(Load(card, log + at_max)) << cfg_.Message;

  // Checked in order: the first key out of range, at either end, is named although later
  // ones fail too.
  for (std::size_t i = 0; i < std::size(kRegisters); ++i) {
    for (const int32_t outside : {Max(kRegisters[i]) + 1, -1}) {
      std::string keys;
      for (std::size_t j = 0; j < std::size(kRegisters); ++j)
        keys += Key(kRegisters[j].key, j < i ? "0" : j == i ? std::to_string(outside) : "-1");
      EXPECT_FALSE(Load(card, log + keys));
      EXPECT_EQ(cfg_.Message, std::string(kErrCardConfigPrefix.view()) + kRegisters[i].key + " = " +
                                  std::to_string(outside) + ".");
    }
  }
}

TEST_F(LoadCFGDataTest, RegisterKeysFromEitherSectionTheLogSectionFirst) {
  const std::string card = AutoDetect("1");
  ASSERT_TRUE(Load(card, Section(t::kSectionCardConfig) + Key("CNTEnReg", "7") +
                             Key("CMPEnReg", "3") + Section(t::kSectionLog) + Key("CMPEnReg", "5") +
                             Key("XSTREnReg", "")));
  EXPECT_EQ(cfg_.CNTEnReg, 7);
  EXPECT_EQ(cfg_.CMPEnReg, 5);
  EXPECT_EQ(cfg_.XSTREnReg, 0);
  // Present but empty in the log section: that is the value read, not a reason to look on.
  ASSERT_TRUE(Load(card, Section(t::kSectionLog) + Key("CNT1CMP1", "") +
                             Section(t::kSectionCardConfig) + Key("CNT1CMP1", "9")));
  EXPECT_EQ(cfg_.CNT1CMP1, 0);
  EXPECT_FALSE(Load(card, Section(t::kSectionCardConfig) + Key("RTDOCfgReg", "256")));
  EXPECT_EQ(cfg_.Message, std::string(kErrCardConfigPrefix.view()) + "RTDOCfgReg = 256.");
}

TEST_F(LoadCFGDataTest, ShippedExamplesLoad) {
  const char* source = std::getenv("QV_SOURCE_DIR");
  if (source == nullptr) GTEST_SKIP() << "QV_SOURCE_DIR not set";
  const std::string examples = std::string(source) + "/examples/";
  ASSERT_TRUE(LoadCFGData((examples + "demo.ini").c_str(), cfg_)) << cfg_.Message;
  EXPECT_NE(cfg_.DemoMode, 0);
  ASSERT_TRUE(LoadCFGData((examples + "autodetect.ini").c_str(), cfg_)) << cfg_.Message;
  EXPECT_EQ(cfg_.AutoDetect, 1);
  EXPECT_EQ(cfg_.DemoMode, 0);
  EXPECT_EQ(cfg_.LogEnabled, 1);
  EXPECT_EQ(cfg_.LogFileName, t::kDefaultLogFileName.view());
  EXPECT_EQ(cfg_.CNTEnReg, 7);
  ASSERT_TRUE(LoadCFGData((examples + "select.ini").c_str(), cfg_)) << cfg_.Message;
  EXPECT_EQ(cfg_.AutoDetect, 0);
  EXPECT_EQ(cfg_.Bus, 2);
  EXPECT_EQ(cfg_.Slot, 13);
  EXPECT_EQ(cfg_.CNT0RngReg, 0xFFFFFF);
}

}  // namespace
}  // namespace qv
