// Loading the driver library by path and finding its functions by name.
#pragma once

#include <string>

namespace qvhost {

class Library {
 public:
  // Loads the library at `path`; on failure Loaded() is false and Error() says why. With
  // `search`, `path` is a bare file name looked up as the system looks up a library
  // that a program or library imports by name.
  explicit Library(const std::string& path, bool search = false);
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  bool Loaded() const { return handle_ != nullptr; }
  const std::string& Error() const { return error_; }
  // The address of the exported function `name`, or nullptr.
  void* Find(const char* name) const;
  // The file the library was loaded from, as the system reports it.
  std::string Path() const;

 private:
  void* handle_ = nullptr;
  std::string error_;
};

// The driver built beside this program.
std::string DefaultDriverPath(const char* argv0);

// The file `name` in the folder that holds the file `path`.
std::string Beside(const std::string& path, const char* name);

// The card library's file name, as the driver imports it.
const char* CardLibraryFileName();

// The function `name` of the card library that a loaded driver imported (nullptr when it
// has none, or none is loaded).
void* LoadedCardLibraryFunction(const char* name);

// True when a file (of any kind) exists at `path`.
bool FileExists(const std::string& path);

// Sets the variable in this process's environment, where the libraries it loads read it.
void SetEnvironment(const char* name, const char* value);

// Standard output passes bytes unchanged (no CR added before LF).
void BinaryStdout();

// Sleeps for about `ms` milliseconds.
void SleepMs(int ms);

}  // namespace qvhost
