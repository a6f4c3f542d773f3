// Test interface of the card simulator that stands in for the maker's VODRA_OX952
// library. Plain C, default calling convention; every function is thread-safe.
#pragma once

#include <stdint.h>

#include "card/ox952.h"

#if defined(OX952_BUILDING_LIBRARY)
#if defined(_WIN32)
#define OX952SIM_API __declspec(dllexport)
#else
#define OX952SIM_API __attribute__((visibility("default")))
#endif
#else
#define OX952SIM_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

// The nine functions, by their place in OX952_FUNCTIONS: OX952SIM_Open etc.
typedef enum {
#define OX952SIM_FUNCTION(name, parameters, arguments, trace) OX952SIM_##name,
  OX952_FUNCTIONS(OX952SIM_FUNCTION)
#undef OX952SIM_FUNCTION
} OX952SimFunction;

// One journal entry. args: the 32-bit arguments in the order of OX952_FUNCTIONS; for an
// out-argument, the value the call stored there, 0 when it stored nothing.
typedef struct {
  OX952SimFunction function;
  uint32_t args[3];
  uint32_t result;
} OX952SimCall;

// Non-zero results of the nine functions (a configured fault returns its own value).
enum {
  OX952SIM_ERR_BAD_CARD = 2,     // card index not below the count
  OX952SIM_ERR_IN_USE = 3,       // Open: in use by another application, or open already
  OX952SIM_ERR_NOT_OPEN = 4,     // Close, BAR11_BaseAdr: the card is not open
  OX952SIM_ERR_CONFIG = 5,       // CardsInSystem: the configuration is bad
  OX952SIM_ERR_NULL_POINTER = 6  // an out-argument is a null pointer
};

// Registers of one card's window: offsets 0 .. OX952SIM_WINDOW_SIZE - 1.
#define OX952SIM_WINDOW_SIZE 1024u
// Card i's window starts at OX952SIM_BASE_FIRST + i * OX952SIM_BASE_STEP.
#define OX952SIM_BASE_FIRST 0xD0000000u
#define OX952SIM_BASE_STEP 0x10000u
// The journal keeps at most this many entries; later calls are not recorded.
#define OX952SIM_JOURNAL_LIMIT 1000000u
// Journal result of an OX952_CardsInSystem call that raised instead of returning.
#define OX952SIM_RAISED 0xFFFFFFFFu

// Back to the configuration from the file named by VODRA_OX952_SIM (or the default card
// where VODRA_OX952_SIM_DEFAULT=1 asks for it, else none), journal empty, registers and
// model 0, no card open, call and fault counters 0; the trace file named by
// VODRA_OX952_TRACE is looked up again.
OX952SIM_API void OX952Sim_Reset(void);
// As Reset, but with this configuration text (file syntax, see sim/README.md).
// 0 ok; non-zero: bad text, then OX952_CardsInSystem fails as for a bad file.
OX952SIM_API int OX952Sim_Configure(const char* text);
// Why the current configuration is bad ("source:line: what"), or "" when it is good.
// The pointer stays valid until the next Reset or Configure.
OX952SIM_API const char* OX952Sim_ConfigError(void);
// Number of cards that OX952_CardsInSystem reports.
OX952SIM_API uint32_t OX952Sim_CardCount(void);

OX952SIM_API uint32_t OX952Sim_JournalSize(void);
// 0 ok; non-zero when index is not below JournalSize or out is null.
OX952SIM_API int OX952Sim_JournalEntry(uint32_t index, OX952SimCall* out);
OX952SIM_API void OX952Sim_ClearJournal(void);
// "OX952_Open" etc.; "?" for a value outside the enumeration.
OX952SIM_API const char* OX952Sim_FunctionName(OX952SimFunction f);

// Makes OX952_Open and OX952_Close take at least this long, as a library that asks a kernel
// driver does, until set again; the card is held meanwhile. 0: at once.
OX952SIM_API void OX952Sim_SetOpenCloseDuration(uint32_t microseconds);
// Makes MemRead return `value` at that register until the next Reset or Configure,
// whatever the model says. Ignored for a card or offset outside the configuration.
OX952SIM_API void OX952Sim_SetReadByte(uint32_t card, uint32_t offset, uint8_t value);
// Last byte written at that register, -1 if never (or card/offset outside).
OX952SIM_API int OX952Sim_WrittenByte(uint32_t card, uint32_t offset);
// What MemRead would return there now, without recording a call; -1 if outside.
OX952SIM_API int OX952Sim_ReadByte(uint32_t card, uint32_t offset);
// The model's current 24-bit count of counter 0..2 (not the latched value).
OX952SIM_API uint32_t OX952Sim_Count(uint32_t card, uint32_t counter);

OX952SIM_API uint32_t OX952Sim_OpenCardCount(void);
OX952SIM_API int OX952Sim_IsOpen(uint32_t card);
// MemRead/MemWrite calls at an address of no open card.
OX952SIM_API uint32_t OX952Sim_ClosedCardAccessCount(void);
// What BAR11_BaseAdr reports for that card (0 for an index outside the configuration).
OX952SIM_API uint32_t OX952Sim_BaseAddress(uint32_t card);

// Ends a replay (VODRA_OX952_REPLAY) as the end of the host's run does: the calls of the
// trace that never came are reported. Returns the number of reports the replay made (0:
// the calls matched the trace's run whole, or there is no replay). Also done at unload.
OX952SIM_API uint32_t OX952Sim_ReplayEnd(void);

#ifdef __cplusplus
}
#endif
