// The real GTK window under the test display and its window manager: texts, caption, close
// refusal, outer bounds (frame included), centring and focus.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "config/texts.h"
#include "host/pump.h"
#include "monitor/drv_dialog.h"
#include "showcase_values.h"
#include "tests/support/pump_until.h"

namespace qv {
namespace {

using qvtest::PumpUntil;

GtkWidget* FindNamed(GtkWidget* widget, const std::string& name) {
  if (name == gtk_widget_get_name(widget)) return widget;
  if (!GTK_IS_CONTAINER(widget)) return nullptr;
  GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
  GtkWidget* found = nullptr;
  for (GList* c = children; c != nullptr && found == nullptr; c = c->next)
    found = FindNamed(GTK_WIDGET(c->data), name);
  g_list_free(children);
  return found;
}

// The window's outer rectangle on the screen, frame included.
GdkRectangle Outer(GtkWidget* window) {
  GdkRectangle r{};
  gdk_window_get_frame_extents(gtk_widget_get_window(window), &r);
  return r;
}

bool SameRect(const GdkRectangle& a, const GdkRectangle& b) {
  return a.x == b.x && a.y == b.y && a.width == b.width && a.height == b.height;
}

GdkRectangle PrimaryMonitor(GtkWidget* window) {
  GdkDisplay* display = gtk_widget_get_display(window);
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  if (monitor == nullptr) monitor = gdk_display_get_monitor(display, 0);
  GdkRectangle r{};
  gdk_monitor_get_geometry(monitor, &r);
  return r;
}

// The rectangle of `size` centred on `area`, as the first showing places the window.
GdkRectangle Centred(const GdkRectangle& area, int width, int height) {
  return {area.x + std::max(0, (area.width - width) / 2),
          area.y + std::max(0, (area.height - height) / 2), width, height};
}

bool Iconified(GtkWidget* window) {
  GdkWindow* w = gtk_widget_get_window(window);
  return w != nullptr && (gdk_window_get_state(w) & GDK_WINDOW_STATE_ICONIFIED) != 0;
}

// Pumps for a while, for checks that something does NOT happen.
void PumpFor(std::chrono::milliseconds span) {
  const auto until = std::chrono::steady_clock::now() + span;
  while (std::chrono::steady_clock::now() < until) PumpWindowMessages();
}

// What the user sees in LabelN, as UTF-8.
std::string Shown(GtkWidget* window, int label) {
  GtkWidget* w = FindNamed(window, "Label" + std::to_string(label));
  return w != nullptr && GTK_IS_LABEL(w) ? gtk_label_get_text(GTK_LABEL(w)) : "<missing>";
}

class MonitorGtk : public ::testing::Test {
 protected:
  void SetUp() override {
    dialog = TDrvDialog::Create();
    ASSERT_NE(dialog, nullptr);
    window = static_cast<GtkWidget*>(dialog->NativeHandle());
    ASSERT_NE(window, nullptr) << "no display: got the off-screen window";
    testing::FillSample(dialog->Karta, dialog->CFGData);
    dialog->InitDialog();
    dialog->SetCaption(CompletedCaption(dialog->Caption(), dialog->CFGData));
  }
  std::unique_ptr<TDrvDialog> dialog;
  GtkWidget* window = nullptr;
};

TEST_F(MonitorGtk, ShowsTheRegistersAfterShowing) {
  EXPECT_STREQ(gtk_window_get_title(GTK_WINDOW(window)), "  LVK-5120x - QV ovladač (2/13)");
  EXPECT_EQ(Shown(window, 59), "QV ovladač LVK-5120x");
  EXPECT_EQ(Shown(window, 15), "LVK-5120B  (2/13)");
  EXPECT_EQ(Shown(window, 24), "0");  // set-up texts until the first tick after showing
  EXPECT_FALSE(gtk_window_get_deletable(GTK_WINDOW(window)));
  EXPECT_FALSE(gtk_window_get_resizable(GTK_WINDOW(window)));

  dialog->DriverProc(1, 0, 0, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return Shown(window, 58) == "11111111  (255)"; }));
  // Centred with its frame: the outer rectangle, not the client area, sits in the middle.
  GdkRectangle outer{};
  ASSERT_TRUE(PumpUntil([&] {
    outer = Outer(window);
    return outer.width > gtk_widget_get_allocated_width(window);
  })) << "no window manager frame: is the test session's window manager running?";
  const GdkRectangle monitor = PrimaryMonitor(window);
  if (std::getenv("QV_TEST_OFFSET_MONITOR") != nullptr) {
    ASSERT_TRUE(monitor.x != 0 || monitor.y != 0)
        << "the test session's primary monitor should sit away from (0, 0)";
  }
  const GdkRectangle centred = Centred(monitor, outer.width, outer.height);
  EXPECT_TRUE(SameRect(outer, centred))
      << outer.x << "," << outer.y << " instead of " << centred.x << "," << centred.y;
  EXPECT_EQ(Shown(window, 24), "16777215");
  EXPECT_EQ(Shown(window, 28), "99999");
  EXPECT_EQ(Shown(window, 41), "16000000");
  EXPECT_EQ(Shown(window, 42), "00001010");
  EXPECT_EQ(Shown(window, 51), "00000000");  // CMPClrReg
  EXPECT_EQ(Shown(window, 56), "10100101  (165)");
  EXPECT_EQ(Shown(window, 57), "00111100  (60)");
  for (int id = 24; id <= 58; ++id) EXPECT_EQ(Shown(window, id), dialog->LabelText(id)) << id;
}

