// The real Win32 window, in process: caption, cell texts read back from the child windows,
// refused close requests, the disabled Close command and the bounds of command 5.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <thread>

#include "host/pump.h"
#include "monitor/drv_dialog.h"
#include "showcase_values.h"
#include "tests/support/pump_until.h"

namespace qv {
namespace {

using qvtest::PumpUntil;

constexpr int kControlIdBase = 1000;

std::wstring TextOf(HWND hwnd) {
  wchar_t buffer[256] = {};
  GetWindowTextW(hwnd, buffer, 256);
  return buffer;
}

std::wstring Shown(HWND window, int label) {
  HWND child = GetDlgItem(window, kControlIdBase + label);
  return child != nullptr ? TextOf(child) : L"<missing>";
}

class MonitorWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    dialog = TDrvDialog::Create();
    ASSERT_NE(dialog, nullptr);
    hwnd = static_cast<HWND>(dialog->NativeHandle());
    ASSERT_NE(hwnd, nullptr);
    testing::FillSample(dialog->Karta, dialog->CFGData);
    dialog->InitDialog();
    dialog->SetCaption(CompletedCaption(dialog->Caption(), dialog->CFGData));
  }
  std::unique_ptr<TDrvDialog> dialog;
  HWND hwnd = nullptr;
};

TEST_F(MonitorWin32, WindowPropertiesAndTexts) {
  EXPECT_FALSE(IsWindowVisible(hwnd));
  EXPECT_EQ(GetWindow(hwnd, GW_OWNER), nullptr);
  const LONG style = GetWindowLongW(hwnd, GWL_STYLE);
  EXPECT_TRUE(style & WS_MINIMIZEBOX);
  EXPECT_FALSE(style & WS_MAXIMIZEBOX);
  EXPECT_FALSE(style & WS_THICKFRAME);
  RECT client{};
  GetClientRect(hwnd, &client);
  EXPECT_EQ(client.right, 401);
  EXPECT_EQ(client.bottom, 458);

  EXPECT_EQ(TextOf(hwnd), L"  LVK-5120x - QV ovlada\u010d (2/13)");
  EXPECT_EQ(Shown(hwnd, 59), L"QV ovlada\u010d LVK-5120x");
  EXPECT_EQ(Shown(hwnd, 15), L"LVK-5120B  (2/13)");
  EXPECT_EQ(Shown(hwnd, 60), L"v.1.00");
  EXPECT_EQ(Shown(hwnd, kControlIdBase), L"<missing>");
  EXPECT_EQ(TextOf(GetDlgItem(hwnd, kControlIdBase + 61)), L" Hodnoty registr\u016f ");
  EXPECT_EQ(Shown(hwnd, 24), L"0");

  dialog->DriverProc(1, 0, 0, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return Shown(hwnd, 58) == L"11111111  (255)"; }));
  EXPECT_EQ(Shown(hwnd, 24), L"16777215");
  EXPECT_EQ(Shown(hwnd, 28), L"99999");
  EXPECT_EQ(Shown(hwnd, 41), L"16000000");
  EXPECT_EQ(Shown(hwnd, 42), L"00001010");
  EXPECT_EQ(Shown(hwnd, 51), L"00000000");
  EXPECT_EQ(Shown(hwnd, 56), L"10100101  (165)");
  for (int id = 24; id <= 58; ++id) {
    const std::string expected = dialog->LabelText(id);
    EXPECT_EQ(Shown(hwnd, id), std::wstring(expected.begin(), expected.end())) << id;
  }
  // An auto-width label is as wide as its text, and no wider than the group box.
  RECT cell{};
  GetWindowRect(GetDlgItem(hwnd, kControlIdBase + 56), &cell);
  EXPECT_GT(cell.right - cell.left, 20);
  EXPECT_LT(cell.right - cell.left, 110);
}

TEST_F(MonitorWin32, CloseIsRefusedAndDisabled) {
  dialog->DriverProc(1, 0, 0, 0, 0);
  HMENU menu = GetSystemMenu(hwnd, FALSE);
  ASSERT_NE(menu, nullptr);
  EXPECT_EQ(GetMenuState(menu, SC_CLOSE, MF_BYCOMMAND) & (MF_DISABLED | MF_GRAYED),
            static_cast<UINT>(MF_DISABLED));
  SendMessageW(hwnd, WM_CLOSE, 0, 0);
  SendMessageW(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0);
  PumpWindowMessages();
  EXPECT_TRUE(IsWindow(hwnd));
  EXPECT_TRUE(IsWindowVisible(hwnd));
}

