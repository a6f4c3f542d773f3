// Reading the process environment: the settings (VODRA_OX952_*) of the card simulator and of
// the tracing card library. Platform backend.
#pragma once

#include <string>

namespace qv {

// True with the variable's value when the process environment has `name`.
bool ReadEnv(const char* name, std::string* value);

}  // namespace qv
