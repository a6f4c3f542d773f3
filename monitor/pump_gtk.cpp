#include <glib.h>

#include "monitor/pump.h"

namespace qv {

void PumpWindowMessages() {
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
}

}  // namespace qv
