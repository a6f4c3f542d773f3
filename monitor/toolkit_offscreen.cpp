#include "monitor/toolkit_offscreen.h"

#include <array>
#include <atomic>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <thread>

#include "config/texts.h"
#include "monitor/glib_runtime.h"
#include "monitor/layout.h"

namespace qv {
namespace {

// Orders a timer's data between the thread that made it and the one that runs it through a
// lock of ours: GLib's own is invisible to a thread checker (GLib is not instrumented).
std::mutex g_timer_mutex;

class TOffscreenToolkit final : public TMonitorToolkit {
 public:
  explicit TOffscreenToolkit(TToolkitEvents& events) : events_(events) {
    for (const TElement& e : Layout()) texts_[e.Id] = e.Text;
  }
  // Without GLib on the machine the window has no timer; nothing would show its ticks.
  bool Start() {
    const std::lock_guard lock(g_timer_mutex);
    auto* held = new (std::nothrow) std::shared_ptr<TTicks>(ticks_);
    if (held == nullptr) return false;
    timer_ = glib::AddTimeout(100, &TOffscreenToolkit::OnTimeout, held, [](void* p) {
      const std::lock_guard lock(g_timer_mutex);
      delete static_cast<std::shared_ptr<TTicks>*>(p);
    });
    if (timer_ == 0) delete held;
    return true;
  }
  ~TOffscreenToolkit() override { glib::RemoveSource(timer_); }

  void SetLabelText(int id, std::string_view text) override {
    if (id > 0 && id < kElementIdCount) texts_[id].assign(text);
  }
  std::string LabelText(int id) const override {
    return id > 0 && id < kElementIdCount ? texts_[id] : std::string();
  }
  std::string Caption() const override { return caption_; }
  void SetCaption(std::string_view caption) override { caption_.assign(caption); }
  bool IsVisible() const override { return visible_; }
  void Show(TWindowState state) override {
    visible_ = true;
    state_ = state;
  }
  void Raise() override {}
  void Hide() override { visible_ = false; }
  TWindowState State() const override { return state_; }
  void SetState(TWindowState state) override { state_ = state; }
  void Focus() override {}
  void SetBounds(const TBounds& outer) override { bounds_ = outer; }
  TSize OuterSize() const override { return {bounds_.Width, bounds_.Height}; }
  bool FrameSettled() override { return true; }  // no frame
  TBounds ScreenArea() const override {
    return {0, 0, kOffscreenScreenWidth, kOffscreenScreenHeight};
  }
  bool DisableCloseCommand() override { return false; }  // no window menu to disable
  void* NativeHandle() const override { return nullptr; }
  std::atomic<bool>* DeferredTick() override { return &ticks_->due; }

 private:
  // The timer runs on whichever thread iterates the default context. There it ticks the
  // window only when that is the window's own thread; for a window of another thread it raises
  // the flag that this thread takes at its next call. The source holds this block, so a tick
  // on the loop thread never meets a window just destroyed on its own thread.
  struct TTicks {
    explicit TTicks(TToolkitEvents& e) : events(e) {}
    TToolkitEvents& events;
    const std::thread::id owner = std::this_thread::get_id();
    std::atomic<bool> due{false};
  };

  static int OnTimeout(void* held) {
    std::unique_lock lock(g_timer_mutex);
    const std::shared_ptr<TTicks> ticks_held = *static_cast<std::shared_ptr<TTicks>*>(held);
    lock.unlock();
    TTicks& ticks = *ticks_held;
    if (std::this_thread::get_id() == ticks.owner)
      ticks.events.OnTimer();
    else
      ticks.due.store(true, std::memory_order_relaxed);
    return 1;  // G_SOURCE_CONTINUE
  }

  TToolkitEvents& events_;
  std::shared_ptr<TTicks> ticks_ = std::make_shared<TTicks>(events_);
  std::array<std::string, kElementIdCount> texts_;
  std::string caption_{text::kWindowCaption.view()};
  bool visible_ = false;
  TWindowState state_ = TWindowState::Normal;
  TBounds bounds_{kDesignLeft, kDesignTop, kClientWidth, kClientHeight};
  unsigned timer_ = 0;
};

}  // namespace

std::unique_ptr<TMonitorToolkit> CreateOffscreenToolkit(TToolkitEvents& events) {
  try {
    auto toolkit = std::make_unique<TOffscreenToolkit>(events);
    if (!toolkit->Start()) return nullptr;
    return toolkit;
  } catch (...) {  // out of memory: no window
    return nullptr;
  }
}

}  // namespace qv