TEST_F(MonitorWin32, FirstShowingCentresAndCommandFivePlaces) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  const int width = r.right - r.left, height = r.bottom - r.top;
  dialog->DriverProc(1, 0, 0, 0, 0);
  GetWindowRect(hwnd, &r);
  EXPECT_EQ(r.left, (GetSystemMetrics(SM_CXSCREEN) - width) / 2);
  EXPECT_EQ(r.top, (GetSystemMetrics(SM_CYSCREEN) - height) / 2);

  dialog->DriverProc(5, 100, 50, 420, 500);
  dialog->DriverProc(0, 0, 0, 0, 0);
  EXPECT_FALSE(IsWindowVisible(hwnd));
  dialog->DriverProc(1, 0, 0, 0, 0);
  GetWindowRect(hwnd, &r);
  EXPECT_EQ(r.left, 100);
  EXPECT_EQ(r.top, 50);
  EXPECT_EQ(r.right, 520);
  EXPECT_EQ(r.bottom, 550);
}

TEST_F(MonitorWin32, MinimiseWhileHiddenThenShowThenRestore) {
  dialog->DriverProc(2, 0, 0, 0, 0);
  EXPECT_FALSE(IsWindowVisible(hwnd));
  dialog->DriverProc(1, 0, 0, 0, 0);
  EXPECT_TRUE(IsWindowVisible(hwnd));
  EXPECT_TRUE(IsIconic(hwnd));
  dialog->DriverProc(3, 0, 0, 0, 0);
  EXPECT_FALSE(IsIconic(hwnd));
  dialog->DriverProc(4, 0, 0, 0, 0);  // focusing a visible window must not disturb anything
  EXPECT_TRUE(IsWindowVisible(hwnd));
}

// The window's owner is a device thread that pumps no messages while the host commands the
// window from its own thread: no command waits for the owner, each takes effect at the owner's
// next pump, and a window destroyed from the host's thread goes with the owner's next pump.
TEST(MonitorWin32Module, CommandsFromAnotherThreadNeverWaitForTheOwner) {
  std::unique_ptr<TDrvDialog> dialog;
  HWND hwnd = nullptr;
  HANDLE created = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE commanded = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE settled = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE destroyed = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  bool waited_for_owner = false;
  bool placed = false;
  bool window_gone = false;
  std::thread device([&] {
    dialog = TDrvDialog::Create();
    if (dialog) hwnd = static_cast<HWND>(dialog->NativeHandle());
    SetEvent(created);
    // Cycling, no pumping; a blocked command would get its answer only after 20 s.
    if (WaitForSingleObject(commanded, 20000) != WAIT_OBJECT_0) {
      waited_for_owner = true;
      PumpUntil([&] { return WaitForSingleObject(commanded, 0) == WAIT_OBJECT_0; });
    }
    placed = PumpUntil([&] {
      RECT r{};
      GetWindowRect(hwnd, &r);
      return IsWindowVisible(hwnd) && r.left == 30 && r.top == 40 && r.right == 30 + 420;
    });
    SetEvent(settled);
    WaitForSingleObject(destroyed, INFINITE);
    window_gone = PumpUntil([&] { return IsWindow(hwnd) == FALSE; });
  });
  WaitForSingleObject(created, INFINITE);
  if (dialog) {
    dialog->DriverProc(1, 0, 0, 0, 0);
    dialog->DriverProc(5, 30, 40, 420, 500);
    dialog->DriverProc(4, 0, 0, 0, 0);
    dialog->DriverProc(2, 0, 0, 0, 0);
    dialog->DriverProc(3, 0, 0, 0, 0);
  }
  SetEvent(commanded);
  WaitForSingleObject(settled, INFINITE);  // showing and placing are the owner's to do
  dialog.reset();
  SetEvent(destroyed);
  device.join();
  for (HANDLE h : {created, commanded, settled, destroyed}) CloseHandle(h);
  ASSERT_NE(hwnd, nullptr);
  EXPECT_FALSE(waited_for_owner) << "a command waited for the window's owner";
  EXPECT_TRUE(placed);
  EXPECT_TRUE(window_gone);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  EXPECT_FALSE(GetClassInfoExW(GetModuleHandleW(nullptr), L"Qv_lvk5120x.TDrvDialog", &wc));
}

TEST(MonitorWin32Module, ClassIsReleasedWithTheLastWindow) {
  HINSTANCE exe = GetModuleHandleW(nullptr);
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  {
    auto dialog = TDrvDialog::Create();
    ASSERT_NE(dialog, nullptr);
    wchar_t name[64] = {};
    GetClassNameW(static_cast<HWND>(dialog->NativeHandle()), name, 64);
    EXPECT_TRUE(GetClassInfoExW(exe, name, &wc));
  }
  EXPECT_FALSE(GetClassInfoExW(exe, L"Qv_lvk5120x.TDrvDialog", &wc));
  EXPECT_NE(TDrvDialog::Create(), nullptr);  // registered again on demand
}

}  // namespace
}  // namespace qv
