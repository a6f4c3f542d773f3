// The i686 guard's unwinder, replaceable so that tests can stand in one that behaves as
// the real platform's may.
#pragma once

#include <windows.h>

namespace qv {

#if defined(__i386__)
using GuardUnwinder = void(WINAPI*)(void* target_frame, void* target_ip, EXCEPTION_RECORD* record,
                                    void* return_value);

// The unwinder of the guarded calls that follow; nullptr puts back RtlUnwind.
void SetGuardUnwinder(GuardUnwinder unwinder);
#endif

}  // namespace qv
