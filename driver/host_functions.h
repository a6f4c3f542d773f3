// The host's 18 functions in the host's order, X(result, name, parameters). Whatever names them
// expands this one list: the declarations (host_abi.h), qvhost's table and binding, and, through
// the preprocessor alone, the .def, the version script and scripts/check-binary.
#pragma once

// clang-format off
#define QV_HOST_FUNCTIONS(X)                                                               \
  X(uint32_t, Version, (void))                                                             \
  X(HostBool, Check, (void))                                                               \
  X(char*, GetDriverInfo, (uint32_t unused, char* buffer))                                 \
  X(void, QueryProc, (uint32_t unused1, int32_t code, const char* name, uint32_t unused4,  \
                      THostValue* value))                                                  \
  X(PData, MakeDriver, (void))                                                             \
  X(void, DisposeDriver, (PData data))                                                     \
  X(HostBool, Init, (PData data, uint32_t unused2, const char* parameter_file,             \
                     uint32_t error_max, char* error_buffer, int32_t arg6, uint32_t unused7, \
                     int32_t arg8, int32_t arg9))                                          \
  X(void, Done, (PData data))                                                              \
  X(uint32_t, BufferInfo, (void))                                                          \
  X(void, SetBufferAddr, (void* unused))                                                   \
  X(void, InputRequest, (void* unused))                                                    \
  X(void, InputRequestCompleted, (PData data))                                             \
  X(void, GetInput, (PData data, uint32_t channel, THostValue* value))                     \
  X(HostBool, InputFinalized, (void* unused1, void* unused2, int32_t* status))             \
  X(void, OutputRequest, (PData data, uint32_t channel, int32_t kind, uintptr_t value))    \
  X(void, OutputRequestCompleted, (PData data))                                            \
  X(HostBool, OutputFinalized, (void* unused1, void* unused2, int32_t* status))            \
  X(void, DriverProc, (PData data, int32_t command, int32_t left, int32_t top,             \
                       int32_t width, int32_t height))
// clang-format on
