// Without a display the monitor window is the off-screen one, and its timer still ticks
// when the thread pumps its events.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "config/texts.h"
#include "host/pump.h"
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

// A window made on another thread while this one iterates the context: its ticks reach it on
// its own thread, at its next hand-over, and never run here beside that thread.
TEST(MonitorOffscreen, TicksOfAWindowOnAnotherThreadComeToThatThread) {
  std::atomic<bool> refreshed{false}, finished{false};
  std::thread instance([&] {
    auto dialog = TDrvDialog::Create();
    TKarta karta;
    TCFGData cfg;
    karta.DOUTReg = 3;
    if (dialog) {
      dialog->InitDialog();
      dialog->DriverProc(1, 0, 0, 0, 0);
      const auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(20);
      while (dialog->LabelText(57) != "00000011  (3)" &&
             std::chrono::steady_clock::now() < give_up) {
        dialog->HandOver(cfg, karta);  // the host's cycle
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
      }
      refreshed = dialog->LabelText(57) == "00000011  (3)";
    }
    finished = true;
  });
  while (!finished) {
    PumpWindowMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  instance.join();
  EXPECT_TRUE(refreshed);
}

}  // namespace
}  // namespace qv
