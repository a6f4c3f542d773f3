// Loading the driver library by path and finding its functions by name.
#pragma once

#include <string>

namespace qvhost {

class Library {
 public:
  // Loads the library at `path` (a bare file name is looked up as the system looks up a
  // library imported by name); on failure Loaded() is false and Error() says why, in words.
  // By default as a host that calls plain LoadLibrary: the libraries that it imports are
  // looked up in the program's folder, the system folders, the current folder and PATH.
  // With `altered` (Windows: LOAD_WITH_ALTERED_SEARCH_PATH), the library's own folder
  // comes first instead of the program's. Linux has one way: the library's RUNPATH.
  explicit Library(const std::string& path, bool altered = false);
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

// The file of the card library that is loaded in this process, or "" when none is.
std::string LoadedCardLibraryPath();

// The folder of the running program.
std::string ProgramFolder();

// Where the system found the library at `path` when it searched for the card library:
// "qvhost's folder", "the driver's folder" (beside `driver`), "a system folder", "the
// current folder", "a folder on PATH", or "" when none of these holds it.
std::string FoundIn(const std::string& path, const std::string& driver, bool altered);

// True when the two paths name the same file or folder (case-insensitively on Windows).
bool SamePath(const std::string& a, const std::string& b);

// True where a host may load the driver in two ways that find its imports in different
// folders (Windows: plainly, or with the altered search path).
bool TwoWaysOfLoading();

// The function `name` of the card library that a loaded driver imported (nullptr when it
// has none, or none is loaded).
void* LoadedCardLibraryFunction(const char* name);

// The file that the driver's parameter-file reader reads for `path`: on Windows the profile
// functions look a name without a folder up in the Windows folder; elsewhere `path` itself.
std::string ProfileFilePath(const std::string& path);

// True when a file (of any kind) exists at `path`.
bool FileExists(const std::string& path);

// Sets the variable in this process's environment, where the libraries it loads read it.
void SetEnvironment(const char* name, const char* value);

// Standard output passes bytes unchanged (no CR added before LF).
void BinaryStdout();

// Sleeps for about `ms` milliseconds.
void SleepMs(int ms);

}  // namespace qvhost
