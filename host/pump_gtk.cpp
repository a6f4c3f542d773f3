#include "host/pump.h"
#include "monitor/glib_runtime.h"

namespace qv {

// The GTK module and the off-screen window both run on GLib's default main context.
void PumpWindowMessages() {
  glib::IterateDefaultContext();
}

}  // namespace qv