TEST_F(MonitorGtk, RefusesToCloseAndTakesItsBounds) {
  dialog->DriverProc(1, 0, 0, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return gtk_widget_get_mapped(window) != FALSE; }));
  gtk_window_close(GTK_WINDOW(window));
  PumpWindowMessages();
  EXPECT_TRUE(dialog->Visible());

  const GdkRectangle wanted{100, 50, 420, 500};
  dialog->DriverProc(5, 100, 50, 420, 500);
  EXPECT_TRUE(PumpUntil([&] { return SameRect(Outer(window), wanted); }));
  dialog->DriverProc(0, 0, 0, 0, 0);
  EXPECT_FALSE(dialog->Visible());
  dialog->DriverProc(1, 0, 0, 0, 0);
  EXPECT_TRUE(PumpUntil([&] { return gtk_widget_get_mapped(window) != FALSE; }));
  GdkRectangle outer{};
  EXPECT_TRUE(PumpUntil([&] { return SameRect(outer = Outer(window), wanted); }))
      << outer.x << "," << outer.y << " " << outer.width << "x" << outer.height;

  // Smaller than the layout and its frame: enlarged to fit them.
  dialog->DriverProc(5, 100, 50, 200, 100);
  EXPECT_TRUE(PumpUntil([&] {
    const GdkRectangle r = Outer(window);
    return r.x == 100 && r.y == 50 && r.width > 401 && r.height > 458;
  }));
}

TEST_F(MonitorGtk, BoundsBeforeTheFirstShowingKeepTheirOuterSizeAndCentre) {
  dialog->DriverProc(5, 100, 50, 420, 500);
  dialog->DriverProc(1, 0, 0, 0, 0);
  const GdkRectangle wanted = Centred(PrimaryMonitor(window), 420, 500);
  GdkRectangle outer{};
  EXPECT_TRUE(PumpUntil([&] { return SameRect(outer = Outer(window), wanted); }))
      << outer.x << "," << outer.y << " " << outer.width << "x" << outer.height;
}

