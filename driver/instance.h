// One driver instance and its lifecycle: Init, Done, and what DisposeDriver logs.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "card/card_library.h"
#include "card/karta.h"
#include "config/cfg_data.h"
#include "monitor/drv_dialog.h"

namespace qv {

// One driver instance. Its state is marked by these fields:
//
//   state     Busy  Karta.Opened           DialogCreated, Dialog   Finished
//   made      1     0                      0, none                 0
//   ready     0     1 (0 in demo mode)     1, the window           0
//   failed    1     1 once the card is     1, the window once it   0  Init returned false;
//                   programmed, else 0     exists, else 0, none       Done releases what is held
//   finished  kept  kept                   kept, none              1  Done closed the card and
//                                                                     freed the window
//
// Init with a parameter file it refuses changes only Busy; any other Init first releases what
// the instance holds, as Done but without its report of a lost window, and starts from "made".
struct TData {
  std::unique_ptr<TDrvDialog> Dialog;  // the monitor window from Init to Done
  uint8_t DialogCreated = 0;
  int32_t InitArg6 = 0;
  int32_t InitArg9 = 0;
  int32_t InitArg8 = 0;
  TCFGData CFGData;
  TKarta Karta;
  uint8_t PendingCmd = 0;  // load bits waiting for OutputRequestCompleted
  uint8_t Busy = 1;        // 1: not ready for data exchange
  // Keeps the exchange shut after Done and stops a second Done from closing the card index
  // again.
  uint8_t Finished = 0;
  const CardLibrary* Library = &ImportedCardLibrary();
};

// Host arguments of Init that the driver keeps but never consults.
struct InitArgs {
  int32_t arg6 = 0;
  int32_t arg8 = 0;
  int32_t arg9 = 0;
};

// Runs Init's steps; on false `error` holds the text for the host's error buffer.
bool InitDriver(TData& data, const char* parameter_file, const InitArgs& args, std::string& error);

// Closes the card and frees the window of an initialised instance.
void DoneDriver(TData& data);

// Logs the release of the instance. A host that skipped Done still gets its card closed and
// its window freed here, not left for the life of the process; the caller frees the instance.
void DisposeInstance(TData& data);

// True when the data exchange may touch the card and the window.
inline bool ExchangeOpen(const TData& data) {
  return data.Busy == 0 && data.CFGData.DemoMode == 0 && data.Finished == 0;
}

}  // namespace qv
