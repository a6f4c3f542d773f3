// The monitor window on GTK 3, built as a module of its own that the driver loads at run time:
// a fixed-size GtkWindow with the layout placed on a GtkFixed at its pixel coordinates, styled
// per widget (no process-wide CSS). Bounds are outer ones, frame included, as the window
// manager draws it.
//
// GTK allows one thread: every GTK call and every GLib source of every window runs on the
// thread that iterates GLib's default main context (the loop thread). A window made on another
// thread is a stand-in there (TGtkHandOver): it answers from its own state, hands each
// operation over to the loop thread as an idle source and never waits for that thread, which
// may itself be waiting for the caller. Its timer's ticks come back as a flag that the
// instance's thread takes at its next call.
#include <gtk/gtk.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <optional>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "config/cp1250.h"
#include "config/texts.h"
#include "monitor/layout.h"
#include "monitor/toolkit.h"
#include "monitor/toolkit_module.h"
#include "monitor/toolkit_offscreen.h"

// Last: Xlib's macros (None, Bool, Status) must not meet the headers above.
#include <X11/Xatom.h>
#include <gdk/gdkx.h>

namespace qv {
namespace {

#include "monitor/resources/images.inc"

// Character heights as CSS pixel sizes; the MS fonts fall back to the nearest sans-serif.
constexpr const char* kCss =
    ".qv-default { font: 10px \"MS Sans Serif\", \"Microsoft Sans Serif\", sans-serif; }\n"
    ".qv-cell { font: 11px \"MS Sans Serif\", \"Microsoft Sans Serif\", sans-serif;"
    " color: #0000ff; }\n"
    ".qv-cell-small { font: 10px \"MS Sans Serif\", \"Microsoft Sans Serif\", sans-serif;"
    " color: #0000ff; }\n"
    ".qv-title { font: bold 19px \"Microsoft Sans Serif\", sans-serif; }\n"
    "label { padding: 0; margin: 0; min-height: 0; }\n";

// GTK is set up once per process; the host owns the locale, so GTK must not set it.
bool GtkAvailable() {
  static const bool available = [] {
    if (gdk_display_get_default() != nullptr) return true;  // the host runs GTK already
    gtk_disable_setlocale();
    return gtk_init_check(nullptr, nullptr) != FALSE;
  }();
  return available;
}

// The thread seen iterating the default main context; until one is seen, the process's main
// thread (where GTK programs run their loop) is taken for it.
std::atomic<std::thread::id> g_loop_thread{};

bool OnLoopThread() {
  if (g_main_context_is_owner(g_main_context_default()) != FALSE) return true;
  const std::thread::id loop = g_loop_thread.load();
  if (loop != std::thread::id()) return loop == std::this_thread::get_id();
  return getpid() == static_cast<pid_t>(syscall(SYS_gettid));
}

// Work for the loop thread. It passes through our own lock, not through GLib's, so that the
// hand-over is ordered for every tool that checks threads (GLib is not instrumented).
std::mutex g_loop_mutex;
std::vector<std::function<void()>> g_loop_work;

// Runs `work` on the loop thread, at its next iteration. Never waits.
void OnLoop(std::function<void()> work) {
  {
    const std::lock_guard lock(g_loop_mutex);
    g_loop_work.push_back(std::move(work));
  }
  g_idle_add(
      [](gpointer) -> gboolean {
        g_loop_thread.store(std::this_thread::get_id());
        std::vector<std::function<void()>> now;
        {
          const std::lock_guard lock(g_loop_mutex);
          now.swap(g_loop_work);
        }
        for (auto& work : now) work();
        return G_SOURCE_REMOVE;
      },
      nullptr);
}

// The window manager's decoration on each side of the client area.
struct TFrame {
  int Left = 0, Top = 0, Right = 0, Bottom = 0;
  int Width() const { return Left + Right; }
  int Height() const { return Top + Bottom; }
  bool operator==(const TFrame&) const = default;
};

// The frame of the last window that was mapped or announced: the best guess for the next one.
std::optional<TFrame> g_last_frame;

// Asks an EWMH window manager for the frame that it will give the realized, unmapped `window`
// (_NET_REQUEST_FRAME_EXTENTS); false when it takes no such requests. The answer comes later,
// as the window's _NET_FRAME_EXTENTS property.
bool AskFrameExtents(GtkWidget* window) {
  GdkDisplay* display = gtk_widget_get_display(window);
  GdkWindow* gdk_window = gtk_widget_get_window(window);
  if (!GDK_IS_X11_DISPLAY(display) || gdk_window == nullptr) return false;
  GdkScreen* screen = gdk_window_get_screen(gdk_window);
  if (!gdk_x11_screen_supports_net_wm_hint(
          screen, gdk_atom_intern_static_string("_NET_REQUEST_FRAME_EXTENTS")))
    return false;
  Display* x = GDK_DISPLAY_XDISPLAY(display);
  XEvent request{};
  request.xclient.type = ClientMessage;
  request.xclient.window = GDK_WINDOW_XID(gdk_window);
  request.xclient.message_type =
      gdk_x11_get_xatom_by_name_for_display(display, "_NET_REQUEST_FRAME_EXTENTS");
  request.xclient.format = 32;
  XSendEvent(x, GDK_WINDOW_XID(gdk_screen_get_root_window(screen)), False,
             SubstructureRedirectMask | SubstructureNotifyMask, &request);
  XFlush(x);
  return true;
}

// The window manager's answer to AskFrameExtents, once it has given one.
std::optional<TFrame> AnsweredFrameExtents(GtkWidget* window) {
  GdkDisplay* display = gtk_widget_get_display(window);
  Atom type = 0;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const int status = XGetWindowProperty(
      GDK_DISPLAY_XDISPLAY(display), GDK_WINDOW_XID(gtk_widget_get_window(window)),
      gdk_x11_get_xatom_by_name_for_display(display, "_NET_FRAME_EXTENTS"), 0, 4, False,
      XA_CARDINAL, &type, &format, &count, &after, &data);
  std::optional<TFrame> frame;
  if (status == Success && data != nullptr && format == 32 && count == 4) {
    const auto* v = reinterpret_cast<const long*>(data);  // left, right, top, bottom
    frame = TFrame{static_cast<int>(v[0]), static_cast<int>(v[2]), static_cast<int>(v[1]),
                   static_cast<int>(v[3])};
  }
  if (data != nullptr) XFree(data);
  return frame;
}

// A title read back from GTK; a character outside the code page shows as '?'.
std::string TitleToCp1250(const char* utf8) {
  std::string out;
  if (utf8 == nullptr) return out;
  for (const gchar* p = utf8; *p != 0; p = g_utf8_next_char(p))
    out += UnicodeToCp1250(g_utf8_get_char(p)).value_or('?');
  return out;
}

const char* FontClass(const TElement& e) {
  if (e.Kind == TElementKind::ValueCell)
    return e.Font == TFont::CellSmall ? "qv-cell-small" : "qv-cell";
  return e.Font == TFont::Title ? "qv-title" : "qv-default";
}

class TGtkToolkit final : public TMonitorToolkit {
 public:
  explicit TGtkToolkit(TToolkitEvents& events) : events_(events) {
    for (const TElement& e : Layout()) texts_[e.Id] = e.Text;
  }

