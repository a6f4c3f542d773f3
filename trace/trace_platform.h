// What the tracing library needs from the operating system; one backend file per
// platform fills the single instance.
#pragma once

#include <cstddef>
#include <string>

namespace qv::trace {

struct TracePlatform {
  // The folder this library was loaded from, ending in a path separator ("" if unknown).
  std::string (*OwnFolder)();
  // Loads the library at `path`; nullptr with the system's reason in `error` on failure.
  void* (*Load)(const char* path, std::string* error);
  // The address of the exported function `name` in a loaded library, or nullptr.
  void* (*Find)(void* library, const char* name);
  // Local date and time with milliseconds, always 23 characters: "2026-07-12 13:05:28.123".
  void (*Now)(char* out, std::size_t size);
  // This process's ID.
  unsigned long (*ProcessId)();
};

extern const TracePlatform kTracePlatform;

}  // namespace qv::trace
