// The window without a display: keeps every state and text of the layout, draws nothing.
#pragma once

#include <memory>

#include "monitor/toolkit.h"

namespace qv {

// Its timer is a GLib timeout on the default main context (GLib loaded at run time), so it
// ticks whenever the thread pumps that context (PumpWindowMessages), like the GTK window's.
std::unique_ptr<TMonitorToolkit> CreateOffscreenToolkit(TToolkitEvents& events);

inline constexpr int kOffscreenScreenWidth = 1024;
inline constexpr int kOffscreenScreenHeight = 768;

}  // namespace qv
