// The windowing operations that the monitor window needs, and nothing more.
// TDrvDialog holds the behaviour; a backend (Win32, GTK 3 or off-screen) renders the layout
// table of layout.h and carries out these operations on the window's own thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace qv {

enum class TWindowState : uint8_t { Normal, Minimised };

struct TBounds {
  int32_t Left = 0;
  int32_t Top = 0;
  int32_t Width = 0;
  int32_t Height = 0;
};

struct TSize {
  int32_t Width = 0;
  int32_t Height = 0;
};

// What the toolkit reports back; always called on the window's thread from its event loop.
class TToolkitEvents {
 public:
  virtual void OnTimer() = 0;       // one tick of the 100 ms timer
  virtual bool OnCloseQuery() = 0;  // a close request; false refuses it
  // The frame that FrameSettled asked for is known, or no answer is coming.
  virtual void OnFrameSettled() = 0;

 protected:
  ~TToolkitEvents() = default;
};

class TMonitorToolkit {
 public:
  virtual ~TMonitorToolkit() = default;  // destroys the window and stops its timer

  // Sets the text (Windows-1250 bytes) of element `id` of the layout; auto-width labels follow it.
  virtual void SetLabelText(int id, std::string_view text) = 0;
  // The text last set for element `id` (Windows-1250); empty for an unknown id.
  virtual std::string LabelText(int id) const = 0;
  virtual std::string Caption() const = 0;                // Windows-1250
  virtual void SetCaption(std::string_view caption) = 0;  // Windows-1250
  virtual bool IsVisible() const = 0;  // shown; a minimised window counts as shown
  // Makes a hidden window visible in `state` and brings it to the front.
  virtual void Show(TWindowState state) = 0;
  virtual void Raise() = 0;  // brings a visible window to the front
  virtual void Hide() = 0;
  virtual TWindowState State() const = 0;         // state of a visible window, as the user left it
  virtual void SetState(TWindowState state) = 0;  // visible windows only
  virtual void Focus() = 0;  // activates a visible, enabled window; does nothing otherwise
  virtual void SetBounds(const TBounds& outer) = 0;  // outer rectangle, screen pixels
  virtual TSize OuterSize() const = 0;
  // Whether OuterSize and SetBounds know, before the window was ever shown, the frame that
  // the window manager will draw around it: false while the toolkit is still asking, and
  // OnFrameSettled follows.
  virtual bool FrameSettled() = 0;
  // The primary monitor's rectangle in screen pixels, for centring; it need not start at 0, 0.
  virtual TBounds ScreenArea() const = 0;
  // Disables the Close command of the window menu (or the close control where there is no
  // menu); false when the window has none.
  virtual bool DisableCloseCommand() = 0;
  virtual void* NativeHandle() const = 0;  // HWND, GtkWindow* or nullptr, for tests and tools
  // Where the timer cannot call OnTimer on the window's own thread: the flag it raises
  // instead, which that thread takes at its next call. nullptr when OnTimer comes itself.
  virtual std::atomic<bool>* DeferredTick() { return nullptr; }
};

// Creates the platform's window for the layout, hidden, ownerless, with its 100 ms timer
// delivering to `events`; nullptr when the toolkit cannot. Never throws.
std::unique_ptr<TMonitorToolkit> CreateToolkit(TToolkitEvents& events);

}  // namespace qv
