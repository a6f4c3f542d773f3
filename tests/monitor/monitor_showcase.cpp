// Shows the monitor window with sample values for a while, so that it can be photographed.
// Usage: monitor_showcase [seconds]   (default 5)
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "host/pump.h"
#include "monitor/drv_dialog.h"
#include "showcase_values.h"

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 5;
  auto dialog = qv::TDrvDialog::Create();
  if (!dialog) {
    std::fputs("monitor_showcase: cannot create the window\n", stderr);
    return 1;
  }
  qv::testing::FillSample(dialog->Karta, dialog->CFGData);
  dialog->InitDialog();
  dialog->SetCaption(qv::CompletedCaption(dialog->Caption(), dialog->CFGData));
  dialog->DriverProc(1, 0, 0, 0, 0);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (std::chrono::steady_clock::now() < end) {
    qv::PumpWindowMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return 0;
}
