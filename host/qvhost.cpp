// qvhost: plays the QV host. Loads the driver by path, resolves its 18 functions, runs an
// instance from a parameter file through the host's cycle and prints what it sees.
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "card/our_libraries.h"
#include "config/cp1250.h"
#include "driver/channels.h"
#include "driver/host_abi.h"
#include "driver/product_version.h"
#include "host/check_file.h"
#include "host/list_cards.h"
#include "host/loader.h"
#include "host/pump.h"
#include "host/trace_runs.h"
#include "monitor/drv_dialog.h"

namespace {

// The driver's functions, bound by name.
struct Exports {
// NOLINTNEXTLINE(bugprone-macro-parentheses): a member's name, not an expression
#define QV_POINTER(result, name, parameters) decltype(&::name) name = nullptr;
  QV_HOST_FUNCTIONS(QV_POINTER)
#undef QV_POINTER
};

template <typename F>
bool Resolve(const qvhost::Library& lib, const char* name, F& fn) {
  fn = reinterpret_cast<F>(lib.Find(name));
  if (fn == nullptr) std::fprintf(stderr, "qvhost: the driver does not export %s\n", name);
  return fn != nullptr;
}

bool ResolveAll(const qvhost::Library& lib, Exports& e) {
  bool ok = true;
#define QV_RESOLVE(result, name, parameters) ok = Resolve(lib, #name, e.name) && ok;
  QV_HOST_FUNCTIONS(QV_RESOLVE)
#undef QV_RESOLVE
  return ok;
}

struct Output {
  uint32_t channel;
  int32_t kind;
  uint32_t value;
};

struct Options {
  std::string driver;
  std::string card_library;
  std::string ini;
  int cycles = 0;
  int period_ms = 100;
  bool monitor = false;
  bool altered = false;
  std::vector<Output> outputs;
  bool list_cards = false;
  bool ini_template = false;
  std::string check;
  std::string trace_runs;
};

void Usage(FILE* to) {
  std::fputs(
      "usage: qvhost --ini FILE [options]\n"
      "       qvhost --list-cards [--ini-template] [--driver PATH] [--card-library PATH]\n"
      "                           [--altered-search-path]\n"
      "       qvhost --check FILE\n"
      "       qvhost --trace-runs FILE\n"
      "       qvhost --version\n"
      "Loads the QV driver, initialises one instance from the parameter FILE and runs the\n"
      "host's cycle against whatever card library stands behind the driver.\n"
      "\n"
      "  --ini FILE         parameter file (Windows-1250 INI)\n"
      "  --driver PATH      driver library (default: the one beside qvhost)\n"
      "  --card-library PATH\n"
      "                     card library to use instead of the one the driver finds: loaded\n"
      "                     first, so that the driver's import binds to it. The way to run on\n"
      "                     the card simulator (simulator/ in the package): qvhost sets\n"
      "                     VODRA_OX952_SIM_DEFAULT=1, which lets its card through\n"
      "  --cycles N         host cycles to run (default 0: initialise and finish)\n"
      "  --period MS        time between cycles in milliseconds (default 100)\n"
      "  --out CH=VALUE     write VALUE to output channel CH every cycle; repeatable.\n"
      "                     Channels 50-57 and 60-67 take 0 or 1; VALUE may be 0x...\n"
      "  --monitor          show the driver's register monitor window during the cycles\n"
      "  --altered-search-path\n"
      "                     load the driver as a host that uses LOAD_WITH_ALTERED_SEARCH_PATH\n"
      "                     does: the driver's own folder is searched for the card library\n"
      "                     (default: as a plain LoadLibrary, which searches qvhost's folder,\n"
      "                     the system folders, the current folder and PATH); Windows only\n"
      "  --version          qvhost's version\n"
      "  --help             this text\n"
      "\n"
      "  --list-cards       list the cards that the driver's card library reports (device ID,\n"
      "                     model, bus, slot, free or in use); touches no register\n"
      "  --ini-template     with --list-cards: write a parameter file for the first free\n"
      "                     card to stdout (Windows-1250, CR LF), the list to stderr\n"
      "  --check FILE       read a parameter file as the driver does and report every key,\n"
      "                     every problem and the driver's verdict; no card, no log\n"
      "  --trace-runs FILE  list the runs of a card library trace (VODRA_OX952_TRACE): each\n"
      "                     one's number for VODRA_OX952_REPLAY_RUN, process, start, lines,\n"
      "                     calls and how it ended\n"
      "Exit status: 0 success, 1 the driver could not be loaded or initialised (--list-cards:\n"
      "no free card; --check: the driver would refuse the file; --trace-runs: no run), 2 usage,\n"
      "3 the simulator's replay of a trace (VODRA_OX952_REPLAY) reported a difference.\n",
      to);
}

bool ParseOut(const char* arg, Output& out) {
  char* end = nullptr;
  const unsigned long ch = std::strtoul(arg, &end, 10);
  if (end == arg || *end != '=') return false;
  const char* v = end + 1;
  const long long value = std::strtoll(v, &end, 0);
  if (end == v || *end != '\0') return false;
  const qv::ChannelRow* row = qv::FindChannel(static_cast<uint32_t>(ch));
  if (row == nullptr || row->direction != qv::Direction::Output) return false;
  out = {static_cast<uint32_t>(ch), row->Kind(), static_cast<uint32_t>(value)};
  return true;
}

int ParseArgs(int argc, char** argv, Options& o) {
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    const bool has_value = i + 1 < argc;
    if (a == "--help" || a == "-h") {
      Usage(stdout);
      std::exit(0);
    } else if (a == "--version") {
      std::puts("qvhost (Qv_lvk5120x) " QV_VERSION_TEXT);
      std::exit(0);
    } else if (a == "--altered-search-path") {
      o.altered = true;
    } else if (a == "--ini" && has_value) {
      o.ini = argv[++i];
    } else if (a == "--driver" && has_value) {
      o.driver = argv[++i];
    } else if (a == "--card-library" && has_value) {
      o.card_library = argv[++i];
    } else if (a == "--cycles" && has_value) {
      o.cycles = std::atoi(argv[++i]);
    } else if (a == "--period" && has_value) {
      o.period_ms = std::atoi(argv[++i]);
    } else if (a == "--list-cards") {
      o.list_cards = true;
    } else if (a == "--ini-template") {
      o.ini_template = true;
    } else if (a == "--check" && has_value) {
      o.check = argv[++i];
    } else if (a == "--trace-runs" && has_value) {
      o.trace_runs = argv[++i];
    } else if (a == "--monitor") {
      o.monitor = true;
    } else if (a == "--out" && has_value) {
      Output out{};
      if (!ParseOut(argv[++i], out)) {
        std::fprintf(stderr, "qvhost: --out %s: not an output channel and value\n", argv[i]);
        return 2;
      }
      o.outputs.push_back(out);
    } else {
      std::fprintf(stderr, "qvhost: unknown or incomplete option %s\n", a.c_str());
      Usage(stderr);
      return 2;
    }
  }
  if (o.ini_template && !o.list_cards) {
    std::fputs("qvhost: --ini-template goes with --list-cards\n", stderr);
    return 2;
  }
  if (o.list_cards || !o.check.empty() || !o.trace_runs.empty()) return 0;
  if (o.ini.empty()) {
    std::fputs("qvhost: --ini FILE is required\n", stderr);
    Usage(stderr);
    return 2;
  }
  if (o.cycles < 0 || o.period_ms < 0) {
    std::fputs("qvhost: --cycles and --period take non-negative numbers\n", stderr);
    return 2;
  }
  return 0;
}