  ~TGtkToolkit() override {
    if (timer_ != 0) g_source_remove(timer_);
    if (frame_poll_ != 0) g_source_remove(frame_poll_);
    if (window_ != nullptr) gtk_widget_destroy(window_);
    if (css_ != nullptr) g_object_unref(css_);
  }

  bool Build() {
    css_ = gtk_css_provider_new();
    if (css_ == nullptr || !gtk_css_provider_load_from_data(css_, kCss, -1, nullptr)) return false;
    window_ = gtk_window_new(GTK_WINDOW_TOPLEVEL);
    if (window_ == nullptr) return false;
    gtk_widget_set_name(window_, "DrvDialog");
    Style(window_, nullptr);
    gtk_window_set_title(GTK_WINDOW(window_), Cp1250ToUtf8(text::kWindowCaption).c_str());
    gtk_window_set_resizable(GTK_WINDOW(window_), FALSE);
    gtk_window_move(GTK_WINDOW(window_), kDesignLeft, kDesignTop);
    g_signal_connect(window_, "delete-event", G_CALLBACK(&TGtkToolkit::OnDeleteEvent), this);
    g_signal_connect(window_, "window-state-event", G_CALLBACK(&TGtkToolkit::OnStateEvent), this);
    g_signal_connect(window_, "configure-event", G_CALLBACK(&TGtkToolkit::OnConfigure), this);
    if (GdkPixbuf* icon = gdk_pixbuf_new_from_data(kIconRgba, GDK_COLORSPACE_RGB, TRUE, 8, 16, 16,
                                                   16 * 4, nullptr, nullptr)) {
      gtk_window_set_icon(GTK_WINDOW(window_), icon);
      g_object_unref(icon);
    }

    // Title bar with window menu and minimise button; no maximise.
    gtk_widget_realize(window_);
    if (GdkWindow* w = gtk_widget_get_window(window_))
      gdk_window_set_decorations(
          w, static_cast<GdkWMDecoration>(GDK_DECOR_BORDER | GDK_DECOR_TITLE | GDK_DECOR_MENU |
                                          GDK_DECOR_MINIMIZE));

    fixed_ = gtk_fixed_new();
    gtk_widget_set_size_request(fixed_, kClientWidth, kClientHeight);
    gtk_container_add(GTK_CONTAINER(window_), fixed_);
    for (const TElement& e : Layout()) AddElement(e);
    gtk_widget_show_all(fixed_);

    timer_ = g_timeout_add(100, &TGtkToolkit::OnTimeout, this);
    return timer_ != 0;
  }

