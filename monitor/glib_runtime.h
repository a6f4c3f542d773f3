// The default GLib main context, reached at run time: the off-screen window's timer and the
// pump use it without linking GLib, so the driver imposes no GLib on its host.
#pragma once

namespace qv::glib {

using TSourceFunc = int (*)(void* data);  // GLib's GSourceFunc: nonzero keeps the source

// A timeout on the default main context; 0 when GLib is not on the machine.
unsigned AddTimeout(unsigned interval_ms, TSourceFunc func, void* data);
// The same, with `destroy` called on `data` once the source is gone (after any dispatch).
unsigned AddTimeout(unsigned interval_ms, TSourceFunc func, void* data, void (*destroy)(void*));
void RemoveSource(unsigned id);
// Dispatches what is pending on the default main context, without blocking.
void IterateDefaultContext();

}  // namespace qv::glib
