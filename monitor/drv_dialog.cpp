#include "monitor/drv_dialog.h"

#include <algorithm>
#include <new>

#include "config/texts.h"
#include "monitor/layout.h"

namespace qv {

std::unique_ptr<TDrvDialog> TDrvDialog::Create() {
  return Create(&CreateToolkit);
}

std::unique_ptr<TDrvDialog> TDrvDialog::Create(TToolkitFactory factory) {
  // The window lives in the host's process: any failure becomes "no window", never an exception.
  try {
    std::unique_ptr<TDrvDialog> dialog(new TDrvDialog());
    dialog->toolkit_ = factory(*dialog);
    if (!dialog->toolkit_) return nullptr;
    dialog->deferred_tick_ = dialog->toolkit_->DeferredTick();
    return dialog;
  } catch (...) {
    return nullptr;
  }
}

TDrvDialog::~TDrvDialog() {
  // The instance's records may already be gone (the instance destroys its window last).
  cfg_source_ = nullptr;
  karta_source_ = nullptr;
  // The window and its timer go first, so no tick can reach a half-destroyed dialog.
  toolkit_.reset();
}

void TDrvDialog::TakeHandOver() {
  if (cfg_source_ != nullptr) {
    CFGData = *cfg_source_;
    cfg_source_ = nullptr;
  }
  if (karta_source_ != nullptr) {
    Karta = *karta_source_;
    karta_source_ = nullptr;
  }
}

void TDrvDialog::InitDialog() {
  TakeHandOver();
  toolkit_->DisableCloseCommand();  // without a window menu, closing is still refused
  toolkit_->SetLabelText(kLabelVersion, text::kWindowVersion);
  toolkit_->SetLabelText(kLabelCardText, CardText(Karta, CFGData));
  ShowCells(TKarta{});  // zeros, whatever Karta holds
}

std::string TDrvDialog::Caption() const {
  return toolkit_->Caption();
}

void TDrvDialog::SetCaption(std::string_view caption) {
  toolkit_->SetCaption(caption);
}

std::string TDrvDialog::LabelText(int label) const {
  return toolkit_->LabelText(label);
}

bool TDrvDialog::Visible() const {
  return toolkit_->IsVisible();
}

void TDrvDialog::DeferredTimer() noexcept {
  deferred_tick_->store(false, std::memory_order_relaxed);
  try {
    Timer1Timer();
  } catch (...) {  // out of memory: the next tick tries again
  }
}

bool TDrvDialog::FormCloseQuery() {
  return false;
}

void TDrvDialog::Timer1Timer() {
  if (!toolkit_->IsVisible()) return;
  TakeHandOver();
  ShowCells(Karta);
}

void TDrvDialog::ShowCells(const TKarta& karta) {
  for (const TElement& e : Layout()) {
    if (e.Format == nullptr) continue;
    e.Format(e.Field.Get(karta), cell_);
    toolkit_->SetLabelText(e.Id, cell_.View());
  }
}

void TDrvDialog::DriverProc(int32_t command, int32_t left, int32_t top, int32_t width,
                            int32_t height) {
  switch (static_cast<TWindowCommand>(command)) {
    case TWindowCommand::Hide:
      HideWindow();
      break;
    case TWindowCommand::Show:
      ShowWindow();
      break;
    case TWindowCommand::Minimise:
      SetWindowState(TWindowState::Minimised);
      break;
    case TWindowCommand::Normal:
      SetWindowState(TWindowState::Normal);
      break;
    case TWindowCommand::Focus:
      // A hidden window cannot take the focus; the host expects no effect then.
      if (toolkit_->IsVisible()) toolkit_->Focus();
      break;
    case TWindowCommand::Bounds:
      if (show_pending_) shown_before_ = true;  // placed before it appears: not centred then
      toolkit_->SetBounds({left, top, width, height});
      break;
    default:
      break;
  }
  TickIfDue();
}

void TDrvDialog::ShowWindow() {
  TakeHandOver();
  if (toolkit_->IsVisible()) {
    toolkit_->Raise();
    return;
  }
  if (!shown_before_) {
    // The centring needs the outer size, frame included: without it yet, OnFrameSettled
    // comes back here.
    show_pending_ = !toolkit_->FrameSettled();
    if (show_pending_) return;
    // Centred once, with the outer size of this moment; later showings keep their place.
    // Offsets within the primary monitor, which need not start at the screen's 0, 0.
    const TSize window = toolkit_->OuterSize();
    const TBounds screen = toolkit_->ScreenArea();
    const auto centre = [](int64_t origin, int64_t screen_size, int64_t window_size) {
      return static_cast<int32_t>(std::clamp<int64_t>(
          origin + std::max<int64_t>((screen_size - window_size) / 2, 0), INT32_MIN, INT32_MAX));
    };
    const int32_t left = centre(screen.Left, screen.Width, window.Width);
    const int32_t top = centre(screen.Top, screen.Height, window.Height);
    toolkit_->SetBounds({left, top, window.Width, window.Height});
    shown_before_ = true;
  }
  toolkit_->Show(state_);
}

void TDrvDialog::OnFrameSettled() {
  if (!show_pending_) return;
  show_pending_ = false;
  ShowWindow();
}

void TDrvDialog::HideWindow() {
  show_pending_ = false;
  if (!toolkit_->IsVisible()) return;
  state_ = toolkit_->State();  // the user may have minimised or restored it meanwhile
  toolkit_->Hide();
}

void TDrvDialog::SetWindowState(TWindowState state) {
  state_ = state;
  if (toolkit_->IsVisible()) toolkit_->SetState(state);
}

}  // namespace qv
