// A toolkit that only remembers: label texts, window state and the operations asked of it.
#pragma once

#include <array>
#include <memory>
#include <string>
#include <vector>

#include "monitor/layout.h"
#include "monitor/toolkit.h"

namespace qv::testing {

struct TRecording {
  std::array<std::string, kElementIdCount> Texts;
  std::vector<int> LabelWrites;  // ids in the order they were set
  std::vector<std::string> Ops;  // window operations other than label texts
  std::string Caption = "  caption";
  bool Visible = false;
  TWindowState State = TWindowState::Normal;
  TBounds Bounds{205, 103, 409, 487};
  TBounds Screen{0, 0, 1024, 768};
  bool HasMenu = true;
  bool FrameSettled = true;
  TToolkitEvents* Events = nullptr;  // the window's, for events the test raises
  bool Destroyed = false;
};

class TRecordingToolkit final : public TMonitorToolkit {
 public:
  explicit TRecordingToolkit(std::shared_ptr<TRecording> r) : r_(std::move(r)) {}
  ~TRecordingToolkit() override { r_->Destroyed = true; }

  void SetLabelText(int id, std::string_view text) override {
    r_->Texts.at(static_cast<size_t>(id)).assign(text);
    r_->LabelWrites.push_back(id);
  }
  std::string LabelText(int id) const override { return r_->Texts.at(static_cast<size_t>(id)); }
  std::string Caption() const override { return r_->Caption; }
  void SetCaption(std::string_view caption) override { r_->Caption.assign(caption); }
  bool IsVisible() const override { return r_->Visible; }
  void Show(TWindowState state) override {
    r_->Ops.push_back(state == TWindowState::Minimised ? "show minimised" : "show normal");
    r_->Visible = true;
    r_->State = state;
  }
  void Raise() override { r_->Ops.push_back("raise"); }
  void Hide() override {
    r_->Ops.push_back("hide");
    r_->Visible = false;
  }
  TWindowState State() const override { return r_->State; }
  void SetState(TWindowState state) override {
    r_->Ops.push_back(state == TWindowState::Minimised ? "minimise" : "normal");
    r_->State = state;
  }
  void Focus() override { r_->Ops.push_back("focus"); }
  void SetBounds(const TBounds& b) override {
    r_->Ops.push_back("bounds " + std::to_string(b.Left) + "," + std::to_string(b.Top) + "," +
                      std::to_string(b.Width) + "," + std::to_string(b.Height));
    r_->Bounds = b;
  }
  TSize OuterSize() const override { return {r_->Bounds.Width, r_->Bounds.Height}; }
  bool FrameSettled() override { return r_->FrameSettled; }
  TBounds ScreenArea() const override { return r_->Screen; }
  bool DisableCloseCommand() override {
    r_->Ops.push_back("disable close");
    return r_->HasMenu;
  }
  void* NativeHandle() const override { return nullptr; }

 private:
  std::shared_ptr<TRecording> r_;
};

}  // namespace qv::testing
