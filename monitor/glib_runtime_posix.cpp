#include <dlfcn.h>

#include "monitor/glib_runtime.h"

namespace qv::glib {
namespace {

struct TGlib {
  unsigned (*timeout_add)(unsigned, TSourceFunc, void*) = nullptr;
  unsigned (*timeout_add_full)(int, unsigned, TSourceFunc, void*, void (*)(void*)) = nullptr;
  int (*source_remove)(unsigned) = nullptr;
  int (*iteration)(void*, int) = nullptr;
};

// Loaded once and never unloaded: the host or the GTK module may hold sources on it. GLib is
// the same library whoever loads it (one soname), so every caller shares one default context.
const TGlib& Glib() {
  static const TGlib glib = [] {
    TGlib g;
    void* lib = dlopen("libglib-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) return g;
    g.timeout_add = reinterpret_cast<decltype(g.timeout_add)>(dlsym(lib, "g_timeout_add"));
    g.timeout_add_full =
        reinterpret_cast<decltype(g.timeout_add_full)>(dlsym(lib, "g_timeout_add_full"));
    g.source_remove = reinterpret_cast<decltype(g.source_remove)>(dlsym(lib, "g_source_remove"));
    g.iteration = reinterpret_cast<decltype(g.iteration)>(dlsym(lib, "g_main_context_iteration"));
    if (g.timeout_add == nullptr || g.timeout_add_full == nullptr || g.source_remove == nullptr ||
        g.iteration == nullptr)
      g = {};
    return g;
  }();
  return glib;
}

}  // namespace

unsigned AddTimeout(unsigned interval_ms, TSourceFunc func, void* data) {
  return Glib().timeout_add != nullptr ? Glib().timeout_add(interval_ms, func, data) : 0;
}

unsigned AddTimeout(unsigned interval_ms, TSourceFunc func, void* data, void (*destroy)(void*)) {
  constexpr int kPriorityDefault = 0;  // G_PRIORITY_DEFAULT, as g_timeout_add uses
  return Glib().timeout_add_full != nullptr
             ? Glib().timeout_add_full(kPriorityDefault, interval_ms, func, data, destroy)
             : 0;
}

void RemoveSource(unsigned id) {
  if (id != 0 && Glib().source_remove != nullptr) Glib().source_remove(id);
}

void IterateDefaultContext() {
  if (Glib().iteration == nullptr) return;
  while (Glib().iteration(nullptr, 0) != 0) {
  }
}

}  // namespace qv::glib