  void SetLabelText(int id, std::string_view text) override {
    if (id <= 0 || id >= kElementIdCount || labels_[id] == nullptr) return;
    if (texts_[id] == text) return;  // unchanged: spare GTK the relayout
    texts_[id].assign(text);
    gtk_label_set_text(GTK_LABEL(labels_[id]), Cp1250ToUtf8(text).c_str());
  }
  std::string LabelText(int id) const override {
    return id > 0 && id < kElementIdCount ? texts_[id] : std::string();
  }
  std::string Caption() const override {
    return TitleToCp1250(gtk_window_get_title(GTK_WINDOW(window_)));
  }
  void SetCaption(std::string_view caption) override {
    gtk_window_set_title(GTK_WINDOW(window_), Cp1250ToUtf8(caption).c_str());
  }
  bool IsVisible() const override { return gtk_widget_get_visible(window_) != FALSE; }
  void Show(TWindowState state) override {
    SetState(state);
    // A window manager places a window that is mapped again like a new one, unless told.
    if (position_) gtk_window_move(GTK_WINDOW(window_), position_->x, position_->y);
    gtk_window_present(GTK_WINDOW(window_));
  }
  void Raise() override {
    if (GdkWindow* w = gtk_widget_get_window(window_)) gdk_window_raise(w);
  }
  void Hide() override {
    if (gtk_widget_get_mapped(window_)) {
      GdkPoint p{};
      gtk_window_get_position(GTK_WINDOW(window_), &p.x, &p.y);  // where the user left it
      position_ = p;
    }
    gtk_widget_hide(window_);
  }
  TWindowState State() const override { return state_; }
  void SetState(TWindowState state) override {
    state_ = state;
    if (state == TWindowState::Minimised)
      gtk_window_iconify(GTK_WINDOW(window_));
    else
      gtk_window_deiconify(GTK_WINDOW(window_));
  }
  void Focus() override {
    // An iconified X window cannot hold the focus, and activating it would restore it.
    if (!IsVisible() || !gtk_widget_get_sensitive(window_) || state_ == TWindowState::Minimised)
      return;
    GdkWindow* w = gtk_widget_get_window(window_);
    if (w == nullptr) return;
    guint32 time = gtk_get_current_event_time();
    // A real time stamp, so that the window manager's focus-stealing guard lets it through.
    if (time == GDK_CURRENT_TIME && GDK_IS_X11_WINDOW(w)) time = gdk_x11_get_server_time(w);
    gdk_window_focus(w, time);
  }
  void SetBounds(const TBounds& outer) override {
    wanted_ = outer;
    ApplyWantedSize();
    // The default north-west gravity places the frame's top-left corner, not the client's.
    gtk_window_move(GTK_WINDOW(window_), outer.Left, outer.Top);
    position_ = GdkPoint{outer.Left, outer.Top};
  }
  TSize OuterSize() const override {
    gint width = 0, height = 0;
    gtk_window_get_size(GTK_WINDOW(window_), &width, &height);
    const TFrame frame = Frame();
    return {width + frame.Width(), height + frame.Height()};
  }
  bool FrameSettled() override {
    AskFrameOnce();
    // The answer may be in before the main loop looked for it.
    if (frame_poll_ != 0 && TakeFrame(false)) g_source_remove(std::exchange(frame_poll_, 0));
    return frame_poll_ == 0;
  }
  TBounds ScreenArea() const override {
    GdkDisplay* display = gtk_widget_get_display(window_);
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (monitor == nullptr) monitor = gdk_display_get_monitor(display, 0);
    if (monitor == nullptr) return {0, 0, kClientWidth, kClientHeight};
    GdkRectangle area{};
    gdk_monitor_get_geometry(monitor, &area);
    return {area.x, area.y, area.width, area.height};
  }
  bool DisableCloseCommand() override {
    gtk_window_set_deletable(GTK_WINDOW(window_), FALSE);
    // Some window managers (openbox) take Motif hints only without the "all" bit, which
    // GTK's own non-deletable hint carries: name what is allowed instead.
    gtk_widget_realize(window_);
    if (GdkWindow* w = gtk_widget_get_window(window_))
      gdk_window_set_functions(w, static_cast<GdkWMFunction>(GDK_FUNC_MOVE | GDK_FUNC_MINIMIZE));
    // Without resizing there is no resize handle: the frame is final, and the answer is
    // usually in before the host first shows the window.
    AskFrameOnce();
    return true;
  }
  void* NativeHandle() const override { return window_; }

