// Our own builds of the card library (the simulator and the tracing library) carry the maker's
// file name, so each says what it is: in its version resource (Windows), in a section of its
// own (Linux, `readelf -p .qv_identity`) and through an export that qvhost --list-cards asks.
// Also read by the version resource script, hence only macros outside RC_INVOKED.
#pragma once

#define QV_SIMULATOR_IDENTITY "Qv_lvk5120x card simulator"
#define QV_TRACER_IDENTITY "Qv_lvk5120x tracing card library"
// Beside the identity in the version resource's description.
#define QV_NOT_THE_MAKERS " (not the maker's VODRA_OX952 library)"

// The simulator presents its default card only to a process that asks for it with this
// variable set to 1 (or names a configuration or a trace to replay): one that did not choose
// it must not take it for a card.
#define QV_SIM_DEFAULT_VARIABLE "VODRA_OX952_SIM_DEFAULT"

#ifndef RC_INVOKED
#include "card/ox952.h"

#ifdef __cplusplus
extern "C" {
#endif

// What the library is: QV_SIMULATOR_IDENTITY or QV_TRACER_IDENTITY. The maker's has no such
// export.
OX952_API const char* Qv_lvk5120x_Identity(void);
// Tracing library only: the path of the library it forwards to, "" when it could load none.
OX952_API const char* Qv_lvk5120x_RealLibrary(void);

#ifdef __cplusplus
}
#endif
#endif
