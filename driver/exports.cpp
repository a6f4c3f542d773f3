// The host's 18 functions: thin shims over the instance. Nothing may escape into the
// host: every export checks its pointers and lets no exception out, but for the end of the
// host's thread inside the card library, which goes on as the thread's owner asked.
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "card/forced_unwind.h"
#include "config/texts.h"
#include "driver/channels.h"
#include "driver/host_abi.h"
#include "driver/instance.h"

namespace {

constexpr uint32_t kVersion = 0x00030000;

// At most `max` characters of `text`, then one zero byte.
void CopyCut(char* buffer, uint32_t max, std::string_view text) {
  if (buffer == nullptr) return;
  const std::size_t n = text.size() < max ? text.size() : max;
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

// Runs step; an exception it lets out stops here.
template <typename Step>
void Shielded(Step step) {
  qv::CatchAllButThreadEnd(step, [] {});
}

void CopyDriverInfo(char* buffer) {
  std::memcpy(buffer, qv::text::kDriverInfo.c_str(), qv::text::kDriverInfo.size + 1);
}

}  // namespace

extern "C" {

uint32_t QV_CALL Version(void) {
  return kVersion;
}

HostBool QV_CALL Check(void) {
  return 1;
}

char* QV_CALL GetDriverInfo(uint32_t, char* buffer) {
  if (buffer != nullptr) CopyDriverInfo(buffer);
  return buffer;
}

void QV_CALL QueryProc(uint32_t, int32_t code, const char* name, uint32_t, THostValue* value) {
  if (code != kKindText || name == nullptr || std::strcmp(name, "GetVersion") != 0) return;
  if (value == nullptr || value->Kind != kKindText || value->Value == 0) return;
  CopyDriverInfo(reinterpret_cast<char*>(value->Value));
}

PData QV_CALL MakeDriver(void) {
  return new (std::nothrow) qv::TData;
}

void QV_CALL DisposeDriver(PData data) {
  if (data == nullptr) return;  // no instance, so no log settings to report it with
  Shielded([&] { qv::DisposeInstance(*data); });
  delete data;
}

HostBool QV_CALL Init(PData data, uint32_t, const char* parameter_file, uint32_t error_max,
                      char* error_buffer, int32_t arg6, uint32_t, int32_t arg8, int32_t arg9) {
  if (data == nullptr) {
    CopyCut(error_buffer, error_max, qv::text::kInitNullPData);
    return 0;
  }
  return qv::CatchAllButThreadEnd(
      [&]() -> HostBool {
        std::string error;
        if (qv::InitDriver(*data, parameter_file, {arg6, arg8, arg9}, error)) return 1;
        CopyCut(error_buffer, error_max, error);
        return 0;
      },
      [&]() -> HostBool {
        // Only running out of memory gets here; the instance stays busy.
        data->Busy = 1;
        CopyCut(error_buffer, error_max, qv::text::kWindowCreateFailed);
        return 0;
      });
}

void QV_CALL Done(PData data) {
  if (data == nullptr) return;
  Shielded([&] { qv::DoneDriver(*data); });
}

uint32_t QV_CALL BufferInfo(void) {
  return 0;
}

void QV_CALL SetBufferAddr(void*) {}

void QV_CALL InputRequest(void*) {}

void QV_CALL InputRequestCompleted(PData data) {
  if (data == nullptr || !qv::ExchangeOpen(*data)) return;
  Shielded([&] { qv::TakeInputSnapshot(*data); });
}

void QV_CALL GetInput(PData data, uint32_t channel, THostValue* value) {
  if (data == nullptr || value == nullptr) return;
  qv::AnswerInput(data->Karta, channel, value->Kind, value->Value);
}

HostBool QV_CALL InputFinalized(void*, void*, int32_t* status) {
  if (status != nullptr) *status = 0;
  return 1;
}

void QV_CALL OutputRequest(PData data, uint32_t channel, int32_t kind, uintptr_t value) {
  if (data == nullptr || !qv::ExchangeOpen(*data)) return;
  Shielded([&] { qv::WriteOutput(*data, channel, kind, value); });
}

void QV_CALL OutputRequestCompleted(PData data) {
  if (data == nullptr || !qv::ExchangeOpen(*data)) return;
  Shielded([&] { qv::IssuePendingLoad(*data); });
}

HostBool QV_CALL OutputFinalized(void*, void*, int32_t* status) {
  if (status != nullptr) *status = 0;
  return 1;
}

void QV_CALL DriverProc(PData data, int32_t command, int32_t left, int32_t top, int32_t width,
                        int32_t height) {
  if (data == nullptr || !data->Dialog) return;
  Shielded([&] { data->Dialog->DriverProc(command, left, top, width, height); });
}

}  // extern "C"
