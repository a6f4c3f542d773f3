// Temporary files for the config tests: one fresh directory per test, removed afterwards.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <string_view>

namespace qv::test {

class TempDir {
 public:
  TempDir() {
    std::random_device rd;
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
      path_ = base / ("qv_config_" + std::to_string(rd()) + std::to_string(rd()));
      if (std::filesystem::create_directory(path_)) break;
    }
  }
  ~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  std::string Path(std::string_view name) const { return (path_ / name).string(); }

  // Writes `bytes` exactly and returns the file's path.
  std::string Write(std::string_view name, std::string_view bytes) const {
    const std::string p = Path(name);
    std::ofstream(p, std::ios::binary).write(bytes.data(), std::streamsize(bytes.size()));
    return p;
  }

 private:
  std::filesystem::path path_;
};

inline std::string ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Holds `path` open as a second log writer would (another instance or process) until
// destroyed; held() tells whether that worked. Defined per platform.
class HeldWriter {
 public:
  explicit HeldWriter(const std::string& path);
  ~HeldWriter();
  HeldWriter(const HeldWriter&) = delete;
  HeldWriter& operator=(const HeldWriter&) = delete;
  bool held() const { return held_; }

 private:
  intptr_t handle_ = 0;
  bool held_ = false;
};

}  // namespace qv::test
