// The monitor window on GTK 3: a fixed-size GtkWindow with the layout placed on a GtkFixed at
// its pixel coordinates, styled per widget (no process-wide CSS). Without a display the
// off-screen window stands in.
#include <gtk/gtk.h>

#include <algorithm>
#include <array>
#include <new>
#include <string>

#include "config/cp1250.h"
#include "config/texts.h"
#include "monitor/layout.h"
#include "monitor/toolkit.h"
#include "monitor/toolkit_offscreen.h"

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

std::string Utf8ToCp1250(const char* utf8) {
  std::string out;
  if (utf8 == nullptr) return out;
  for (const gchar* p = utf8; *p != 0; p = g_utf8_next_char(p)) {
    const gunichar cp = g_utf8_get_char(p);
    char byte = '?';
    if (cp < 0x80) {
      byte = static_cast<char>(cp);
    } else {
      for (int b = 0; b < 128; ++b)
        if (kCp1250High[b] != 0 && kCp1250High[b] == cp) byte = static_cast<char>(0x80 + b);
    }
    out += byte;
  }
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
    if (GdkPixbuf* icon = gdk_pixbuf_new_from_data(kIconRgba, GDK_COLORSPACE_RGB, TRUE, 8, 16, 16,
                                                   16 * 4, nullptr, nullptr)) {
      gtk_window_set_icon(GTK_WINDOW(window_), icon);
      g_object_unref(icon);
    }

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
    return Utf8ToCp1250(gtk_window_get_title(GTK_WINDOW(window_)));
  }
  void SetCaption(std::string_view caption) override {
    gtk_window_set_title(GTK_WINDOW(window_), Cp1250ToUtf8(caption).c_str());
  }
  bool IsVisible() const override { return gtk_widget_get_visible(window_) != FALSE; }
  void Show(TWindowState state) override {
    SetState(state);
    gtk_window_present(GTK_WINDOW(window_));
  }
  void Raise() override {
    if (GdkWindow* w = gtk_widget_get_window(window_)) gdk_window_raise(w);
  }
  void Hide() override { gtk_widget_hide(window_); }
  TWindowState State() const override { return state_; }
  void SetState(TWindowState state) override {
    state_ = state;
    if (state == TWindowState::Minimised)
      gtk_window_iconify(GTK_WINDOW(window_));
    else
      gtk_window_deiconify(GTK_WINDOW(window_));
  }
  void Focus() override {
    if (IsVisible() && gtk_widget_get_sensitive(window_)) gtk_window_present(GTK_WINDOW(window_));
  }
  void SetBounds(const TBounds& outer) override {
    const TSize frame = FrameExtra();
    // A fixed-size window takes its size from its request; GTK keeps it no smaller than the
    // layout needs and rejects sizes below 1.
    const gint width = std::max<gint>(1, outer.Width - frame.Width);
    const gint height = std::max<gint>(1, outer.Height - frame.Height);
    gtk_widget_set_size_request(window_, width, height);
    gtk_window_resize(GTK_WINDOW(window_), width, height);
    gtk_window_move(GTK_WINDOW(window_), outer.Left, outer.Top);
  }
  TSize OuterSize() const override {
    gint width = 0, height = 0;
    gtk_window_get_size(GTK_WINDOW(window_), &width, &height);
    const TSize frame = FrameExtra();
    return {width + frame.Width, height + frame.Height};
  }
  TSize ScreenSize() const override {
    GdkDisplay* display = gtk_widget_get_display(window_);
    GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
    if (monitor == nullptr) monitor = gdk_display_get_monitor(display, 0);
    if (monitor == nullptr) return {kClientWidth, kClientHeight};
    GdkRectangle area{};
    gdk_monitor_get_geometry(monitor, &area);
    return {area.width, area.height};
  }
  bool DisableCloseCommand() override {
    gtk_window_set_deletable(GTK_WINDOW(window_), FALSE);
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

  // Decoration around the client area once a window manager has framed the window.
  TSize FrameExtra() const {
    GdkWindow* w = gtk_widget_get_window(window_);
    if (w == nullptr || !gtk_widget_get_mapped(window_)) return {};
    GdkRectangle frame{};
    gdk_window_get_frame_extents(w, &frame);
    const int width = gdk_window_get_width(w), height = gdk_window_get_height(w);
    return {std::max(0, frame.width - width), std::max(0, frame.height - height)};
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
};

}  // namespace

std::unique_ptr<TMonitorToolkit> CreateToolkit(TToolkitEvents& events) {
  if (!GtkAvailable()) return CreateOffscreenToolkit(events);
  auto toolkit = std::unique_ptr<TGtkToolkit>(new (std::nothrow) TGtkToolkit(events));
  if (!toolkit || !toolkit->Build()) return nullptr;
  return toolkit;
}

void ReleaseMonitorModule() {}

}  // namespace qv
