// qvhost --check FILE: reads a parameter file as the driver does (no card, no window, no
// log written) and says, key by key, what the driver would make of it, then adds what the
// driver cannot see: text in the wrong code page, keys written twice or in a section where
// they are not read, and a log folder that cannot be written.
#pragma once

#include <string>

namespace qvhost {

// Prints the report for the parameter file at `path` (used unchanged, as the driver does).
// Returns 0 when the driver would accept the file, 1 otherwise.
int CheckFile(const std::string& path);

}  // namespace qvhost