 private:
  void Style(GtkWidget* widget, const char* css_class) {
    GtkStyleContext* context = gtk_widget_get_style_context(widget);
    gtk_style_context_add_provider(context, GTK_STYLE_PROVIDER(css_),
                                   GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
    if (css_class != nullptr) gtk_style_context_add_class(context, css_class);
  }

  void AddElement(const TElement& e) {
    GtkWidget* widget = nullptr;
    switch (e.Kind) {
      case TElementKind::Label:
      case TElementKind::ValueCell:
        widget = gtk_label_new(Cp1250ToUtf8(e.Text).c_str());
        gtk_label_set_xalign(GTK_LABEL(widget), 0.0f);
        gtk_label_set_yalign(GTK_LABEL(widget), 0.0f);
        labels_[e.Id] = widget;
        break;
      case TElementKind::GroupBox:
        widget = gtk_frame_new(Cp1250ToUtf8(e.Text).c_str());
        gtk_frame_set_label_align(GTK_FRAME(widget), 0.02f, 0.5f);
        gtk_frame_set_shadow_type(GTK_FRAME(widget), GTK_SHADOW_ETCHED_IN);
        if (GtkWidget* caption = gtk_frame_get_label_widget(GTK_FRAME(widget)))
          Style(caption, "qv-default");
        break;
      case TElementKind::Separator:
        widget = gtk_separator_new(GTK_ORIENTATION_HORIZONTAL);
        break;
      case TElementKind::Panel:
        widget = gtk_drawing_area_new();
        g_signal_connect(widget, "draw", G_CALLBACK(&TGtkToolkit::OnDrawPanel), nullptr);
        break;
      case TElementKind::Picture:
        if (GdkPixbuf* picture =
                gdk_pixbuf_new_from_data(kPictureRgb, GDK_COLORSPACE_RGB, FALSE, 8, kPictureWidth,
                                         kPictureHeight, kPictureWidth * 3, nullptr, nullptr)) {
          widget = gtk_image_new_from_pixbuf(picture);
          g_object_unref(picture);
        }
        break;
    }
    if (widget == nullptr) return;
    gtk_widget_set_name(widget, ElementName(e).c_str());
    Style(widget, FontClass(e));
    gtk_widget_set_size_request(widget, e.Width != 0 ? e.Width : -1, e.Height);
    gtk_fixed_put(GTK_FIXED(fixed_), widget, ClientLeft(e), ClientTop(e));
  }

  static std::string ElementName(const TElement& e) {
    switch (e.Id) {
      case kGroupBox1:
        return "GroupBox1";
      case kGroupBox2:
        return "GroupBox2";
      case kBevel1:
        return "Bevel1";
      case kPanel1:
        return "Panel1";
      case kImage1:
        return "Image1";
      case kLabelBaze:
        return "LabelBaze";
      default:
        return "Label" + std::to_string(e.Id);
    }
  }

  // The frame around the client area: measured while the window is mapped; before that, as
  // the window manager announced it, or as the last window had it, or none.
  TFrame Frame() const {
    GdkWindow* w = gtk_widget_get_window(window_);
    if (w != nullptr && gtk_widget_get_mapped(window_)) {
      GdkRectangle outer{};
      gdk_window_get_frame_extents(w, &outer);
      gint x = 0, y = 0;
      gdk_window_get_origin(w, &x, &y);
      const int width = gdk_window_get_width(w), height = gdk_window_get_height(w);
      frame_ = TFrame{std::max(0, x - outer.x), std::max(0, y - outer.y),
                      std::max(0, outer.x + outer.width - x - width),
                      std::max(0, outer.y + outer.height - y - height)};
      g_last_frame = frame_;
    }
    return frame_.value_or(g_last_frame.value_or(TFrame{}));
  }

  // The client size that gives the outer size last asked for. GTK keeps a fixed-size window
  // no smaller than its layout, so smaller outer sizes come out larger.
  void ApplyWantedSize() {
    if (!wanted_) return;
    applied_frame_ = Frame();
    const gint width = std::max<gint>(1, wanted_->Width - applied_frame_.Width());
    const gint height = std::max<gint>(1, wanted_->Height - applied_frame_.Height());
    gtk_widget_set_size_request(window_, width, height);
    gtk_window_resize(GTK_WINDOW(window_), width, height);
  }

  // A size worked out with a frame that proved wrong is corrected, so the outer size is the
  // one asked for.
  void CorrectSize() {
    if (wanted_ && Frame() != applied_frame_) ApplyWantedSize();
  }

  // The frame is certain only once the window is mapped.
  static gboolean OnConfigure(GtkWidget*, GdkEventConfigure*, gpointer p) {
    static_cast<TGtkToolkit*>(p)->CorrectSize();
    return FALSE;
  }

  // Asks the window manager once, before the window is first mapped, for the frame that it
  // will draw; FrameSettled tells whether the answer is in.
  void AskFrameOnce() {
    if (frame_asked_ || gtk_widget_get_mapped(window_)) return;
    frame_asked_ = true;
    if (AskFrameExtents(window_)) frame_poll_ = g_timeout_add(5, &TGtkToolkit::OnFramePoll, this);
  }

  // Looks for the window manager's answer on the main loop, so that the host's thread never
  // waits for it: every 5 ms for a quarter of a second.
  static gboolean OnFramePoll(gpointer p) {
    auto* self = static_cast<TGtkToolkit*>(p);
    if (!self->TakeFrame(++self->frame_polls_ == 50)) return G_SOURCE_CONTINUE;
    self->frame_poll_ = 0;
    self->events_.OnFrameSettled();
    return G_SOURCE_REMOVE;
  }

  // Takes the window manager's answer once it is in (or, `last`, that none came): the frame as
  // certain as it gets before mapping. What was worked out with a guess is corrected.
  bool TakeFrame(bool last) {
    const std::optional<TFrame> answer = AnsweredFrameExtents(window_);
    if (!answer && !last) return false;
    frame_ = answer;
    if (frame_) g_last_frame = frame_;
    CorrectSize();
    return true;
  }

  static gboolean OnDrawPanel(GtkWidget* widget, cairo_t* cr, gpointer) {
    const double w = gtk_widget_get_allocated_width(widget);
    const double h = gtk_widget_get_allocated_height(widget);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_paint(cr);
    cairo_set_line_width(cr, 1);
    // Raised outer bevel, lowered inner bevel: light then dark edges, swapped inside.
    const auto bevel = [&](double inset, double light, double dark) {
      cairo_set_source_rgb(cr, light, light, light);
      cairo_move_to(cr, inset + 0.5, h - inset - 0.5);
      cairo_line_to(cr, inset + 0.5, inset + 0.5);
      cairo_line_to(cr, w - inset - 0.5, inset + 0.5);
      cairo_stroke(cr);
      cairo_set_source_rgb(cr, dark, dark, dark);
      cairo_move_to(cr, w - inset - 0.5, inset + 0.5);
      cairo_line_to(cr, w - inset - 0.5, h - inset - 0.5);
      cairo_line_to(cr, inset + 0.5, h - inset - 0.5);
      cairo_stroke(cr);
    };
    bevel(0, 0.95, 0.45);
    bevel(1, 0.45, 0.95);
    return TRUE;
  }

  static gboolean OnTimeout(gpointer self) {
    static_cast<TGtkToolkit*>(self)->events_.OnTimer();
    return G_SOURCE_CONTINUE;
  }
  static gboolean OnDeleteEvent(GtkWidget*, GdkEvent*, gpointer self) {
    // TRUE stops the close; a granted close only hides, the driver owns the window.
    if (!static_cast<TGtkToolkit*>(self)->events_.OnCloseQuery()) return TRUE;
    gtk_widget_hide(static_cast<TGtkToolkit*>(self)->window_);
    return TRUE;
  }
  static gboolean OnStateEvent(GtkWidget*, GdkEventWindowState* event, gpointer self) {
    if ((event->changed_mask & GDK_WINDOW_STATE_ICONIFIED) != 0)
      static_cast<TGtkToolkit*>(self)->state_ =
          (event->new_window_state & GDK_WINDOW_STATE_ICONIFIED) != 0 ? TWindowState::Minimised
                                                                      : TWindowState::Normal;
    return FALSE;
  }

  TToolkitEvents& events_;
  GtkCssProvider* css_ = nullptr;
  GtkWidget* window_ = nullptr;
  GtkWidget* fixed_ = nullptr;
  std::array<GtkWidget*, kElementIdCount> labels_{};
  std::array<std::string, kElementIdCount> texts_;
  TWindowState state_ = TWindowState::Normal;
  guint timer_ = 0;
  bool frame_asked_ = false;
  guint frame_poll_ = 0;  // while looking for the window manager's answer
  int frame_polls_ = 0;
  std::optional<TBounds> wanted_;     // the outer rectangle last asked for
  std::optional<GdkPoint> position_;  // the outer top-left corner to show it at again
  mutable std::optional<TFrame> frame_;
  TFrame applied_frame_;  // the frame that the client size was worked out with
};

// What a window made off the loop thread shares between its instance's thread and the loop
// thread. The loop thread's idle sources hold it too, so it outlives the stand-in.
struct THandOverShared final : TToolkitEvents {
  std::mutex mutex;
  // Operations not yet run on the loop thread, in order; guarded by `mutex`.
  std::vector<std::function<void(THandOverShared&)>> pending;
  bool scheduled = false;  // an idle source is on its way to run them
  // What the loop thread last saw of the window; guarded by `mutex`.
  GtkWidget* window = nullptr;
  std::optional<TSize> outer;
  std::optional<TBounds> screen;
  TWindowState state = TWindowState::Normal;
  std::atomic<bool> tick{false};         // a timer tick for the instance's thread
  std::unique_ptr<TGtkToolkit> toolkit;  // the loop thread's alone

