// The monitor window on Win32: one top-level window with static, button and owner-drawn
// children, all in UTF-16 so that the Czech texts survive any system code page. The window
// class belongs to this module (not to the host) and lives only while a window of it does.
//
// The window belongs to the thread that created it (the instance's Init thread). A command from
// any other thread never waits for that thread, which may be a device thread that pumps no
// messages: it goes to the window in the asynchronous forms (ShowWindowAsync, a posted message)
// and takes effect when the owner next pumps. Destroyed from another thread, the window is cut
// off from the toolkit and its timer at once, and the owner destroys it at its next pump.
#include <windows.h>

#include <algorithm>
#include <array>
#include <mutex>
#include <new>
#include <string>

#include "config/cp1250.h"
#include "config/texts.h"
#include "monitor/layout.h"
#include "monitor/toolkit.h"

namespace qv {
namespace {

constexpr wchar_t kClassName[] = L"Qv_lvk5120x.TDrvDialog";
constexpr UINT_PTR kTimerId = 1;
// Posted by other threads: apply the pending bounds; destroy the window (lparam: its leftovers).
constexpr UINT kApplyBoundsMsg = WM_APP + 1;
constexpr UINT kDestroyMsg = WM_APP + 2;
constexpr int kControlIdBase = 1000;  // the control id of element N is 1000 + N
// No WS_CLIPCHILDREN: group boxes leave their inside to the parent's background.
constexpr DWORD kStyle = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;
constexpr DWORD kExStyle = 0;
constexpr COLORREF kCellColour = RGB(0, 0, 255);

const int kModuleAnchor = 0;  // any address inside this module identifies it

HINSTANCE ModuleInstance() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&kModuleAnchor), &module);
  return module;
}

void ToWide(std::string_view text, std::wstring& out) {
  out.clear();
  for (char c : text) out += static_cast<wchar_t>(Cp1250ToUnicode(static_cast<unsigned char>(c)));
}

std::wstring ToWide(std::string_view text) {
  std::wstring out;
  ToWide(text, out);
  return out;
}

std::string FromWide(const std::wstring& text) {
  std::string out;
  for (wchar_t w : text) out += UnicodeToCp1250(w).value_or('?');
  return out;
}

class TWin32Toolkit final : public TMonitorToolkit {
 public:
  explicit TWin32Toolkit(TToolkitEvents& events) : events_(events) {
    for (const TElement& e : Layout()) texts_[e.Id] = e.Text;
    scratch_.reserve(64);
  }
  ~TWin32Toolkit() override;
  bool Build();

  void SetLabelText(int id, std::string_view text) override;
  std::string LabelText(int id) const override {
    return id > 0 && id < kElementIdCount ? texts_[id] : std::string();
  }
  std::string Caption() const override;
  void SetCaption(std::string_view caption) override {
    SetWindowTextW(hwnd_, ToWide(caption).c_str());
  }
  bool IsVisible() const override { return IsWindowVisible(hwnd_) != FALSE; }
  void Show(TWindowState state) override {
    ShowCommand(state == TWindowState::Minimised ? SW_SHOWMINIMIZED : SW_SHOWNORMAL);
    Raise();
  }
  void Raise() override {
    if (OwnThread())
      BringWindowToTop(hwnd_);
    else
      SetWindowPos(hwnd_, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_ASYNCWINDOWPOS);
  }
  void Hide() override { ShowCommand(SW_HIDE); }
  TWindowState State() const override {
    return IsIconic(hwnd_) ? TWindowState::Minimised : TWindowState::Normal;
  }
  void SetState(TWindowState state) override {
    if (state == State()) return;
    ShowCommand(state == TWindowState::Minimised ? SW_MINIMIZE : SW_RESTORE);
  }
  void Focus() override {
    if (!IsWindowVisible(hwnd_) || !IsWindowEnabled(hwnd_)) return;
    SetForegroundWindow(hwnd_);
    if (OwnThread()) SetFocus(hwnd_);  // a window of another thread takes it when activated
  }
  void SetBounds(const TBounds& outer) override;
  TSize OuterSize() const override {
    RECT r{};
    GetWindowRect(hwnd_, &r);
    return {r.right - r.left, r.bottom - r.top};
  }
  bool FrameSettled() override { return true; }  // Windows draws the frame itself
  // Windows keeps the primary monitor's top-left corner at 0, 0.
  TBounds ScreenArea() const override {
    return {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  }
  bool DisableCloseCommand() override {
    HMENU menu = GetSystemMenu(hwnd_, FALSE);
    if (menu == nullptr) return false;
    EnableMenuItem(menu, SC_CLOSE, MF_BYCOMMAND | MF_DISABLED);
    return true;
  }
  void* NativeHandle() const override { return hwnd_; }

 private:
  static bool RegisterWindowClass(HINSTANCE instance);
  static bool HoldWindowClass(HINSTANCE instance);

 public:
  static void ReleaseWindowClass(HINSTANCE instance);

 private:
  static LRESULT CALLBACK WindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam);
  bool OwnThread() const {
    return GetWindowThreadProcessId(hwnd_, nullptr) == GetCurrentThreadId();
  }
  void ShowCommand(int command) {
    if (OwnThread())
      ShowWindow(hwnd_, command);
    else
      ShowWindowAsync(hwnd_, command);
  }
  void ApplyBounds(const TBounds& outer);
  LRESULT HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam);
  LRESULT OnCtlColor(HDC dc, HWND control);
  void OnDrawItem(const DRAWITEMSTRUCT& item);
  LRESULT OnSysCommand(WPARAM wparam, LPARAM lparam);
  void OnClose();
  bool CreateFonts();
  bool CreateElement(const TElement& e, HINSTANCE instance);
  void FitWidth(const TElement& e);
  HFONT FontOf(const TElement& e) const { return fonts_[static_cast<int>(e.Font)]; }

  TToolkitEvents& events_;
  HINSTANCE class_holder_ = nullptr;  // set while this toolkit holds the window class
  HWND hwnd_ = nullptr;
  std::array<HFONT, 4> fonts_{};
  HBITMAP picture_ = nullptr;
  std::array<HWND, kElementIdCount> controls_{};
  std::array<std::string, kElementIdCount> texts_;
  std::wstring scratch_;  // reused for label texts, so a tick does not allocate
  std::mutex bounds_mutex_;
  TBounds pending_bounds_;  // set by another thread, applied by the owner (kApplyBoundsMsg)
};

