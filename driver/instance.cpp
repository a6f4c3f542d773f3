#include "driver/instance.h"

#include <optional>
#include <string_view>
#include <utility>

#include "card/discovery.h"
#include "card/forced_unwind.h"
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

// Why a search took no card, in the host's words.
std::string_view SearchText(TCardSearch outcome) {
  constexpr std::pair<TCardSearch, std::string_view> kTexts[] = {
      {TCardSearch::NoCard, text::kNoVodraCard},
      {TCardSearch::NoFamilyCard, text::kNoFamilyCard},
      {TCardSearch::RequestedMissing, text::kRequestedCardMissing},
      {TCardSearch::InUse, text::kCardInUse}};
  for (const auto& [code, words] : kTexts)
    if (code == outcome) return words;
  return text::kCardLibraryError;
}

// How far letting go of the card and the window goes. Only Done reports a window already
// gone (at a second Done). `restart` goes back to "made" for a new Init; otherwise the
// instance is finished, and Opened and DialogCreated keep their values.
struct LetGoRule {
  bool report_lost_window;
  bool restart;
};

// Closes the card, unless Done closed it already, and frees the window.
void LetGo(TData& d, LetGoRule rule) {
  if (d.Karta.Opened != 0 && d.Finished == 0) CloseCard(*d.Library, d.Karta.CardIndex);
  if (rule.report_lost_window && d.DialogCreated != 0 && !d.Dialog)
    WriteLog(d.CFGData, text::kWindowFreeFailed);
  d.Dialog.reset();
  if (rule.restart) {
    d.Karta.Opened = 0;
    d.DialogCreated = 0;
  }
  d.Finished = rule.restart ? 0 : 1;
}

// Init's steps from the discovery to the window; the text of the step that failed, if one did.
// The instance keeps the card once it is programmed and the window once it exists, for Done;
// a card that could not be programmed is given back here.
std::optional<std::string_view> TakeCardAndWindow(TData& d) {
  // A demo instance has no card: device 0 at the configured bus and slot.
  TFoundCard card{.Outcome = TCardSearch::Found, .Bus = d.CFGData.Bus, .Slot = d.CFGData.Slot};
  const bool demo = d.CFGData.DemoMode != 0;
  const std::optional<std::string_view> failed = CatchAllButThreadEnd(
      [&]() -> std::optional<std::string_view> {
        if (!demo) {
          card = FindCard(
              *d.Library,
              d.CFGData.AutoDetect == 1 ? TCardChoice::FirstOfFamily : TCardChoice::AtBusSlot,
              d.CFGData.Bus, d.CFGData.Slot);
          if (card.Outcome != TCardSearch::Found) return SearchText(card.Outcome);
          d.Karta.Opened = 1;
        }
        d.CFGData.ActualBus = card.Bus;
        d.CFGData.ActualSlot = card.Slot;
        d.Karta.CardIndex = card.CardIndex;
        d.Karta.BaseAddr = card.BaseAddr;
        d.Karta.DeviceID = card.DeviceID;
        d.Karta.CardName = CardModelName(card.DeviceID);
        if (!demo) InitCard(*d.Library, d.Karta);
        return std::nullopt;
      },
      [&]() -> std::optional<std::string_view> {
        // A library that throws past the guarded call must not take the host down with it,
        // nor keep the card it opened.
        LetGo(d, {.report_lost_window = false, .restart = true});
        return text::kCardLibraryError.view();
      });
  if (failed) return failed;

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
  LetGo(d, {.report_lost_window = false, .restart = true});  // a second Init leaks nothing
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
  LetGo(d, {.report_lost_window = true, .restart = false});
}

void DisposeInstance(TData& d) {
  WriteLog(d.CFGData, text::kDriverDisposed);
  LetGo(d, {.report_lost_window = false, .restart = false});
}

}  // namespace qv
