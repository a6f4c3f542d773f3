// What the tracing library needs from the operating system; one backend file per
// platform fills the single instance.
#pragma once

#include <cstddef>
#include <cstdint>
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

  // The trace file, opened to read and write, created when missing, never cut, and open to
  // other processes at the same time; nullptr with the system's reason in `error`.
  void* (*OpenFile)(const char* path, std::string* error);
  void (*CloseFile)(void* file);
  // Takes (`hold`) or gives back the file's lock, which the tracers of every process take
  // around each write; waits while another process holds it.
  void (*LockFile)(void* file, bool hold);
  // The file's length; -1 when it cannot be known.
  int64_t (*FileSize)(void* file);
  // Reads or writes exactly `size` bytes at `offset`; false on failure.
  bool (*ReadAt)(void* file, int64_t offset, char* data, std::size_t size);
  bool (*WriteAt)(void* file, int64_t offset, const char* data, std::size_t size);
};

extern const TracePlatform kTracePlatform;

}  // namespace qv::trace
