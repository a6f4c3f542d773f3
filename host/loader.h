// Loading the driver library by path and finding its functions by name.
#pragma once

#include <string>

namespace qvhost {

class Library {
 public:
  // Loads the library at `path`; on failure Loaded() is false and Error() says why.
  explicit Library(const std::string& path);
  ~Library();
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  bool Loaded() const { return handle_ != nullptr; }
  const std::string& Error() const { return error_; }
  // The address of the exported function `name`, or nullptr.
  void* Find(const char* name) const;

 private:
  void* handle_ = nullptr;
  std::string error_;
};

// The driver built beside this program.
std::string DefaultDriverPath(const char* argv0);

// Sleeps for about `ms` milliseconds.
void SleepMs(int ms);

}  // namespace qvhost
