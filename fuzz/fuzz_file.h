// The scratch directory of one fuzzing process and its parameter file, rewritten per input.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qvfuzz {

// This process's own directory (under /dev/shm when there is one, else the temp dir),
// created on first use and removed when the process exits normally.
const std::string& ScratchDir();

// Writes the bytes to the same file in ScratchDir() on every call; returns its path.
const char* WriteScratchFile(const uint8_t* data, std::size_t size);

// Removes everything in ScratchDir() except the scratch file.
void ClearScratchDir();

}  // namespace qvfuzz
