#include <windows.h>

#include "tests/config/test_files.h"

namespace qv::test {

// Open for writing with read sharing only, as the log writer opens it.
HeldWriter::HeldWriter(const std::string& path) {
  const HANDLE h = CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return;
  handle_ = reinterpret_cast<intptr_t>(h);
  held_ = true;
}

HeldWriter::~HeldWriter() {
  if (held_) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

}  // namespace qv::test
