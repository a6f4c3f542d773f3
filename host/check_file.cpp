#include "host/check_file.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "config/cfg_data.h"
#include "config/cfg_schema.h"
#include "config/cp1250.h"
#include "config/profile.h"
#include "host/loader.h"

namespace qvhost {

namespace {

std::string U(std::string_view cp1250) {
  return qv::Cp1250ToUtf8(cp1250);
}

bool Same(std::string_view a, std::string_view b) {
  return qv::SameProfileName(a, b);
}

// --- The raw file, for what the driver's reader does not tell ----------------------------

// A name written in UTF-8 (with a character beyond ASCII) as Windows-1250, or "" when it is
// not such a name or leaves the code page.
std::string Utf8Name(std::string_view s) {
  if (std::ranges::all_of(s, [](char c) { return (c & 0x80) == 0; })) return {};
  return qv::Utf8ToCp1250(s).value_or(std::string());
}

struct Line {
  int number;
  std::string_view section;  // of the header above it ("" before any)
  int section_line;          // 0 before any header
  std::string_view key;
  bool has_value;
};

struct RawFile {
  bool bom = false;
  std::vector<std::pair<int, std::string_view>> sections;  // line, name
  std::vector<Line> keys;
};

RawFile Scan(std::string_view text) {
  RawFile raw;
  raw.bom = text.starts_with("\xEF\xBB\xBF");
  if (raw.bom) text.remove_prefix(3);
  std::string_view section;
  int section_line = 0;
  for (int number = 1; !text.empty(); ++number) {
    const qv::ProfileLine line = qv::ParseProfileLine(qv::NextProfileLine(text));
    if (line.kind == qv::ProfileLine::Kind::kSection) {
      section = line.name;
      section_line = number;
      raw.sections.emplace_back(number, section);
    } else if (line.kind == qv::ProfileLine::Kind::kKey) {
      raw.keys.push_back({number, section, section_line, line.name, line.value.has_value()});
    }
  }
  return raw;
}

// --- The report ----------------------------------------------------------------------------

class Report {
 public:
  void Problem(const std::string& text) {
    ++problems_;
    std::printf("  problem: %s\n", text.c_str());
  }
  // A problem already shown on its key's line.
  void Counted() { ++problems_; }
  void Note(const std::string& text) { std::printf("  note:    %s\n", text.c_str()); }
  int Problems() const { return problems_; }

