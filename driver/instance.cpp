#include "driver/instance.h"

#include <string_view>

#include "card/discovery.h"
#include "card/registers.h"
#include "config/cfg_schema.h"
#include "config/log.h"
#include "config/texts.h"

namespace qv {

namespace {

// Logs `message`; when the log cannot be written its code's text replaces the message.
std::string LoggedFailure(const TCFGData& cfg, std::string_view message) {
  const LogResult code = WriteLog(cfg, message);
  return std::string(code != 0 ? LogResultText(code) : message);
}

void PrepareKarta(TKarta& k, const TCFGData& c) {
  k = TKarta{};  // snapshot, preset shadows and clears at 0
  // Each register key programs the shadow of its name: 32-bit values whole, bytes cut.
#define QV_PREPARE(name, max, preset) k.name = static_cast<decltype(k.name)>(c.name);
  QV_REGISTER_KEYS(QV_PREPARE)
#undef QV_PREPARE
}

// Releases what an earlier Init left behind, as Done would, so a second Init leaks nothing.
void ReleaseHeld(TData& d) {
  if (d.Finished == 0 && d.Karta.Opened != 0) CloseCard(*d.Library, d.Karta.CardIndex);
  d.Karta.Opened = 0;
  d.Dialog.reset();
  d.DialogCreated = 0;
  d.Finished = 0;
}

}  // namespace

bool InitDriver(TData& d, const char* parameter_file, const InitArgs& args, std::string& error) {
  d.Busy = 1;

  TCFGData loaded;
  if (!LoadCFGData(parameter_file != nullptr ? parameter_file : "", loaded)) {
    error = loaded.Message;
    return false;
  }
  ReleaseHeld(d);
  d.CFGData = loaded;
  d.InitArg6 = args.arg6;
  d.InitArg9 = args.arg9;
  d.InitArg8 = args.arg8;

  PrepareKarta(d.Karta, d.CFGData);
  d.PendingCmd = 0;

  int32_t bus = d.CFGData.Bus;
  int32_t slot = d.CFGData.Slot;
  uint32_t card_index = 0, base_addr = 0, device_id = 0;
  const bool demo = d.CFGData.DemoMode != 0;
  if (!demo) {
    std::string message;
    bool found = false;
    try {
      found = FindCard(*d.Library, static_cast<uint8_t>(d.CFGData.AutoDetect), device_id, bus, slot,
                       card_index, base_addr, message);
    } catch (...) {
      // A library that throws past the guarded call must not take the host down with it.
      message = text::kCardLibraryError.view();
      found = false;
    }
    d.Karta.Opened = found ? 1 : 0;
    if (!found) {
      error = LoggedFailure(d.CFGData, message);
      return false;
    }
  }

  d.CFGData.ActualBus = bus;
  d.CFGData.ActualSlot = slot;
  d.Karta.CardIndex = card_index;
  d.Karta.BaseAddr = base_addr;
  d.Karta.DeviceID = device_id;
  d.Karta.CardName = CardModelName(device_id);

  if (!demo) {
    std::string message;
    try {
      InitCard(*d.Library, d.Karta.BaseAddr, d.Karta, message);
    } catch (...) {
      CloseCard(*d.Library, d.Karta.CardIndex);
      d.Karta.Opened = 0;
      error = LoggedFailure(d.CFGData, text::kCardLibraryError);
      return false;
    }
  }

  d.Dialog = TDrvDialog::Create();
  if (!d.Dialog) {
    d.DialogCreated = 0;
    error = LoggedFailure(d.CFGData, text::kWindowCreateFailed);
    return false;
  }
  d.DialogCreated = 1;
  d.Dialog->CFGData = d.CFGData;
  d.Dialog->Karta = d.Karta;
  d.Dialog->InitDialog();
  d.Dialog->SetCaption(CompletedCaption(d.Dialog->Caption(), d.CFGData));

  const LogResult code = WriteLog(d.CFGData, text::kInitSucceeded);
  if (code != 0) {
    error = LogResultText(code);
    return false;
  }
  d.Busy = 0;
  return true;
}

void DoneDriver(TData& d) {
  if (d.Karta.Opened != 0 && d.Finished == 0) CloseCard(*d.Library, d.Karta.CardIndex);
  if (d.DialogCreated != 0) {
    if (d.Dialog)
      d.Dialog.reset();
    else
      WriteLog(d.CFGData, text::kWindowFreeFailed);
  }
  d.Finished = 1;
}

void DisposeInstance(TData& d) {
  WriteLog(d.CFGData, text::kDriverDisposed);
  if (d.Karta.Opened != 0 && d.Finished == 0) {
    CloseCard(*d.Library, d.Karta.CardIndex);
    d.Finished = 1;
  }
}

}  // namespace qv