std::string Binary(uint32_t byte) {
  std::string s(8, '0');
  for (int b = 0; b < 8; ++b)
    if (byte & (1u << b)) s[7 - b] = '1';
  return s;
}

void PrintInputs(const Exports& e, PData data, int cycle) {
  std::printf("cycle %d\n", cycle);
  for (const qv::ChannelRow& row : qv::ChannelRows()) {
    if (row.direction != qv::Direction::Input) continue;
    if (row.rule == qv::Rule::Bit) {
      std::string bits;
      for (unsigned ch = row.last + 1; ch-- > row.first;) {
        THostValue v{row.Kind(), 0};
        e.GetInput(data, ch, &v);
        bits += (v.Value & 0xFF) != 0 ? '1' : '0';
      }
      std::printf("  %2u-%2u %-14s bits %s\n", row.first, row.last, row.name, bits.c_str());
      continue;
    }
    THostValue v{row.Kind(), 0};
    e.GetInput(data, row.first, &v);
    const auto value = static_cast<uint32_t>(v.Value);
    if (row.width == 24)
      std::printf("  %5u %-14s %8" PRIu32 "\n", row.first, row.name, value);
    else
      std::printf("  %5u %-14s %8" PRIu32 "  %s\n", row.first, row.name, value,
                  Binary(value).c_str());
  }
}