 private:
  int problems_ = 0;
};

// One key as the driver reads it: value, then verdict.
void CheckKey(const qv::Parameter& key, const qv::KeyReading& read, const qv::TCFGData& values,
              Report& report) {
  using Finding = qv::KeyReading::Finding;
  const std::string shown = read.value ? "\"" + U(*read.value) + "\"" : "(absent)";
  std::printf("[%s] %s = %s", U(read.section).c_str(), U(key.key).c_str(), shown.c_str());
  const bool bad = read.finding == Finding::kRefusesFile || !key.Accepts(values);
  std::string verdict;
  if (read.finding == Finding::kRefusesFile) {
    verdict = "the driver needs this key to accept the file";
  } else if (const qv::TextKey* text = key.text()) {
    if (bad)
      verdict = "too short: a log file name needs at least " + std::to_string(text->min_length) +
                " characters";
    else
      verdict = read.value ? "ok" : "default " + U(values.*text->field);
  } else {
    const qv::NumberKey& number = *key.number();
    verdict = std::to_string(values.*number.field);
    if (read.finding == Finding::kAbsent) verdict = "absent: " + verdict;
    if (read.finding == Finding::kNotANumber)
      verdict = "not a number: keeps the default " + verdict;
    if (bad)
      verdict += ", out of range " + std::to_string(number.min) + ".." + std::to_string(number.max);
    else if (number.field == &qv::TCFGData::DemoMode && values.DemoMode != 0)
      verdict += ": demo mode, no card is used";
    else
      verdict += ", ok";
  }
  std::printf("  -> %s%s\n", verdict.c_str(), bad ? "  <- problem" : "");
  if (bad) report.Counted();
}

// Every key as the driver reads it, each judged on what was read for all of them.
void CheckKeys(const std::string& path, Report& report) {
  qv::TCFGData values;
  qv::SetPresets(values);
  std::vector<qv::KeyReading> read;
  for (const qv::Parameter& key : qv::kParameters)
    read.push_back(qv::ReadParameter(path.c_str(), key, values));
  for (std::size_t i = 0; i < read.size(); ++i)
    CheckKey(qv::kParameters[i], read[i], values, report);
}

// A key is read in its section and, if it has one, its fallback.
bool ReadIn(const qv::Parameter& key, std::string_view section) {
  return Same(section, key.section) || (!key.fallback.empty() && Same(section, key.fallback));
}

bool IsKnownSection(std::string_view name) {
  return std::ranges::any_of(qv::kParameters,
                             [name](const qv::Parameter& key) { return ReadIn(key, name); });
}

const qv::Parameter* FindKey(std::string_view name) {
  for (const qv::Parameter& key : qv::kParameters)
    if (Same(name, key.key)) return &key;
  return nullptr;
}

std::string At(int line) {
  return "line " + std::to_string(line) + ": ";
}

// Names that are ours once read as UTF-8: the driver, reading Windows-1250, cannot match
// them. True when there are any.
bool CheckUtf8Names(const RawFile& raw, Report& report) {
  int utf8_names = 0;
  for (const auto& [line, name] : raw.sections) {
    const std::string as_cp1250 = Utf8Name(name);
    if (!as_cp1250.empty() && IsKnownSection(as_cp1250)) {
      ++utf8_names;
      report.Problem(At(line) + "section [" + std::string(name) +
                     "] is written in UTF-8; the driver cannot match it: save the file in "
                     "Windows-1250");
    }
  }
  for (const Line& k : raw.keys) {
    const std::string as_cp1250 = Utf8Name(k.key);
    if (!as_cp1250.empty() && FindKey(as_cp1250) != nullptr) {
      ++utf8_names;
      report.Problem(At(k.number) + "key " + std::string(k.key) +
                     " is written in UTF-8; the driver cannot match it");
    }
  }
  return utf8_names > 0;
}

// Sections the driver reads: only the first of each name counts.
void CheckSections(const RawFile& raw, Report& report) {
  for (std::size_t i = 0; i < raw.sections.size(); ++i) {
    const auto& [line, name] = raw.sections[i];
    if (!IsKnownSection(name)) {
      report.Note(At(line) + "section [" + U(name) + "] is not read by the driver");
      continue;
    }
    for (std::size_t j = 0; j < i; ++j)
      if (Same(raw.sections[j].second, name)) {
        report.Problem(At(line) + "section [" + U(name) +
                       "] again; the driver reads only the first one, on line " +
                       std::to_string(raw.sections[j].first));
        break;
      }
  }
}

// Each key line against the line that the reader takes the key from.
void CheckKeyLines(std::string_view text, const RawFile& raw, Report& report) {
  for (const Line& k : raw.keys) {
    const std::string where = At(k.number) + "key " + U(k.key);
    if (k.section_line == 0) {
      report.Problem(where + " stands before any section and is not read");
      continue;
    }
    if (!IsKnownSection(k.section)) continue;
    const qv::Parameter* key = FindKey(k.key);
    if (key == nullptr) {
      report.Note(where + " in [" + U(k.section) + "] is not a key of the driver");
    } else if (!ReadIn(*key, k.section)) {
      report.Problem(where + " sits in [" + U(k.section) + "], where the driver does not read it");
    } else if (const auto taken = qv::FindProfileKey(text, k.section, k.key)) {
      if (taken->line == k.number && !k.has_value)
        report.Problem(where + " has no \"=\": it reads as absent");
      else if (taken->line != k.number && taken->line > k.section_line)
        report.Problem(where + " is written twice; the driver takes line " +
                       std::to_string(taken->line));
      // Any other line sits in a section written again, which is reported as such.
    }
  }
}

void CheckRaw(std::string_view text, Report& report) {
  const RawFile raw = Scan(text);
  if (raw.bom)
    report.Problem("the file starts with a UTF-8 byte order mark: save it in Windows-1250");
  if (CheckUtf8Names(raw, report)) return;  // the other findings would only repeat this one
  CheckSections(raw, report);
  CheckKeyLines(text, raw, report);
}

// The log file is opened relative to the host's current folder, like here.
void CheckLogFolder(const qv::TCFGData& cfg, Report& report) {
  namespace fs = std::filesystem;
  const fs::path file(cfg.LogFileName);
  fs::path folder = file.parent_path();
  const std::string shown = U(folder.empty() ? std::string(".") : folder.string());
  if (folder.empty()) folder = ".";
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    report.Problem("logging is on, but the log file's folder " + shown + " does not exist");
    return;
  }
  // A file created and removed at once is the one test every platform answers truly.
  const fs::path probe = folder / "qvhost-write-test.tmp";
  bool writable = false;
  if (!fs::exists(probe, ec)) {
    std::ofstream test(probe, std::ios::binary);
    writable = test.good();
    test.close();
    fs::remove(probe, ec);
  } else {
    writable = true;  // someone's earlier probe: do not touch it
  }
  if (fs::exists(file, ec)) {
    std::ofstream append(file, std::ios::binary | std::ios::app);  // writes nothing
    if (!append.good()) {
      report.Problem("logging is on, but the log file " + U(cfg.LogFileName) +
                     " cannot be written");
      return;
    }
  }
  if (!writable)
    report.Problem("logging is on, but the log file's folder " + shown + " is not writable");
}

// The file's bytes, or nothing when it cannot be opened or read (a folder, for one).
std::optional<std::string> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string text;
  char chunk[4096];
  while (in) {
    in.read(chunk, sizeof chunk);
    text.append(chunk, static_cast<std::size_t>(in.gcount()));
  }
  if (!in.is_open() || in.bad()) return std::nullopt;
  return text;
}

}  // namespace

int CheckFile(const std::string& path) {
  std::printf("file %s\n", path.c_str());
  const std::string read_from = ProfileFilePath(path);
  if (read_from != path)
    std::printf("note: %s has no folder: the driver reads it from the Windows folder, %s\n",
                path.c_str(), read_from.c_str());
  qv::TCFGData cfg;
  const bool accepted = qv::LoadCFGData(path.c_str(), cfg);
  Report report;
  if (const std::optional<std::string> text = ReadFile(read_from)) {
    CheckKeys(path, report);
    CheckRaw(*text, report);
    if (cfg.LogEnabled == 1) CheckLogFolder(cfg, report);
  } else {
    report.Problem("the file cannot be read");  // and every key would read as absent
  }

  std::printf("driver says: %s\n", U(cfg.Message).c_str());
  const int problems = report.Problems();
  std::printf("%s, %d problem%s found.\n", accepted ? "accepted" : "refused", problems,
              problems == 1 ? "" : "s");
  return accepted ? 0 : 1;
}

}  // namespace qvhost
