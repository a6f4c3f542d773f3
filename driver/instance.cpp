#include "driver/instance.h"

#include <optional>
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
  return std::string(code != LogResult::Ok ? LogResultText(code) : message);
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

// Init's steps from the discovery to the window; the text of the step that failed, if one did.
// The instance keeps the card once it is programmed and the window once it exists, for Done;
// a card that could not be programmed is given back here.
std::optional<std::string_view> TakeCardAndWindow(TData& d) {
  TFoundCard card;  // a demo instance has none: device 0 at the configured bus and slot
  card.Bus = d.CFGData.Bus;
  card.Slot = d.CFGData.Slot;
  const bool demo = d.CFGData.DemoMode != 0;
  if (!demo) {
    try {
      card =
          FindCard(*d.Library,
                   d.CFGData.AutoDetect == 1 ? TCardChoice::FirstOfFamily : TCardChoice::AtBusSlot,
                   d.CFGData.Bus, d.CFGData.Slot);
    } catch (...) {
      // A library that throws past the guarded call must not take the host down with it.
      return text::kCardLibraryError.view();
    }
    if (!card.Found) return card.Message;
    d.Karta.Opened = 1;
  }

  d.CFGData.ActualBus = card.Bus;
  d.CFGData.ActualSlot = card.Slot;
  d.Karta.CardIndex = card.CardIndex;
  d.Karta.BaseAddr = card.BaseAddr;
  d.Karta.DeviceID = card.DeviceID;
  d.Karta.CardName = CardModelName(card.DeviceID);

  if (!demo) {
    std::string message;
    try {
      InitCard(*d.Library, d.Karta, message);
    } catch (...) {
      ReleaseHeld(d);
      return text::kCardLibraryError.view();
    }
  }

  d.Dialog = TDrvDialog::Create();
  if (!d.Dialog) return text::kWindowCreateFailed.view();
  d.DialogCreated = 1;
  return std::nullopt;
}

}  // namespace

bool InitDriver(TData& d, const char* parameter_file, const InitArgs& args, std::string& error) {
  d.Busy = 1;

  TCFGData loaded;
  if (!LoadCFGData(parameter_file != nullptr ? parameter_file : "", loaded)) {
    error = loaded.Message;  // not logged, and the instance keeps what it holds
    return false;
  }
  ReleaseHeld(d);
  d.CFGData = loaded;
  d.InitArg6 = args.arg6;
  d.InitArg9 = args.arg9;
  d.InitArg8 = args.arg8;

  PrepareKarta(d.Karta, d.CFGData);
  d.PendingCmd = 0;

  if (const std::optional<std::string_view> failed = TakeCardAndWindow(d)) {
    error = LoggedFailure(d.CFGData, *failed);
    return false;
  }
  d.Dialog->CFGData = d.CFGData;
  d.Dialog->Karta = d.Karta;
  d.Dialog->InitDialog();
  d.Dialog->SetCaption(CompletedCaption(d.Dialog->Caption(), d.CFGData));

  const LogResult code = WriteLog(d.CFGData, text::kInitSucceeded);
  if (code != LogResult::Ok) {
    error = LogResultText(code);  // the card and the window stay for Done
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
