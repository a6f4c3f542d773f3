// Reading the process environment, shared by the simulator and the tracing library.
#pragma once

#include <string>

namespace qv::trace {

// True with the variable's value when the process environment has `name`.
bool ReadEnv(const char* name, std::string* value);

}  // namespace qv::trace
