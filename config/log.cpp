#include "config/log.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "config/int_text.h"
#include "config/logfile.h"
#include "config/texts.h"

namespace qv {
namespace {

// Driver messages are short; a line that does not fit is reported as a composing failure.
constexpr std::size_t kMaxLine = 4096;
constexpr std::size_t kMaxDateTime = 128;

// Appends pieces to a fixed buffer; once something did not fit, every later append fails.
class LineBuilder {
 public:
  LineBuilder(char* out, std::size_t size) : out_(out), size_(out == nullptr ? 0 : size) {}

  void Add(std::string_view s) {
    if (!ok_ || s.size() > size_ - used_) {
      ok_ = false;
      return;
    }
    if (!s.empty()) std::memcpy(out_ + used_, s.data(), s.size());
    used_ += s.size();
  }

  std::size_t Length() const { return ok_ ? used_ : 0; }

 private:
  char* out_;
  std::size_t size_;
  std::size_t used_ = 0;
  bool ok_ = true;
};

std::string_view UpToZero(const char* text, std::size_t size) {
  const void* zero = std::memchr(text, '\0', size);
  return {text,
          zero != nullptr ? static_cast<std::size_t>(static_cast<const char*>(zero) - text) : size};
}

}  // namespace

std::size_t ComposeLogLine(char* out, std::size_t size, std::string_view date,
                           std::string_view time, int32_t bus, int32_t slot,
                           std::string_view message, int32_t number) {
  LineBuilder line(out, size);
  line.Add("[");
  line.Add(date);
  line.Add(" ");
  line.Add(time);
  line.Add("] (");
  line.Add(text::kModuleName);
  line.Add(" ");
  line.Add(DecimalText(bus).view());
  line.Add("/");
  line.Add(DecimalText(slot).view());
  line.Add(") ");
  line.Add(message);
  if (number != kNoNumber) line.Add(DecimalText(number).view());
  line.Add("\r\n");
  return line.Length();
}

LogResult WriteLogWith(const LogFileBackend& backend, const TCFGData& cfg, std::string_view message,
                       int32_t number) {
  if (cfg.LogEnabled == 0) return LogResult::Ok;
  const std::string& name = cfg.LogFileName;
  // Too long for the platform, or a zero byte that would make the name another file's.
  if (name.size() > kMaxLogFileName || name.find('\0') != std::string::npos)
    return LogResult::CannotCreate;

  LogFileHandle file{};
  if (const LogResult opened = backend.open(name.c_str(), &file); opened != LogResult::Ok)
    return opened;

  char date[kMaxDateTime];
  char time[kMaxDateTime];
  char line[kMaxLine];
  bool ok = backend.local_date_time(date, sizeof date, time, sizeof time);
  if (ok) {
    const std::size_t length =
        ComposeLogLine(line, sizeof line, UpToZero(date, sizeof date), UpToZero(time, sizeof time),
                       cfg.ActualBus, cfg.ActualSlot, message, number);
    ok = length > 0 && backend.append(file, line, length);
  }
  // Always release the file, so that the next call opens it afresh.
  const bool closed = backend.close(file);
  return ok && closed ? LogResult::Ok : LogResult::AccessError;
}

LogResult WriteLog(const TCFGData& cfg, std::string_view message, int32_t number) {
  return WriteLogWith(kLogFilePlatform, cfg, message, number);
}

std::string_view LogResultText(LogResult code) {
  const std::string_view texts[] = {text::kLogOk, text::kLogCannotOpen, text::kLogCannotCreate,
                                    text::kLogAccessError};
  return texts[std::min<std::size_t>(static_cast<std::size_t>(code), std::size(texts) - 1)];
}

}  // namespace qv
