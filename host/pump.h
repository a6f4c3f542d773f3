// Runs the calling thread's pending window messages and timer events, without blocking.
#pragma once

namespace qv {

// Win32: the thread's message queue (a WM_QUIT found there is posted again and ends the pump);
// elsewhere: the default GLib main context, which the monitor window's timer uses.
void PumpWindowMessages();

}  // namespace qv
