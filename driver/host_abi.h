// The host's binary interface: calling convention, the value record and the exports.
// This is the only header where the host's ABI appears.
#pragma once

#include <cstdint>

#if defined(_WIN32) && defined(__i386__)
#define QV_CALL __cdecl
#else
#define QV_CALL
#endif

#if defined(_WIN32)
#define QV_EXPORT  // names and ordinals come from Qv_lvk5120x.def
#else
#define QV_EXPORT __attribute__((visibility("default")))
#endif

namespace qv {
struct TData;
}

// The host's value record: a kind code (2 boolean, 5 integer, 11 text-buffer address),
// then the value. Value is 32 bits on the host's 32-bit platform; on 64-bit builds it is
// pointer-sized so that kind 11 can carry an address.
struct THostValue {
  int32_t Kind;
  uintptr_t Value;
};

using PData = qv::TData*;
using HostBool = uint8_t;  // one byte, 1 true, 0 false

inline constexpr int32_t kKindBoolean = 2;
inline constexpr int32_t kKindInteger = 5;
inline constexpr int32_t kKindText = 11;

extern "C" {
QV_EXPORT uint32_t QV_CALL Version(void);
QV_EXPORT HostBool QV_CALL Check(void);
QV_EXPORT char* QV_CALL GetDriverInfo(uint32_t unused, char* buffer);
QV_EXPORT void QV_CALL QueryProc(uint32_t unused1, int32_t code, const char* name, uint32_t unused4,
                                 THostValue* value);
QV_EXPORT PData QV_CALL MakeDriver(void);
QV_EXPORT void QV_CALL DisposeDriver(PData data);
QV_EXPORT HostBool QV_CALL Init(PData data, uint32_t unused2, const char* parameter_file,
                                uint32_t error_max, char* error_buffer, int32_t arg6,
                                uint32_t unused7, int32_t arg8, int32_t arg9);
QV_EXPORT void QV_CALL Done(PData data);
QV_EXPORT uint32_t QV_CALL BufferInfo(void);
QV_EXPORT void QV_CALL SetBufferAddr(void* unused);
QV_EXPORT void QV_CALL InputRequest(void* unused);
QV_EXPORT void QV_CALL InputRequestCompleted(PData data);
QV_EXPORT void QV_CALL GetInput(PData data, uint32_t channel, THostValue* value);
QV_EXPORT HostBool QV_CALL InputFinalized(void* unused1, void* unused2, int32_t* status);
QV_EXPORT void QV_CALL OutputRequest(PData data, uint32_t channel, int32_t kind, uintptr_t value);
QV_EXPORT void QV_CALL OutputRequestCompleted(PData data);
QV_EXPORT HostBool QV_CALL OutputFinalized(void* unused1, void* unused2, int32_t* status);
QV_EXPORT void QV_CALL DriverProc(PData data, int32_t command, int32_t left, int32_t top,
                                  int32_t width, int32_t height);
}
