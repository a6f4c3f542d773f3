// Profile reading on Windows: the system's own private-profile reader.
#include <windows.h>

#include <string>

#include "config/profile.h"

namespace qv {

std::size_t ReadProfileString(const char* path, std::string_view section, std::string_view key,
                              std::string_view def, char* out, std::size_t size) {
  if (out == nullptr || size == 0) return 0;
  // An empty name would make Windows read win.ini instead; a null one would enumerate.
  if (path == nullptr || path[0] == '\0') return CopyProfileResult(def, true, out, size);
  const std::string section_z(section), key_z(key), def_z(def);
  const DWORD capacity = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<DWORD>(size);
  return GetPrivateProfileStringA(section_z.c_str(), key_z.c_str(), def_z.c_str(), out, capacity,
                                  path);
}

}  // namespace qv