// Waits `ms` while the thread's window messages (the monitor's timer) are delivered.
void WaitPumping(int ms, bool pump) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  do {
    if (pump) qv::PumpWindowMessages();
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - std::chrono::steady_clock::now());
    if (left.count() <= 0) break;
    qvhost::SleepMs(left.count() < 10 ? static_cast<int>(left.count()) : 10);
  } while (true);
}

// Which card library the driver bound, on stderr (stdout is the host's view).
void NameCardLibrary() {
  bool simulator = false;
  std::fprintf(stderr, "qvhost: card library %s\n", qvhost::LoadedCardLibrary(&simulator).c_str());
  qvhost::WarnSimulatorSettings(simulator, stderr);
}

int Run(const Options& o, const Exports& e) {
  std::printf("Version        0x%08" PRIX32 " (%" PRIu32 ")\n", e.Version(), e.Version());
  std::printf("Check          %s\n", e.Check() != 0 ? "true" : "false");
  char info[64] = {};
  e.GetDriverInfo(0, info);
  std::printf("GetDriverInfo  %s\n", qv::Cp1250ToUtf8(info).c_str());
  char version[64] = {};
  THostValue query{kKindText, reinterpret_cast<uintptr_t>(version)};
  e.QueryProc(0, kKindText, "GetVersion", 0, &query);
  std::printf("QueryProc      GetVersion = %s\n", qv::Cp1250ToUtf8(version).c_str());

  PData data = e.MakeDriver();
  if (data == nullptr) {
    std::fputs("qvhost: MakeDriver returned no instance\n", stderr);
    return 1;
  }
  char error[256] = {};
  const bool ok = e.Init(data, 0, o.ini.c_str(), sizeof error - 1, error, 0, 0, 0, 0) != 0;
  if (!ok) {
    std::printf("Init           failed: %s\n", qv::Cp1250ToUtf8(error).c_str());
  } else {
    std::printf("Init           ok (%s)\n", o.ini.c_str());
    if (o.monitor) e.DriverProc(data, static_cast<int32_t>(qv::TWindowCommand::Show), 0, 0, 0, 0);
    for (int c = 1; c <= o.cycles; ++c) {
      e.InputRequest(data);
      e.InputRequestCompleted(data);
      PrintInputs(e, data, c);
      int32_t status = 0;
      e.InputFinalized(data, nullptr, &status);
      for (const Output& out : o.outputs) e.OutputRequest(data, out.channel, out.kind, out.value);
      e.OutputRequestCompleted(data);
      e.OutputFinalized(data, nullptr, &status);
      std::fflush(stdout);
      if (c < o.cycles || o.monitor) WaitPumping(o.period_ms, o.monitor);
    }
  }
  e.Done(data);
  e.DisposeDriver(data);
  std::printf("Done           instance finished\n");
  return ok ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  Options o;
  if (const int rc = ParseArgs(argc, argv, o); rc != 0) return rc;
  if (o.driver.empty()) o.driver = qvhost::DefaultDriverPath(argv[0]);
  if (!o.check.empty()) return qvhost::CheckFile(o.check);
  if (!o.trace_runs.empty()) return qvhost::TraceRuns(o.trace_runs);
  // Choosing a library by path is asking for it, our simulator included.
  if (!o.card_library.empty()) qvhost::SetEnvironment(QV_SIM_DEFAULT_VARIABLE, "1");
  if (o.list_cards) return qvhost::ListCards(o.driver, o.card_library, o.ini_template, o.altered);

  // Loaded before the driver, the chosen card library is the one its import finds: Windows
  // takes a module already loaded under that name, Linux a library with that soname.
  std::optional<qvhost::Library> card;
  if (!o.card_library.empty()) {
    card.emplace(o.card_library);
    if (!card->Loaded()) {
      std::fprintf(stderr, "qvhost: cannot load the card library %s: %s\n", o.card_library.c_str(),
                   card->Error().c_str());
      return 1;
    }
  }
  qvhost::Library lib(o.driver, o.altered);
  if (!lib.Loaded()) {
    std::fprintf(stderr, "qvhost: cannot load %s: %s\n", o.driver.c_str(), lib.Error().c_str());
    return 1;
  }
  NameCardLibrary();
  Exports e;
  if (!ResolveAll(lib, e)) return 1;
  const int status = Run(o, e);
  // A replay is over with the host's run: the simulator reports the calls left over, and
  // any report of the replay gives a status of its own, for scripts.
  return qvhost::AfterReplay(qvhost::LoadedCardLibraryFunction("OX952Sim_ReplayEnd"), status);
}