// What a window destroyed from another thread still holds; its owner frees it with the window.
struct TLeftovers {
  HINSTANCE class_holder = nullptr;
  std::array<HFONT, 4> fonts{};
  HBITMAP picture = nullptr;
};

void FreeLeftovers(const TLeftovers& left);

bool TWin32Toolkit::RegisterWindowClass(HINSTANCE instance) {
  WNDCLASSEXW existing{};
  existing.cbSize = sizeof existing;
  if (GetClassInfoExW(instance, kClassName, &existing)) return true;
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = &TWin32Toolkit::WindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  wc.lpszClassName = kClassName;
  wc.hIcon =
      static_cast<HICON>(LoadImageW(instance, L"QV_MONITOR_ICON", IMAGE_ICON, 16, 16, LR_SHARED));
  wc.hIconSm = wc.hIcon;
  return RegisterClassExW(&wc) != 0;
}

// The class is registered by the first window and unregistered with the last, so it never
// outlives the module and unloading has nothing to clean up under the loader lock. Hosts may
// run instances on several threads.
std::mutex g_class_mutex;
int g_class_holders = 0;

bool TWin32Toolkit::HoldWindowClass(HINSTANCE instance) {
  const std::lock_guard lock(g_class_mutex);
  if (g_class_holders == 0 && !RegisterWindowClass(instance)) return false;
  ++g_class_holders;
  return true;
}

void TWin32Toolkit::ReleaseWindowClass(HINSTANCE instance) {
  const std::lock_guard lock(g_class_mutex);
  if (--g_class_holders == 0) UnregisterClassW(kClassName, instance);
}

void FreeLeftovers(const TLeftovers& left) {
  if (left.class_holder != nullptr) TWin32Toolkit::ReleaseWindowClass(left.class_holder);
  for (HFONT font : left.fonts)
    if (font != nullptr) DeleteObject(font);
  if (left.picture != nullptr) DeleteObject(left.picture);
}

TWin32Toolkit::~TWin32Toolkit() {
  const TLeftovers left{class_holder_, fonts_, picture_};
  if (hwnd_ != nullptr) {
    KillTimer(hwnd_, kTimerId);
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);  // no message reaches us from here on
    if (!OwnThread()) {
      // Only the owner may destroy it; the window keeps its fonts and class until then.
      auto* later = new (std::nothrow) TLeftovers(left);
      if (later != nullptr &&
          PostMessageW(hwnd_, kDestroyMsg, 0, reinterpret_cast<LPARAM>(later)) != FALSE)
        return;
      delete later;  // the owner is gone: so is its window
    }
    DestroyWindow(hwnd_);
  }
  FreeLeftovers(left);
}

