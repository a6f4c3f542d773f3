#include "monitor/toolkit_offscreen.h"

#include <array>
#include <new>
#include <string>

#include "config/texts.h"
#include "monitor/glib_runtime.h"
#include "monitor/layout.h"

namespace qv {
namespace {

class TOffscreenToolkit final : public TMonitorToolkit {
 public:
  explicit TOffscreenToolkit(TToolkitEvents& events) : events_(events) {
    for (const TElement& e : Layout()) texts_[e.Id] = e.Text;
  }
  // Without GLib on the machine the window has no timer; nothing would show its ticks.
  void Start() { timer_ = glib::AddTimeout(100, &TOffscreenToolkit::OnTimeout, this); }
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

 private:
  static int OnTimeout(void* self) {
    static_cast<TOffscreenToolkit*>(self)->events_.OnTimer();
    return 1;  // G_SOURCE_CONTINUE
  }

  TToolkitEvents& events_;
  std::array<std::string, kElementIdCount> texts_;
  std::string caption_{text::kWindowCaption.view()};
  bool visible_ = false;
  TWindowState state_ = TWindowState::Normal;
  TBounds bounds_{kDesignLeft, kDesignTop, kClientWidth, kClientHeight};
  unsigned timer_ = 0;
};

}  // namespace

std::unique_ptr<TMonitorToolkit> CreateOffscreenToolkit(TToolkitEvents& events) {
  auto toolkit = std::unique_ptr<TOffscreenToolkit>(new (std::nothrow) TOffscreenToolkit(events));
  if (!toolkit) return nullptr;
  toolkit->Start();
  return toolkit;
}

}  // namespace qv
