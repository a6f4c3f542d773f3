// The GTK window lives in a module of its own beside the driver, which the driver loads when
// it first creates a window; this is the module's one entry point.
#pragma once

#include <cstdint>

#include "monitor/toolkit.h"

namespace qv {

// Raise it whenever toolkit.h or this record changes: driver and module must agree on both.
inline constexpr uint32_t kToolkitModuleAbi = 3;
inline constexpr char kGtkModuleFile[] = "libqv_lvk5120x_gtk.so";
inline constexpr char kToolkitModuleEntry[] = "qv_lvk5120x_toolkit_module";

struct TToolkitModule {
  // Creates the window, hidden, with its 100 ms timer on GLib's default main context; nullptr
  // when it cannot. The caller owns the result. Never throws.
  TMonitorToolkit* (*Create)(TToolkitEvents& events) = nullptr;
};

// Fills `module` and answers true when `abi` matches and the toolkit has a display to work on.
using TToolkitModuleEntry = bool (*)(uint32_t abi, TToolkitModule* module);

}  // namespace qv