  void OnTimer() override {
    Observe();
    tick.store(true, std::memory_order_relaxed);
  }
  bool OnCloseQuery() override { return false; }  // the driver never grants a close
  void OnFrameSettled() override {}               // the stand-in does not wait for the frame

  // On the loop thread.
  void Observe() {
    if (!toolkit) return;
    const std::lock_guard lock(mutex);
    window = static_cast<GtkWidget*>(toolkit->NativeHandle());
    outer = toolkit->OuterSize();
    screen = toolkit->ScreenArea();
    state = toolkit->State();
  }
};

class TGtkHandOver final : public TMonitorToolkit {
 public:
  explicit TGtkHandOver(std::shared_ptr<THandOverShared> shared) : shared_(std::move(shared)) {
    for (const TElement& e : Layout()) texts_[e.Id] = e.Text;
    Post([](THandOverShared& s) {
      if (!GtkAvailable()) return;
      auto toolkit = std::unique_ptr<TGtkToolkit>(new (std::nothrow) TGtkToolkit(s));
      if (toolkit && toolkit->Build()) s.toolkit = std::move(toolkit);
    });
  }
  ~TGtkHandOver() override {
    Post([](THandOverShared& s) {
      s.toolkit.reset();
      const std::lock_guard lock(s.mutex);
      s.window = nullptr;
    });
  }

