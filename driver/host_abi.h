// The host's binary interface: calling convention, the value record and the exports (listed
// in host_functions.h). This and that list are the only headers where the host's ABI appears.
#pragma once

#include <cstdint>

#include "driver/host_functions.h"

#if defined(_WIN32) && defined(__i386__)
#define QV_CALL __cdecl
#else
#define QV_CALL
#endif

#if defined(_WIN32)
#define QV_EXPORT  // names and ordinals come from the .def made from the list
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
#define QV_DECLARE(result, name, parameters) QV_EXPORT result QV_CALL name parameters;
QV_HOST_FUNCTIONS(QV_DECLARE)
#undef QV_DECLARE
}