bool TWin32Toolkit::CreateFonts() {
  const auto make = [](int height, int weight, DWORD charset, const wchar_t* face) {
    return CreateFontW(-height, 0, 0, 0, weight, FALSE, FALSE, FALSE, charset, OUT_DEFAULT_PRECIS,
                       CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH | FF_SWISS, face);
  };
  fonts_[static_cast<int>(TFont::Default)] = make(10, FW_NORMAL, DEFAULT_CHARSET, L"MS Sans Serif");
  fonts_[static_cast<int>(TFont::Cell)] = make(11, FW_NORMAL, DEFAULT_CHARSET, L"MS Sans Serif");
  fonts_[static_cast<int>(TFont::CellSmall)] =
      make(10, FW_NORMAL, DEFAULT_CHARSET, L"MS Sans Serif");
  fonts_[static_cast<int>(TFont::Title)] =
      make(19, FW_BOLD, EASTEUROPE_CHARSET, L"Microsoft Sans Serif");
  return std::all_of(fonts_.begin(), fonts_.end(), [](HFONT f) { return f != nullptr; });
}

bool TWin32Toolkit::Build() {
  HINSTANCE instance = ModuleInstance();
  if (instance == nullptr || !HoldWindowClass(instance)) return false;
  class_holder_ = instance;
  if (!CreateFonts()) return false;
  RECT outer{0, 0, kClientWidth, kClientHeight};
  AdjustWindowRectEx(&outer, kStyle, FALSE, kExStyle);
  hwnd_ = CreateWindowExW(kExStyle, kClassName, ToWide(text::kWindowCaption).c_str(), kStyle,
                          kDesignLeft, kDesignTop, outer.right - outer.left,
                          outer.bottom - outer.top, nullptr, nullptr, instance, this);
  if (hwnd_ == nullptr) return false;
  SetWindowContextHelpId(hwnd_, 1);
  for (const TElement& e : Layout())
    if (!CreateElement(e, instance)) return false;
  return SetTimer(hwnd_, kTimerId, 100, nullptr) != 0;
}

bool TWin32Toolkit::CreateElement(const TElement& e, HINSTANCE instance) {
  const wchar_t* cls = L"STATIC";
  DWORD style = WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
  switch (e.Kind) {
    case TElementKind::Label:
    case TElementKind::ValueCell:
      style |= SS_LEFTNOWORDWRAP | SS_NOPREFIX;
      break;
    case TElementKind::GroupBox:
      cls = L"BUTTON";
      style |= BS_GROUPBOX;
      break;
    case TElementKind::Separator:
      style |= SS_ETCHEDHORZ;
      break;
    case TElementKind::Panel:
      style |= SS_OWNERDRAW;
      break;
    case TElementKind::Picture:
      style |= SS_BITMAP | WS_DISABLED;  // shows the picture, takes no mouse input
      break;
  }
  HWND control = CreateWindowExW(
      0, cls, ToWide(e.Text).c_str(), style, ClientLeft(e), ClientTop(e),
      e.Width != 0 ? e.Width : 1, e.Height, hwnd_,
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(kControlIdBase + e.Id)), instance, nullptr);
  if (control == nullptr) return false;
  controls_[e.Id] = control;
  // Later elements stack above earlier ones: labels lie on their group boxes.
  SetWindowPos(control, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  SendMessageW(control, WM_SETFONT, reinterpret_cast<WPARAM>(FontOf(e)), FALSE);
  if (e.Id == kGroupBox1) SetWindowContextHelpId(control, 4);
  if (e.Kind == TElementKind::Picture) {
    picture_ = static_cast<HBITMAP>(
        LoadImageW(instance, L"QV_MONITOR_PICTURE", IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
    if (picture_ != nullptr)
      SendMessageW(control, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(picture_));
  }
  if (e.Width == 0) FitWidth(e);
  return true;
}

void TWin32Toolkit::SetLabelText(int id, std::string_view text) {
  if (id <= 0 || id >= kElementIdCount || controls_[id] == nullptr) return;
  if (texts_[id] == text) return;  // unchanged: no repaint
  texts_[id].assign(text);
  ToWide(text, scratch_);
  SetWindowTextW(controls_[id], scratch_.c_str());
  const TElement* e = FindElement(id);
  if (e != nullptr && e->Width == 0) FitWidth(*e);
}

// Auto width: the label is as wide as its text.
void TWin32Toolkit::FitWidth(const TElement& e) {
  HWND control = controls_[e.Id];
  ToWide(texts_[e.Id], scratch_);
  // Measured the way the static control draws it.
  RECT extent{0, 0, 0, 0};
  if (HDC dc = GetDC(control)) {
    HGDIOBJ old = SelectObject(dc, FontOf(e));
    DrawTextW(dc, scratch_.c_str(), static_cast<int>(scratch_.size()), &extent,
              DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX | DT_EXPANDTABS);
    SelectObject(dc, old);
    ReleaseDC(control, dc);
  }
  SetWindowPos(control, nullptr, 0, 0, std::max<LONG>(1, extent.right + 1), e.Height,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}
std::string TWin32Toolkit::Caption() const {
  std::wstring text(static_cast<size_t>(std::max(0, GetWindowTextLengthW(hwnd_))) + 1, L'\0');
  text.resize(static_cast<size_t>(
      std::max(0, GetWindowTextW(hwnd_, text.data(), static_cast<int>(text.size())))));
  return FromWide(text);
}

void TWin32Toolkit::SetBounds(const TBounds& outer) {
  if (OwnThread()) {
    ApplyBounds(outer);
    return;
  }
  {
    const std::lock_guard lock(bounds_mutex_);
    pending_bounds_ = outer;
  }
  PostMessageW(hwnd_, kApplyBoundsMsg, 0, 0);
}

void TWin32Toolkit::ApplyBounds(const TBounds& outer) {
  if (IsIconic(hwnd_)) {
    // A minimised window keeps its normal rectangle aside; that is the one to set.
    WINDOWPLACEMENT placement{};
    placement.length = sizeof placement;
    GetWindowPlacement(hwnd_, &placement);
    placement.rcNormalPosition = {outer.Left, outer.Top, outer.Left + outer.Width,
                                  outer.Top + outer.Height};
    placement.showCmd = IsWindowVisible(hwnd_) ? SW_SHOWMINNOACTIVE : SW_HIDE;
    SetWindowPlacement(hwnd_, &placement);
    return;
  }
  SetWindowPos(hwnd_, nullptr, outer.Left, outer.Top, outer.Width, outer.Height,
               SWP_NOZORDER | SWP_NOACTIVATE);
}

LRESULT CALLBACK TWin32Toolkit::WindowProc(HWND hwnd, UINT msg, WPARAM wparam, LPARAM lparam) {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lparam);
    auto* self = static_cast<TWin32Toolkit*>(create->lpCreateParams);
    self->hwnd_ = hwnd;
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
  }
  if (msg == kDestroyMsg) {  // its toolkit was destroyed on another thread
    DestroyWindow(hwnd);
    const auto* left = reinterpret_cast<const TLeftovers*>(lparam);
    FreeLeftovers(*left);
    delete left;
    return 0;
  }
  auto* self = reinterpret_cast<TWin32Toolkit*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr) return DefWindowProcW(hwnd, msg, wparam, lparam);
  return self->HandleMessage(msg, wparam, lparam);
}

