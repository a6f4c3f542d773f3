// The monitor window on Linux: the GTK 3 module beside the driver when it can serve, the
// off-screen window otherwise. The driver links no toolkit, so a host without GTK (or with
// another GTK) can still load it.
#include <dlfcn.h>
#include <link.h>

#include <climits>
#include <cstdlib>
#include <memory>
#include <string>

#include "monitor/toolkit.h"
#include "monitor/toolkit_module.h"
#include "monitor/toolkit_offscreen.h"

namespace qv {
namespace {

const int kModuleAnchor = 0;  // any address inside this library (or program) identifies it

// The folder of the library that holds this code, as the dynamic loader resolved it (so
// neither the working directory nor a dlopen interposer such as ASan's run-time changes it).
std::string OwnFolder() {
  Dl_info info{};
  link_map* map = nullptr;
  if (dladdr1(&kModuleAnchor, &info, reinterpret_cast<void**>(&map), RTLD_DL_LINKMAP) == 0 ||
      map == nullptr)
    return {};
  char origin[PATH_MAX + 1] = {};
  if (dlinfo(map, RTLD_DI_ORIGIN, origin) != 0) return {};
  return origin;
}

bool HasDisplay() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != 0) return true;
  }
  return false;
}

// Two GTK major versions cannot share a process: their symbols and types clash.
bool OtherGtkInProcess() {
  using TMajorVersion = unsigned (*)();
  if (auto major = reinterpret_cast<TMajorVersion>(dlsym(RTLD_DEFAULT, "gtk_get_major_version")))
    return major() != 3;
  // Loaded privately (RTLD_LOCAL) by the host, or GTK 2, which has no such function.
  for (const char* other : {"libgtk-4.so.1", "libgtk-x11-2.0.so.0"}) {
    if (void* lib = dlopen(other, RTLD_LAZY | RTLD_NOLOAD)) {
      dlclose(lib);  // only drops the reference that RTLD_NOLOAD took
      return true;
    }
  }
  return false;
}

const TToolkitModule* LoadGtkModule() {
  if (!HasDisplay() || OtherGtkInProcess()) return nullptr;
  const std::string folder = OwnFolder();
  if (folder.empty()) return nullptr;
  void* lib = dlopen((folder + "/" + kGtkModuleFile).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (lib == nullptr) return nullptr;
  // Never closed, even when it declines: GTK cannot be unloaded safely once initialised, and
  // windows of it may live until the process ends.
  const auto entry = reinterpret_cast<TToolkitModuleEntry>(dlsym(lib, kToolkitModuleEntry));
  static TToolkitModule module;
  if (entry == nullptr || !entry(kToolkitModuleAbi, &module) || module.Create == nullptr)
    return nullptr;
  return &module;
}

}  // namespace

std::unique_ptr<TMonitorToolkit> CreateToolkit(TToolkitEvents& events) {
  static const TToolkitModule* const gtk = LoadGtkModule();
  if (gtk == nullptr) return CreateOffscreenToolkit(events);
  return std::unique_ptr<TMonitorToolkit>(gtk->Create(events));
}

}  // namespace qv
