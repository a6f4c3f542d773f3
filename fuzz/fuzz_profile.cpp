// The parameter file on arbitrary bytes: LoadCFGData must keep the record's promises, and the
// profile reader must answer from the file exactly what the in-memory dialect finds, within
// the caller's buffer.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "config/cfg_data.h"
#include "config/profile.h"
#include "config/texts.h"
#include "fuzz_file.h"

namespace {

void Fail(const char* what) {
  std::fprintf(stderr, "fuzz_profile: %s\n", what);
  std::abort();
}

void Check(bool ok, const char* what) {
  if (!ok) Fail(what);
}

bool InRange(int32_t v, int32_t max) {
  return v >= 0 && v <= max;
}

void CheckLoad(const char* path) {
  qv::TCFGData cfg;
  cfg.ActualBus = -7;  // what the caller held; a failed load keeps it
  cfg.ActualSlot = -9;
  const bool ok = qv::LoadCFGData(path, cfg);
  const std::string_view message = cfg.Message;
  if (ok) {
    Check(message == qv::text::kNoError.view(), "success without \"Bez chyby\"");
    Check(InRange(cfg.AutoDetect, 1) && InRange(cfg.Bus, 255) && InRange(cfg.Slot, 255) &&
              InRange(cfg.LogEnabled, 1),
          "a loaded card or log setting out of range");
    Check(cfg.LogEnabled == 0 || cfg.LogFileName.size() >= 3, "log enabled with a short name");
    for (int32_t v : {cfg.CNT0RngReg, cfg.CNT1RngReg, cfg.CNT2RngReg, cfg.CNT0CMP1, cfg.CNT1CMP1,
                      cfg.CNT2CMP1, cfg.CNT0CMP2, cfg.CNT1CMP2, cfg.CNT2CMP2})
      Check(InRange(v, 0xFFFFFF), "a loaded 24-bit register out of range");
    for (int32_t v : {cfg.CNT0CWReg, cfg.CNT1CWReg, cfg.CNT2CWReg, cfg.CNTEnReg, cfg.CMPEnReg,
                      cfg.XSTREnReg, cfg.RTDOCfgReg})
      Check(InRange(v, 0xFF), "a loaded 8-bit register out of range");
    Check(cfg.ActualBus == cfg.Bus && cfg.ActualSlot == cfg.Slot, "ActualBus/Slot not set");
  } else {
    Check(cfg.ActualBus == -7 && cfg.ActualSlot == -9, "a failed load changed ActualBus/Slot");
    const bool bad_file = message == qv::text::kBadParameterFile.view();
    Check(bad_file || message.starts_with(qv::text::kErrParameterFile.view()),
          "a failure with an unknown text");
    Check(!message.empty() && message.back() == '.', "a failure text without its full stop");
    if (bad_file)
      Check(cfg.AutoDetect == 1 && cfg.Bus == 0 && cfg.LogEnabled == 0 &&
                cfg.CNT0RngReg == 0xFFFFFF &&
                cfg.LogFileName == qv::text::kDefaultLogFileName.view(),
            "an invalid file left a field away from its preset");
  }
}

struct Request {
  std::string_view section;
  std::string_view key;
};

// What the driver asks for, and the same names as a careless caller might pass them.
const Request kRequests[] = {
    {qv::text::kSectionCard.view(), qv::text::kKeyAutoDetect.view()},
    {qv::text::kSectionCard.view(), qv::text::kKeyBus.view()},
    {qv::text::kSectionLog.view(), qv::text::kKeyLogFileName.view()},
    {qv::text::kSectionCardConfig.view(), "CNT0RngReg"},
    {" nastaven\xED KARTY\t", " slot "},
    {"", ""},
};

// Buffer sizes around the edges: none, room for the terminator only, a few bytes, the
// driver's own 2048.
constexpr std::size_t kSizes[] = {0, 1, 2, 5, 2048};
constexpr std::size_t kGuard = 16;
constexpr unsigned char kFill = 0xA5;
constexpr std::string_view kDefault = "def \t  ";  // loses its trailing spaces only

void CheckReader(const char* path, std::string_view file) {
  static char buffer[2048 + kGuard];
  // One buffer size per request, varied with the input: each read opens the file anew.
  std::size_t pick = file.size();
  for (const Request& r : kRequests) {
    const auto key = qv::FindProfileKey(file, r.section, r.key);
    const auto found = key ? key->value : std::nullopt;
    if (found) {
      Check(found->find_first_of("\r\n") == std::string_view::npos, "a value holds a line break");
      Check(found->size() <= file.size(), "a value longer than the file");
    }
    const std::string_view expected = found ? *found : kDefault.substr(0, 5);
    const std::size_t size = kSizes[pick++ % std::size(kSizes)];
    std::memset(buffer, kFill, sizeof buffer);
    const std::size_t n = qv::ReadProfileString(path, r.section, r.key, kDefault, buffer, size);
    if (size == 0) {
      Check(n == 0 && static_cast<unsigned char>(buffer[0]) == kFill, "wrote into no buffer");
      continue;
    }
    const std::size_t want = expected.size() < size - 1 ? expected.size() : size - 1;
    Check(n == want, "the reader's length differs from the dialect's");
    Check(std::memcmp(buffer, expected.data(), n) == 0, "the reader's text differs");
    Check(buffer[n] == '\0', "no terminator");
    for (std::size_t i = size; i < size + kGuard; ++i)
      Check(static_cast<unsigned char>(buffer[i]) == kFill, "wrote past the buffer");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const char* path = qvfuzz::WriteScratchFile(data, size);
  CheckLoad(path);
  CheckReader(path, std::string_view(reinterpret_cast<const char*>(data), size));
  return 0;
}
