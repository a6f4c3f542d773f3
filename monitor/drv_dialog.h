// The register monitor window of one driver instance: shows the instance's record copies,
// refreshed every 100 ms while visible, and obeys the host's window commands.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "card/karta.h"
#include "config/cfg_data.h"
#include "monitor/cell_text.h"
#include "monitor/toolkit.h"

namespace qv {

// The host's window commands 0 to 5, DriverProc's second argument; Bounds places and sizes.
enum class TWindowCommand : int32_t { Hide, Show, Minimise, Normal, Focus, Bounds };

class TDrvDialog final : private TToolkitEvents {
 public:
  using TToolkitFactory = std::unique_ptr<TMonitorToolkit> (*)(TToolkitEvents& events);

  // Creates the window hidden, without owner, with its 100 ms timer running. nullptr when the
  // toolkit cannot create it. Never throws.
  static std::unique_ptr<TDrvDialog> Create();
  // The same on a given toolkit (tests, tools).
  static std::unique_ptr<TDrvDialog> Create(TToolkitFactory factory);
  ~TDrvDialog();  // destroys the window, its timer and copies
  TDrvDialog(const TDrvDialog&) = delete;
  TDrvDialog& operator=(const TDrvDialog&) = delete;

  // The window's own copies. Init assigns them at creation; during operation the data
  // exchange hands records over with HandOver.
  TCFGData CFGData;
  TKarta Karta;

  // The copies are to become these records as they are now. They are copied, whole, only when
  // the window next reads its copies, so a hand-over costs the exchange two pointer stores.
  // The records must outlive the window and change only by being handed over again, or after
  // TakeHandOver.
  void HandOver(const TKarta& karta) noexcept {
    karta_source_ = &karta;
    TickIfDue();
  }
  void HandOver(const TCFGData& cfg, const TKarta& karta) noexcept {
    cfg_source_ = &cfg;
    karta_source_ = &karta;
    TickIfDue();
  }
  bool HandOverPending() const noexcept {
    return cfg_source_ != nullptr || karta_source_ != nullptr;
  }
  // Copies what was handed over since the last copy. The window calls it before it reads its
  // copies (set-up, showing, every visible tick).
  void TakeHandOver();

  void InitDialog();
  std::string Caption() const;                // Windows-1250 bytes
  void SetCaption(std::string_view caption);  // Windows-1250 bytes
  // A TWindowCommand; other numbers do nothing.
  void DriverProc(int32_t command, int32_t left, int32_t top, int32_t width, int32_t height);
  std::string LabelText(int label) const;  // current text of LabelN (Windows-1250)
  bool Visible() const;
  void Timer1Timer();     // the tick; the toolkit's timer calls it
  bool FormCloseQuery();  // the permission to close: always false
  void* NativeHandle() const { return toolkit_->NativeHandle(); }

 private:
  TDrvDialog() = default;
  void OnTimer() override { Timer1Timer(); }
  bool OnCloseQuery() override { return FormCloseQuery(); }
  void OnFrameSettled() override;
  // A tick that the toolkit's timer left for this thread (TMonitorToolkit::DeferredTick).
  void TickIfDue() noexcept {
    if (deferred_tick_ != nullptr && deferred_tick_->load(std::memory_order_relaxed))
      DeferredTimer();
  }
  void DeferredTimer() noexcept;
  void ShowWindow();
  void HideWindow();
  void SetWindowState(TWindowState state);
  // Every register cell from its field of `karta`, in id order.
  void ShowCells(const TKarta& karta);

  std::unique_ptr<TMonitorToolkit> toolkit_;
  TWindowState state_ = TWindowState::Normal;  // applied at the next showing while hidden
  bool shown_before_ = false;
  bool show_pending_ = false;             // the first showing waits for the toolkit's frame
  TCellText cell_;                        // reused by every tick
  const TCFGData* cfg_source_ = nullptr;  // handed over, not yet copied
  const TKarta* karta_source_ = nullptr;
  std::atomic<bool>* deferred_tick_ = nullptr;
};

// ByteToBin and CompletedCaption (the caption completion that Init performs after InitDialog)
// come with cell_text.h.

}  // namespace qv
