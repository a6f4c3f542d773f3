#include <cstdlib>

#include "config/env.h"

namespace qv {

bool ReadEnv(const char* name, std::string* value) {
  const char* text = std::getenv(name);
  if (text == nullptr) return false;
  *value = text;
  return true;
}

}  // namespace qv
