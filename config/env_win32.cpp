#include <windows.h>

#include "config/env.h"

namespace qv {

bool ReadEnv(const char* name, std::string* value) {
  char buffer[1024];
  const DWORD n = GetEnvironmentVariableA(name, buffer, sizeof buffer);
  if (n == 0 || n >= sizeof buffer) return false;  // absent, or longer than any path we use
  value->assign(buffer, n);
  return true;
}

}  // namespace qv
