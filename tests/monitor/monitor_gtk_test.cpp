// The real GTK window under the test display: texts, caption, close refusal and bounds.
#include <gtest/gtest.h>
#include <gtk/gtk.h>

#include <chrono>
#include <string>

#include "config/texts.h"
#include "monitor/drv_dialog.h"
#include "monitor/pump.h"
#include "showcase_values.h"

namespace qv {
namespace {

template <typename F>
bool PumpUntil(F done) {
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!done()) {
    if (std::chrono::steady_clock::now() > give_up) return false;
    PumpWindowMessages();
  }
  return true;
}

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

  dialog->DriverProc(5, 100, 50, 420, 500);
  ASSERT_TRUE(PumpUntil([&] {
    gint w = 0, h = 0;
    gtk_window_get_size(GTK_WINDOW(window), &w, &h);
    return w == 420 && h == 500;
  }));
  dialog->DriverProc(0, 0, 0, 0, 0);
  EXPECT_FALSE(dialog->Visible());
  dialog->DriverProc(1, 0, 0, 0, 0);
  ASSERT_TRUE(PumpUntil([&] {
    gint x = -1, y = -1;
    gdk_window_get_root_origin(gtk_widget_get_window(window), &x, &y);
    return x == 100 && y == 50;
  }));
}

}  // namespace
}  // namespace qv
