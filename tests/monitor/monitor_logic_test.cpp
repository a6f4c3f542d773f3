// The monitor window's behaviour on a recording toolkit: texts, refresh rules, window commands.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <stdexcept>

#include "config/texts.h"
#include "monitor/drv_dialog.h"
#include "monitor/layout.h"
#include "recording_toolkit.h"

namespace qv {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using testing::TRecording;
using testing::TRecordingToolkit;

std::shared_ptr<TRecording> g_recording;

std::unique_ptr<TMonitorToolkit> MakeRecording(TToolkitEvents& events) {
  g_recording->Events = &events;
  return std::make_unique<TRecordingToolkit>(g_recording);
}

class MonitorLogic : public ::testing::Test {
 protected:
  void SetUp() override {
    g_recording = rec = std::make_shared<TRecording>();
    dialog = TDrvDialog::Create(&MakeRecording);
    ASSERT_NE(dialog, nullptr);
  }
  void ShowAndClear() {
    dialog->DriverProc(1, 0, 0, 0, 0);
    rec->Ops.clear();
    rec->LabelWrites.clear();
  }
  std::shared_ptr<TRecording> rec;
  std::unique_ptr<TDrvDialog> dialog;
};

TEST(CellText, Formats) {
  EXPECT_EQ(ByteToBin(0), "00000000");
  EXPECT_EQ(ByteToBin(1), "00000001");
  EXPECT_EQ(ByteToBin(128), "10000000");
  EXPECT_EQ(ByteToBin(255), "11111111");
  char bits[9];
  ByteToBin(0xA5, bits);
  EXPECT_STREQ(bits, "10100101");

  TCellText cell;
  FormatBinary(10, cell);
  EXPECT_EQ(cell.View(), "00001010");
  FormatBinary(0x1F0F, cell);  // only the low byte counts
  EXPECT_EQ(cell.View(), "00001111");
  FormatBinaryDecimal(165, cell);
  EXPECT_EQ(cell.View(), "10100101  (165)");
  FormatBinaryDecimal(0, cell);
  EXPECT_EQ(cell.View(), "00000000  (0)");
  FormatDecimal(16777215, cell);
  EXPECT_EQ(cell.View(), "16777215");
  FormatDecimal(0, cell);
  EXPECT_EQ(cell.View(), "0");
  FormatDecimal(0xFFFFFFFFu, cell);  // unsigned, whatever the field holds
  EXPECT_EQ(cell.View(), "4294967295");
}

TEST(CellText, CardTextAndCaption) {
  TKarta karta;
  karta.CardName = "LVK-5120B";
  TCFGData cfg;
  cfg.ActualBus = 2;
  cfg.ActualSlot = 13;
  EXPECT_EQ(CardText(karta, cfg), "LVK-5120B  (2/13)");
  EXPECT_EQ(CompletedCaption(text::kWindowCaption, cfg),
            std::string(text::kWindowCaption.view()) + " (2/13)");
  EXPECT_EQ(Cp1250ToUtf8(CompletedCaption(text::kWindowCaption, cfg)),
            "  LVK-5120x - QV ovladač (2/13)");

  karta.CardName = "???";
  cfg.ActualBus = cfg.ActualSlot = 0;
  cfg.DemoMode = 1;
  EXPECT_EQ(CardText(karta, cfg), "???  (0/0)");
  EXPECT_EQ(Cp1250ToUtf8(CompletedCaption(text::kWindowCaption, cfg)),
            "  LVK-5120x - QV ovladač (0/0)  (DEMO REŽIM)");
}

TEST(Layout, NestedElementsAddTheirParentsLeftAndTop) {
  // Parents whose left and top differ, so that mixing the axes shows.
  const TElement* card_text = FindElement(kLabelCardText);  // in GroupBox2 at 8, 88
  ASSERT_NE(card_text, nullptr);
  EXPECT_EQ(ClientLeft(*card_text), 8 + 240);
  EXPECT_EQ(ClientTop(*card_text), 88 + 20);
  const TElement* picture = FindElement(kImage1);  // in Panel1 at 280, 12
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(ClientLeft(*picture), 280 + 8);
  EXPECT_EQ(ClientTop(*picture), 12 + 8);
}

TEST_F(MonitorLogic, InitDialogShowsZerosWhateverKartaHolds) {
  dialog->Karta.CNT0StrReg = 77;
  dialog->Karta.DINReg = 165;
  dialog->Karta.CardName = "LVK-5120C";
  dialog->CFGData.ActualBus = 4;
  dialog->CFGData.ActualSlot = 1;
  dialog->InitDialog();
  EXPECT_THAT(rec->Ops, ElementsAre("disable close"));
  EXPECT_EQ(dialog->LabelText(60), "v.1.00");
  EXPECT_EQ(dialog->LabelText(15), "LVK-5120C  (4/1)");
  for (int id = 24; id <= 41; ++id) EXPECT_EQ(dialog->LabelText(id), "0") << id;
  for (int id = 42; id <= 55; ++id) EXPECT_EQ(dialog->LabelText(id), "00000000") << id;
  for (int id = 56; id <= 58; ++id) EXPECT_EQ(dialog->LabelText(id), "00000000  (0)") << id;

  // Set-up goes on without a window menu.
  rec->HasMenu = false;
  dialog->InitDialog();
  EXPECT_EQ(dialog->LabelText(58), "00000000  (0)");
}

TEST_F(MonitorLogic, HiddenWindowIsNotRefreshed) {
  dialog->InitDialog();
  rec->LabelWrites.clear();
  dialog->Karta.CNT0StrReg = 5;
  dialog->Timer1Timer();
  EXPECT_THAT(rec->LabelWrites, IsEmpty());
  EXPECT_EQ(dialog->LabelText(24), "0");

  dialog->DriverProc(1, 0, 0, 0, 0);
  dialog->Timer1Timer();
  EXPECT_EQ(dialog->LabelText(24), "5");
}

TEST_F(MonitorLogic, TickWritesEveryCellFromItsField) {
  TKarta& k = dialog->Karta;
  uint32_t v = 1000;
  for (uint32_t* f :
       {&k.CNT0StrReg, &k.CNT1StrReg, &k.CNT2StrReg, &k.CNT0XStrReg, &k.CNT1XStrReg, &k.CNT2XStrReg,
        &k.CNT0SetReg, &k.CNT1SetReg, &k.CNT2SetReg, &k.CNT0RngReg, &k.CNT1RngReg, &k.CNT2RngReg,
        &k.CNT0CMP1, &k.CNT1CMP1, &k.CNT2CMP1, &k.CNT0CMP2, &k.CNT1CMP2, &k.CNT2CMP2})
    *f = v++;
  uint32_t b = 1;
  for (uint32_t* f :
       {&k.CNT0CWReg, &k.CNT1CWReg, &k.CNT2CWReg, &k.CNT0StatReg, &k.CNT1StatReg, &k.CNT2StatReg})
    *f = b++;
  for (uint8_t* f : {&k.CNTEnReg, &k.CMPEnReg, &k.CMPStatReg, &k.CMPClrReg, &k.XSTREnReg,
                     &k.XSTRStatusReg, &k.XSTRClrReg, &k.RTDOCfgReg})
    *f = static_cast<uint8_t>(b++);
  k.DINReg = 165;
  k.DOUTReg = 1;
  k.RTDOReg = 255;
  ShowAndClear();

  dialog->Timer1Timer();
  std::vector<int> order;
  for (int id = 24; id <= 58; ++id) order.push_back(id);
  EXPECT_EQ(rec->LabelWrites, order);
  for (int id = 24; id <= 41; ++id)
    EXPECT_EQ(dialog->LabelText(id), std::to_string(1000 + id - 24)) << id;
  for (int id = 42; id <= 55; ++id)
    EXPECT_EQ(dialog->LabelText(id), ByteToBin(static_cast<uint8_t>(id - 41))) << id;
  EXPECT_EQ(dialog->LabelText(56), "10100101  (165)");
  EXPECT_EQ(dialog->LabelText(57), "00000001  (1)");
  EXPECT_EQ(dialog->LabelText(58), "11111111  (255)");

  // Every cell at every tick, changed or not; the card text and caption stay.
  dialog->Timer1Timer();
  EXPECT_EQ(rec->LabelWrites.size(), 70u);
  EXPECT_EQ(rec->Caption, "  caption");
}

TEST_F(MonitorLogic, MinimisedWindowGoesOnRefreshing) {
  ShowAndClear();
  dialog->DriverProc(2, 0, 0, 0, 0);
  EXPECT_THAT(rec->Ops, ElementsAre("minimise"));
  dialog->Karta.CNT2CMP2 = 16777215;
  dialog->Timer1Timer();
  EXPECT_EQ(dialog->LabelText(41), "16777215");
}

TEST_F(MonitorLogic, UnknownCommandsDoNothing) {
  for (int32_t command : {6, 100, -1, INT32_MIN}) dialog->DriverProc(command, 1, 2, 3, 4);
  EXPECT_THAT(rec->Ops, IsEmpty());
  EXPECT_FALSE(dialog->Visible());
}

TEST_F(MonitorLogic, MinimiseWhileHiddenTakesEffectAtTheNextShowing) {
  dialog->DriverProc(2, 0, 0, 0, 0);
  EXPECT_FALSE(dialog->Visible());
  EXPECT_THAT(rec->Ops, IsEmpty());
  dialog->DriverProc(1, 0, 0, 0, 0);
  EXPECT_EQ(rec->Ops.back(), "show minimised");
  dialog->DriverProc(3, 0, 0, 0, 0);
  EXPECT_EQ(rec->Ops.back(), "normal");
}

TEST_F(MonitorLogic, HidingKeepsTheStateTheUserLeft) {
  ShowAndClear();
  rec->State = TWindowState::Minimised;  // the user's minimise button
  dialog->DriverProc(0, 0, 0, 0, 0);
  dialog->DriverProc(1, 0, 0, 0, 0);
  EXPECT_THAT(rec->Ops, ElementsAre("hide", "show minimised"));
  dialog->DriverProc(1, 0, 0, 0, 0);  // already visible: only to the front
  EXPECT_EQ(rec->Ops.back(), "raise");
}

TEST_F(MonitorLogic, FirstShowingCentresOnce) {
  rec->Bounds = {0, 0, 409, 487};
  dialog->DriverProc(1, 0, 0, 0, 0);
  EXPECT_THAT(rec->Ops, ElementsAre("bounds 307,140,409,487", "show normal"));
  dialog->DriverProc(5, 100, 50, 420, 500);
  dialog->DriverProc(0, 0, 0, 0, 0);
  rec->Ops.clear();
  dialog->DriverProc(1, 0, 0, 0, 0);
  EXPECT_THAT(rec->Ops, ElementsAre("show normal"));
  EXPECT_EQ(rec->Bounds.Left, 100);
  EXPECT_EQ(rec->Bounds.Top, 50);
}

// A toolkit still asking for its frame: the first showing waits for it, and centres with the
// outer size that it then gives, unless the host placed the window meanwhile.
TEST_F(MonitorLogic, FirstShowingWaitsForTheFrame) {
  rec->FrameSettled = false;
  dialog->DriverProc(1, 0, 0, 0, 0);
  dialog->DriverProc(2, 0, 0, 0, 0);
  EXPECT_THAT(rec->Ops, IsEmpty());
  rec->FrameSettled = true;
  rec->Bounds = {0, 0, 409, 487};
  rec->Events->OnFrameSettled();
  EXPECT_THAT(rec->Ops, ElementsAre("bounds 307,140,409,487", "show minimised"));

  g_recording = rec = std::make_shared<TRecording>();
  dialog = TDrvDialog::Create(&MakeRecording);
  rec->FrameSettled = false;
  dialog->DriverProc(1, 0, 0, 0, 0);
  dialog->DriverProc(5, 100, 50, 420, 500);
  rec->FrameSettled = true;
  rec->Events->OnFrameSettled();
  EXPECT_THAT(rec->Ops, ElementsAre("bounds 100,50,420,500", "show normal"));
}

TEST_F(MonitorLogic, BoundsBeforeFirstShowingKeepSizeButCentre) {
  dialog->DriverProc(5, 100, 50, 420, 500);
  dialog->DriverProc(1, 0, 0, 0, 0);
  EXPECT_THAT(rec->Ops,
              ElementsAre("bounds 100,50,420,500", "bounds 302,134,420,500", "show normal"));
}

TEST_F(MonitorLogic, CentringOfAWindowLargerThanTheScreenStopsAtZero) {
  dialog->DriverProc(5, 0, 0, 2001, 900);
  dialog->DriverProc(1, 0, 0, 0, 0);
  EXPECT_EQ(rec->Ops[1], "bounds 0,0,2001,900");
}

TEST_F(MonitorLogic, CentresOnAPrimaryMonitorAwayFromTheScreenOrigin) {
  rec->Screen = {1280, -200, 1024, 768};  // right of another monitor, and higher
  dialog->DriverProc(5, 0, 0, 409, 900);
  dialog->DriverProc(1, 0, 0, 0, 0);
  EXPECT_EQ(rec->Ops[1], "bounds 1587,-200,409,900");  // too tall: stops at the monitor's top
}

TEST_F(MonitorLogic, FocusOnlyWhenVisible) {
  dialog->DriverProc(4, 0, 0, 0, 0);
  EXPECT_THAT(rec->Ops, IsEmpty());
  ShowAndClear();
  dialog->DriverProc(4, 0, 0, 0, 0);
  EXPECT_THAT(rec->Ops, ElementsAre("focus"));
}

TEST_F(MonitorLogic, CloseIsRefusedAndDestructionFreesTheWindow) {
  EXPECT_FALSE(dialog->FormCloseQuery());
  dialog->SetCaption("x");
  EXPECT_EQ(dialog->Caption(), "x");
  dialog.reset();
  EXPECT_TRUE(rec->Destroyed);
}

std::unique_ptr<TMonitorToolkit> FailingToolkit(TToolkitEvents&) {
  return nullptr;
}
std::unique_ptr<TMonitorToolkit> ThrowingToolkit(TToolkitEvents&) {
  throw std::runtime_error("no display");
}

TEST(MonitorCreate, ToolkitFailureGivesNoWindow) {
  EXPECT_EQ(TDrvDialog::Create(&FailingToolkit), nullptr);
  EXPECT_EQ(TDrvDialog::Create(&ThrowingToolkit), nullptr);
}

}  // namespace
}  // namespace qv