  void SetLabelText(int id, std::string_view text) override {
    if (id <= 0 || id >= kElementIdCount || texts_[id] == text) return;
    texts_[id].assign(text);
    Post([id, t = std::string(text)](THandOverShared& s) {
      if (s.toolkit) s.toolkit->SetLabelText(id, t);
    });
  }
  std::string LabelText(int id) const override {
    return id > 0 && id < kElementIdCount ? texts_[id] : std::string();
  }
  std::string Caption() const override { return caption_; }
  void SetCaption(std::string_view caption) override {
    caption_.assign(caption);
    Post([c = caption_](THandOverShared& s) {
      if (s.toolkit) s.toolkit->SetCaption(c);
    });
  }
  bool IsVisible() const override { return visible_; }
  void Show(TWindowState state) override {
    visible_ = true;
    state_ = state;
    Post([state](THandOverShared& s) {
      if (s.toolkit) s.toolkit->Show(state);
    });
  }
  void Raise() override {
    Post([](THandOverShared& s) {
      if (s.toolkit) s.toolkit->Raise();
    });
  }
  void Hide() override {
    visible_ = false;
    Post([](THandOverShared& s) {
      if (s.toolkit) s.toolkit->Hide();
    });
  }
  // As the user left it, once the loop thread has run every command given.
  TWindowState State() const override {
    const std::lock_guard lock(shared_->mutex);
    return shared_->pending.empty() && shared_->window != nullptr ? shared_->state : state_;
  }
  void SetState(TWindowState state) override {
    state_ = state;
    Post([state](THandOverShared& s) {
      if (s.toolkit) s.toolkit->SetState(state);
    });
  }
  void Focus() override {
    Post([](THandOverShared& s) {
      if (s.toolkit) s.toolkit->Focus();
    });
  }
  void SetBounds(const TBounds& outer) override {
    bounds_ = outer;
    Post([outer](THandOverShared& s) {
      if (s.toolkit) s.toolkit->SetBounds(outer);
    });
  }
  TSize OuterSize() const override {
    if (bounds_) return {bounds_->Width, bounds_->Height};
    const std::lock_guard lock(shared_->mutex);
    return shared_->outer.value_or(TSize{kClientWidth, kClientHeight});
  }
  bool FrameSettled() override { return true; }  // the window may not even exist yet
  TBounds ScreenArea() const override {
    const std::lock_guard lock(shared_->mutex);
    return shared_->screen.value_or(TBounds{0, 0, kOffscreenScreenWidth, kOffscreenScreenHeight});
  }
  bool DisableCloseCommand() override {
    Post([](THandOverShared& s) {
      if (s.toolkit) s.toolkit->DisableCloseCommand();
    });
    return true;
  }
  void* NativeHandle() const override {
    const std::lock_guard lock(shared_->mutex);
    return shared_->window;
  }
  std::atomic<bool>* DeferredTick() override { return &shared_->tick; }

