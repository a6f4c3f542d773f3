// Loading runs no driver code; unloading gives back the monitor's window class.
#include <windows.h>

#include "monitor/toolkit.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_DETACH) qv::ReleaseMonitorModule();
  return TRUE;
}
