#include "fuzz_file.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

namespace qvfuzz {
namespace {

namespace fs = std::filesystem;

struct Scratch {
  fs::path dir;
  std::string file;

  Scratch() {
    std::error_code ec;
    const fs::path shm = "/dev/shm";
    const fs::path root = fs::is_directory(shm, ec) ? shm : fs::temp_directory_path();
    dir = root / ("qv-fuzz-" + std::to_string(getpid()));
    fs::create_directories(dir, ec);
    if (ec) {
      std::fprintf(stderr, "fuzz: cannot create %s\n", dir.c_str());
      std::abort();
    }
    file = (dir / "input.ini").string();
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
};

Scratch& TheScratch() {
  static Scratch scratch;
  return scratch;
}

}  // namespace

const std::string& ScratchDir() {
  static const std::string dir = TheScratch().dir.string();
  return dir;
}

const char* WriteScratchFile(const uint8_t* data, std::size_t size) {
  const std::string& path = TheScratch().file;
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr || (size > 0 && std::fwrite(data, 1, size, f) != size) || std::fclose(f) != 0) {
    std::fprintf(stderr, "fuzz: cannot write %s\n", path.c_str());
    std::abort();
  }
  return path.c_str();
}

void ClearScratchDir() {
  Scratch& s = TheScratch();
  std::error_code ec;
  for (fs::directory_iterator it(s.dir, ec), end; !ec && it != end; it.increment(ec)) {
    if (it->path() == s.file) continue;
    std::error_code ignored;
    fs::remove_all(it->path(), ignored);
  }
}

}  // namespace qvfuzz