 private:
  // Queues `op` for the loop thread; one idle source runs everything queued by then.
  void Post(std::function<void(THandOverShared&)> op) {
    const std::lock_guard lock(shared_->mutex);
    shared_->pending.push_back(std::move(op));
    if (std::exchange(shared_->scheduled, true)) return;
    OnLoop([shared = shared_] {
      std::vector<std::function<void(THandOverShared&)>> ops;
      {
        const std::lock_guard lock(shared->mutex);
        ops.swap(shared->pending);
        shared->scheduled = false;
      }
      for (auto& op : ops) op(*shared);
      shared->Observe();
    });
  }

  std::shared_ptr<THandOverShared> shared_;
  std::array<std::string, kElementIdCount> texts_;
  std::string caption_{text::kWindowCaption.view()};
  bool visible_ = false;
  TWindowState state_ = TWindowState::Normal;
  std::optional<TBounds> bounds_;
};

TMonitorToolkit* CreateGtkToolkit(TToolkitEvents& events) {
  if (!OnLoopThread()) {
    auto shared = std::make_shared<THandOverShared>();
    return new (std::nothrow) TGtkHandOver(std::move(shared));
  }
  auto toolkit = std::unique_ptr<TGtkToolkit>(new (std::nothrow) TGtkToolkit(events));
  if (!toolkit || !toolkit->Build()) return nullptr;
  return toolkit.release();
}

}  // namespace
}  // namespace qv

// The module's one export; the driver resolves it by name (kToolkitModuleEntry).
extern "C" __attribute__((visibility("default"))) bool qv_lvk5120x_toolkit_module(
    uint32_t abi, qv::TToolkitModule* module) {
  if (abi != qv::kToolkitModuleAbi || module == nullptr) return false;
  // GTK is set up on the loop thread; a window that then finds it unusable stays a stand-in.
  if (!qv::OnLoopThread())
    qv::OnLoop([] { qv::GtkAvailable(); });
  else if (!qv::GtkAvailable())
    return false;
  module->Create = &qv::CreateGtkToolkit;
  return true;
}