TEST_F(MonitorGtk, FocusActivatesButDoesNotRestore) {
  GtkWidget* other = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(other), 200, 100);
  gtk_widget_show(other);
  dialog->DriverProc(1, 0, 0, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return gtk_window_is_active(GTK_WINDOW(window)) != FALSE; }));
  gtk_window_present(GTK_WINDOW(other));
  ASSERT_TRUE(PumpUntil([&] { return gtk_window_is_active(GTK_WINDOW(other)) != FALSE; }));
  dialog->DriverProc(4, 0, 0, 0, 0);
  EXPECT_TRUE(PumpUntil([&] { return gtk_window_is_active(GTK_WINDOW(window)) != FALSE; }));

  dialog->DriverProc(2, 0, 0, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return Iconified(window); }));
  gtk_window_present(GTK_WINDOW(other));
  ASSERT_TRUE(PumpUntil([&] { return gtk_window_is_active(GTK_WINDOW(other)) != FALSE; }));
  dialog->DriverProc(4, 0, 0, 0, 0);
  PumpFor(std::chrono::milliseconds(500));
  EXPECT_TRUE(Iconified(window));
  EXPECT_TRUE(dialog->Visible());
  gtk_widget_destroy(other);
}

// Instances on host threads, each making its every call on its own thread, while the main
// thread iterates the default context: the windows are built, commanded, refreshed and
// destroyed there, without a GLib warning, and none is left behind.
TEST(MonitorGtkThreads, WindowsOfInstancesOnOtherThreads) {
  static std::atomic<int> warnings{0};
  g_log_set_default_handler(
      [](const gchar* domain, GLogLevelFlags level, const gchar* message, gpointer) {
        if ((level & (G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING)) != 0) {
          ++warnings;
          ADD_FAILURE() << (domain != nullptr ? domain : "") << ": " << message;
        }
      },
      nullptr);
  const auto monitor_windows = [] {
    GList* windows = gtk_window_list_toplevels();
    int count = 0;
    for (GList* w = windows; w != nullptr; w = w->next)
      count += std::string(gtk_widget_get_name(GTK_WIDGET(w->data))) == "DrvDialog";
    g_list_free(windows);
    return count;
  };

  constexpr int kThreads = 4, kRounds = 20;
  std::atomic<int> finished{0}, built{0}, refreshed{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int round = 0; round < kRounds; ++round) {
        TKarta karta;
        TCFGData cfg;
        testing::FillSample(karta, cfg);
        auto dialog = TDrvDialog::Create();
        if (!dialog) continue;
        dialog->InitDialog();
        dialog->SetCaption(CompletedCaption(dialog->Caption(), cfg));
        dialog->DriverProc(5, 40 * t, 30 * round, 420, 500);
        dialog->DriverProc(1, 0, 0, 0, 0);
        // The host's cycles: each hand-over takes a tick that the window's timer left.
        const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (dialog->LabelText(58) != "11111111  (255)" &&
               std::chrono::steady_clock::now() < give_up) {
          dialog->HandOver(cfg, karta);
          std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        refreshed += dialog->LabelText(58) == "11111111  (255)";
        built += dialog->NativeHandle() != nullptr;
        dialog->DriverProc(2, 0, 0, 0, 0);
        dialog->DriverProc(4, 0, 0, 0, 0);
        dialog->DriverProc(3, 0, 0, 0, 0);
        dialog->DriverProc(0, 0, 0, 0, 0);
      }
      ++finished;
    });
  }
  while (finished < kThreads) {
    PumpWindowMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  for (std::thread& thread : threads) thread.join();
  int left = 0;
  EXPECT_TRUE(PumpUntil([&] { return (left = monitor_windows()) == 0; })) << left << " left";
  EXPECT_EQ(refreshed, kThreads * kRounds);
  EXPECT_EQ(built, kThreads * kRounds) << "the main thread built no window for them";
  EXPECT_EQ(warnings, 0);
  g_log_set_default_handler(g_log_default_handler, nullptr);
}

}  // namespace
}  // namespace qv
