// Init through the exports on arbitrary parameter files, against the simulated card library,
// then one exchange cycle, Done and DisposeDriver. The error buffer's size comes from the
// input and guard bytes surround it; no card may stay open after Done.
//
// Input: two bytes of error-buffer length (little endian, up to 4096), one byte of options
// (bits 0-1: the simulated system; bit 2: Init twice), then the parameter file. Every "/" in
// the file becomes "_", so that a log file name cannot leave the scratch directory.
#include <fcntl.h>   // open
#include <stdlib.h>  // setenv, unsetenv
#include <unistd.h>  // chdir, fchdir

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "card/our_libraries.h"
#include "driver/host_abi.h"
#include "driver/instance.h"
#include "fuzz_file.h"
#include "sim/ox952_sim.h"

namespace {

constexpr std::size_t kHeader = 3;
constexpr std::size_t kGuard = 32;
constexpr unsigned char kFill = 0xA5;

// The simulated systems: the default single card, none, several with one of the family in
// use, and a library whose enumeration throws.
const char* const kSystems[] = {
    nullptr,
    "# no cards\n",
    "card 513 1 4\ncard 512 2 13\ncard 0x210 3 1 in-use\ncard 530 0 0\n",
    "card 528 2 13\nraise cpp-exception 1\n",
};

void Fail(const char* what) {
  std::fprintf(stderr, "fuzz_init: %s\n", what);
  std::abort();
}

// Init with an error buffer of `error_max` + 1 bytes followed by guard bytes.
bool CheckedInit(PData p, const char* path, uint32_t error_max) {
  static std::vector<unsigned char> buffer;
  buffer.assign(error_max + 1 + kGuard, kFill);
  char* error = reinterpret_cast<char*>(buffer.data());
  const bool ok = Init(p, 0, path, error_max, error, 6, 7, 8, 9) != 0;
  std::size_t end = 0;  // first byte the driver may not have written
  if (!ok) {
    const void* zero = std::memchr(error, '\0', error_max + 1);
    if (zero == nullptr) Fail("no terminator within the error buffer");
    end = static_cast<std::size_t>(static_cast<const char*>(zero) - error) + 1;
  }
  for (std::size_t i = end; i < buffer.size(); ++i)
    if (buffer[i] != kFill)
      Fail(ok ? "a successful Init wrote into the error buffer" : "wrote past the error text");
  return ok;
}

void ExchangeCycle(PData p, const uint8_t* data, std::size_t size) {
  InputRequestCompleted(p);
  for (uint32_t ch = 0; ch <= 70; ++ch) {
    THostValue v{ch >= 40 && ch <= 47 ? kKindBoolean : kKindInteger, 0x77};
    GetInput(p, ch, &v);
  }
  for (std::size_t i = 0; i + 1 < size && i < 32; i += 2) {
    const uint32_t channel = data[i] % 72;
    const int32_t kind = (data[i] & 0x80) != 0 ? kKindBoolean : kKindInteger;
    OutputRequest(p, channel, kind, static_cast<uintptr_t>(data[i + 1]) * 0x01010101u);
  }
  OutputRequestCompleted(p);
}

// The directory the fuzzer was started in: its corpus and artifact paths are relative to it.
int g_start_dir = -1;

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // This program, not the driver, picks its environment: the off-screen monitor window,
  // the default simulated card (asked for) and no trace.
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  unsetenv("VODRA_OX952_SIM");
  setenv(QV_SIM_DEFAULT_VARIABLE, "1", 1);
  unsetenv("VODRA_OX952_TRACE");
  g_start_dir = open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (g_start_dir < 0) Fail("cannot open the current directory");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < kHeader) return -1;
  const uint32_t error_max = (data[0] | (static_cast<uint32_t>(data[1]) << 8)) % 4097u;
  const uint8_t options = data[2];
  std::string file(reinterpret_cast<const char*>(data + kHeader), size - kHeader);
  for (char& c : file)
    if (c == '/') c = '_';

  if (const char* system = kSystems[options & 3]) {
    OX952Sim_Configure(system);
  } else {
    OX952Sim_Reset();
  }
  const char* path =
      qvfuzz::WriteScratchFile(reinterpret_cast<const uint8_t*>(file.data()), file.size());

  // Log files land in the scratch directory for the time of one input.
  if (chdir(qvfuzz::ScratchDir().c_str()) != 0) Fail("cannot enter the scratch directory");
  PData p = MakeDriver();
  if (p == nullptr) Fail("MakeDriver returned nothing");
  bool ok = CheckedInit(p, path, error_max);
  if ((options & 4) != 0) ok = CheckedInit(p, path, error_max);
  if (ok) ExchangeCycle(p, data + kHeader, size - kHeader);
  Done(p);
  if (OX952Sim_OpenCardCount() != 0) Fail("a card is still open after Done");
  DisposeDriver(p);
  qvfuzz::ClearScratchDir();
  if (fchdir(g_start_dir) != 0) Fail("cannot return to the start directory");
  return 0;
}
