// Without a display the monitor window is the off-screen one, and its timer still ticks
// when the thread pumps its events.
#include <gtest/gtest.h>

#include "config/texts.h"
#include "monitor/drv_dialog.h"
#include "tests/support/pump_until.h"

namespace qv {
namespace {

using qvtest::PumpUntil;

TEST(MonitorOffscreen, TicksAndKeepsItsState) {
  auto dialog = TDrvDialog::Create();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->NativeHandle(), nullptr);  // no display here: the off-screen window
  EXPECT_EQ(dialog->Caption(), text::kWindowCaption.view());
  EXPECT_EQ(dialog->LabelText(59), text::kWindowTitle.view());
  EXPECT_FALSE(dialog->Visible());

  dialog->Karta.CardName = "LVK-5120E";
  dialog->InitDialog();
  dialog->SetCaption(CompletedCaption(dialog->Caption(), dialog->CFGData));
  EXPECT_EQ(Cp1250ToUtf8(dialog->Caption()), "  LVK-5120x - QV ovladač (0/0)");
  EXPECT_EQ(dialog->LabelText(15), "LVK-5120E  (0/0)");

  dialog->Karta.DOUTReg = 3;
  dialog->DriverProc(1, 0, 0, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return dialog->LabelText(57) == "00000011  (3)"; }));
  EXPECT_TRUE(dialog->Visible());
  dialog->DriverProc(0, 0, 0, 0, 0);
  EXPECT_FALSE(dialog->Visible());
}

}  // namespace
}  // namespace qv
