// Shared by the driver tests: parameter files in Windows-1250 and simulator journals.
#pragma once

#include <string>
#include <vector>

#include "config/texts.h"
#include "driver/host_abi.h"
#include "driver/instance.h"
#include "sim/ox952_sim.h"
#include "temp_dir.h"

namespace qvtest {

// A parameter file: the card section, the log section (which also holds the registers).
struct Ini {
  std::string card = "Automatická detekce=1\r\nBUS=0\r\nSLOT=0\r\nDemo režim=0\r\n";
  std::string log = "Povolen=0\r\n";
  std::string extra;

  std::string Bytes() const;
};

// Converts UTF-8 test text to the Windows-1250 bytes a parameter file holds.
std::string ToCp1250(const std::string& utf8);

inline qv::TData& Instance(PData p) {
  return *p;
}

// The simulator journal as readable calls, e.g. "OX952_Open(0,0)=0".
std::vector<std::string> Journal();
int CountCalls(OX952SimFunction f);

// Init through the export with a 256-byte error buffer; returns the result and the text.
struct InitOutcome {
  bool ok;
  std::string error;  // Windows-1250
};
InitOutcome CallInit(PData p, const std::string& path);

}  // namespace qvtest