LRESULT TWin32Toolkit::HandleMessage(UINT msg, WPARAM wparam, LPARAM lparam) {
  switch (msg) {
    case WM_TIMER:
      if (wparam == kTimerId) events_.OnTimer();
      return 0;
    case WM_CLOSE:
      OnClose();
      return 0;
    case kApplyBoundsMsg: {
      TBounds outer;
      {
        const std::lock_guard lock(bounds_mutex_);
        outer = pending_bounds_;
      }
      ApplyBounds(outer);
      return 0;
    }
    case WM_SYSCOMMAND:
      return OnSysCommand(wparam, lparam);
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
      return OnCtlColor(reinterpret_cast<HDC>(wparam), reinterpret_cast<HWND>(lparam));
    case WM_DRAWITEM:
      OnDrawItem(*reinterpret_cast<const DRAWITEMSTRUCT*>(lparam));
      return TRUE;
    default:
      return DefWindowProcW(hwnd_, msg, wparam, lparam);
  }
}

void TWin32Toolkit::OnClose() {
  // The driver owns the window: a granted close only hides it, and none is granted.
  if (events_.OnCloseQuery()) ShowWindow(hwnd_, SW_HIDE);
}

LRESULT TWin32Toolkit::OnSysCommand(WPARAM wparam, LPARAM lparam) {
  if ((wparam & 0xFFF0) == SC_CLOSE) {
    OnClose();
    return 0;
  }
  return DefWindowProcW(hwnd_, WM_SYSCOMMAND, wparam, lparam);
}

LRESULT TWin32Toolkit::OnCtlColor(HDC dc, HWND control) {
  const TElement* e = FindElement(GetDlgCtrlID(control) - kControlIdBase);
  const bool cell = e != nullptr && e->Kind == TElementKind::ValueCell;
  SetTextColor(dc, cell ? kCellColour : GetSysColor(COLOR_WINDOWTEXT));
  SetBkColor(dc, GetSysColor(COLOR_BTNFACE));
  return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
}

void TWin32Toolkit::OnDrawItem(const DRAWITEMSTRUCT& item) {
  RECT r = item.rcItem;
  FillRect(item.hDC, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  DrawEdge(item.hDC, &r, BDR_RAISEDOUTER | BDR_SUNKENINNER, BF_RECT);
}

}  // namespace

std::unique_ptr<TMonitorToolkit> CreateToolkit(TToolkitEvents& events) {
  auto toolkit = std::unique_ptr<TWin32Toolkit>(new (std::nothrow) TWin32Toolkit(events));
  if (!toolkit || !toolkit->Build()) return nullptr;
  return toolkit;
}

}  // namespace qv
