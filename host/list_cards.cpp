#include "host/list_cards.h"

#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "card/card_library.h"
#include "card/discovery.h"
#include "card/our_libraries.h"
#include "card/search_lock.h"
#include "config/cfg_schema.h"
#include "config/cp1250.h"
#include "config/texts.h"
#include "host/loader.h"
#include "host/trace_runs.h"

namespace qvhost {

namespace {

struct FreeCard {
  bool found = false;
  uint32_t device_id = 0, bus = 0, slot = 0;
};

// What the list found among the family cards.
struct Survey {
  uint32_t family = 0;
  FreeCard first_free;
};

using IdentityFn = decltype(&Qv_lvk5120x_Identity);
using RealLibraryFn = decltype(&Qv_lvk5120x_RealLibrary);

// A parameter file that selects the card by bus and slot: Windows-1250, CR LF.
void PrintTemplate(const FreeCard& card) {
  const std::string model(qv::CardModelName(card.device_id));
  std::string ini;
  auto line = [&ini](std::string_view text) {
    ini += text;
    ini += "\r\n";
  };
  line("; Qv_lvk5120x parameter file for the " + model + " at PCI bus " + std::to_string(card.bus) +
       ", slot " + std::to_string(card.slot) + ".");
  line("; Made by qvhost --list-cards --ini-template. Save this file in Windows-1250.");
  std::string_view section;
  bool registers = false;
  for (const qv::Parameter& p : qv::kParameters) {
    if (p.section != section) {
      if (!section.empty()) line("");
      section = p.section;
      line("[" + std::string(section) + "]");
    }
    if (!p.fallback.empty() && !registers) {  // the register keys come last
      registers = true;
      line("; Register values programmed into the card at initialisation.");
    }
    // Every key at its preset (a wide one in hex), but the card chosen by bus and slot.
    const qv::NumberKey number = p.number() != nullptr ? *p.number() : qv::NumberKey{};
    std::string value =
        p.text() != nullptr ? std::string(p.text()->preset) : std::to_string(number.preset);
    if (number.preset > 255) {
      char hex[12];
      std::snprintf(hex, sizeof hex, "$%" PRIX32, static_cast<uint32_t>(number.preset));
      value = hex;
    }
    if (number.field == &qv::TCFGData::CNTEnReg)
      line(
          "; CNTEnReg turns the counters on (bit 0: counter 0, bit 1: counter 1, bit 2: "
          "counter 2); at 0 none of them counts.");
    if (number.field == &qv::TCFGData::AutoDetect) value = "0";
    if (number.field == &qv::TCFGData::Bus) value = std::to_string(card.bus);
    if (number.field == &qv::TCFGData::Slot) value = std::to_string(card.slot);
    line(std::string(p.key) + "=" + value);
  }
  BinaryStdout();
  std::fwrite(ini.data(), 1, ini.size(), stdout);
  std::fflush(stdout);
}

// What the library is: ours names itself, and the tracing library also the library behind
// it (when `follow`); an earlier simulator of ours, made before the mark, is known by its test
// interface; any other is the maker's. `simulator` is set when our simulator answers the calls.
std::string Kind(const Library& lib, bool follow, bool* simulator) {
  const auto identity = reinterpret_cast<IdentityFn>(lib.Find("Qv_lvk5120x_Identity"));
  if (identity == nullptr) {
    if (lib.Find("OX952Sim_Reset") == nullptr && lib.Find("OX952Sim_Configure") == nullptr)
      return "the maker's library";
    *simulator = true;
    return "an earlier Qv_lvk5120x card simulator, not the maker's library: it serves a card to "
           "any process; replace it with the maker's library";
  }
  const std::string kind = identity();
  const auto real = reinterpret_cast<RealLibraryFn>(lib.Find("Qv_lvk5120x_RealLibrary"));
  if (real == nullptr) {
    *simulator = kind == QV_SIMULATOR_IDENTITY;
    return kind + ", not the maker's library";
  }
  const std::string behind = real();
  if (behind.empty()) return kind + ", with no library behind it";
  if (!follow) return kind + ", in front of " + behind;
  const Library behind_lib(behind);  // the tracer's own, already loaded
  return kind + ", in front of " + behind + ": " +
         (behind_lib.Loaded() ? Kind(behind_lib, false, simulator) : behind_lib.Error());
}

// True when the library is loaded and has the nine functions; its line then names it.
bool Bound(const Library& lib, const std::string& path, qv::CardLibrary& table, FILE* out) {
  if (!lib.Loaded()) {
    std::fprintf(out, "No card library: %s cannot be loaded (%s).\n", path.c_str(),
                 lib.Error().c_str());
    return false;
  }
  std::string missing;
  if (!qv::BindCardLibrary([&lib](const char* fn) { return lib.Find(fn); }, table, missing)) {
    std::fprintf(out, "The card library %s does not export %s.\n", lib.Path().c_str(),
                 missing.c_str());
    return false;
  }
  bool simulator = false;
  std::fprintf(out, "card library  %s  (%s)\n", lib.Path().c_str(),
               Kind(lib, true, &simulator).c_str());
  WarnSimulatorSettings(simulator, out);
  return true;
}

// The card library that the driver binds when loaded in one way: its path, or why the driver
// cannot be loaded that way.
struct Binding {
  std::string path, error;
};

Binding Bind(const std::string& driver, bool altered) {
  const Library lib(driver, altered);
  return lib.Loaded() ? Binding{LoadedCardLibraryPath(), {}} : Binding{{}, lib.Error()};
}

void PrintBinding(const char* way, const Binding& b, const std::string& driver, bool altered,
                  FILE* out) {
  if (b.path.empty()) {
    std::fprintf(out, "%-13s the driver cannot be loaded: %s\n", way, b.error.c_str());
    return;
  }
  const std::string where = FoundIn(b.path, driver, altered);
  std::fprintf(out, "%-13s %s%s%s%s\n", way, b.path.c_str(), where.empty() ? "" : "  (in ",
               where.c_str(), where.empty() ? "" : ")");
}

// Which card library the driver binds in each way a host may load it, with a warning where a
// host's way decides it, or where a library beside the driver is missed; the way of `altered`
// is then loaded again and kept in `driver`, for the list. False (after saying why) when the
// driver cannot be loaded that way.
bool Bindings(const std::string& driver_path, bool altered, std::optional<Library>& driver,
              FILE* out) {
  if (!TwoWaysOfLoading()) {
    PrintBinding("driver binds", Bind(driver_path, false), driver_path, false, out);
  } else {
    const Binding plain = Bind(driver_path, false), other = Bind(driver_path, true);
    PrintBinding("plain load", plain, driver_path, false, out);
    PrintBinding("altered load", other, driver_path, true, out);
    if (plain.path.empty() != other.path.empty() ||
        (!plain.path.empty() && !SamePath(plain.path, other.path)))
      std::fputs(
          "warning: the two ways of loading the driver bind different card libraries: "
          "which one the host gets depends on how it loads its drivers (see \"Where the "
          "card library must lie\" in README.md)\n",
          out);
    const std::string beside = Beside(driver_path, CardLibraryFileName());
    const bool in_program_folder = SamePath(Beside(driver_path, "."), ProgramFolder());
    if (FileExists(beside) &&
        (plain.path.empty() || !SamePath(plain.path, beside) || in_program_folder))
      std::fprintf(out,
                   "warning: %s lies beside the driver, where a host that loads the driver "
                   "plainly does not look for it%s\n",
                   beside.c_str(),
                   in_program_folder
                       ? " (qvhost finds it only because qvhost lies in that folder too)"
                       : "");
  }
  driver.emplace(driver_path, altered);
  if (driver->Loaded()) return true;
  std::fprintf(out, "No card library: the driver cannot be loaded: %s.\n", driver->Error().c_str());
  return false;
}

// The count call, guarded as the driver guards it; false after saying why there is no list.
bool Counted(const qv::CardLibrary& table, uint32_t* count, FILE* out) {
  const std::string error = qv::Cp1250ToUtf8(qv::text::kCardLibraryError);
  uint32_t result = 0;
  if (!qv::GuardedCardsInSystem(table, count, &result)) {
    std::fprintf(out,
                 "OX952_CardsInSystem raised a fault or an exception inside the card "
                 "library: the driver would report \"%s\".\n",
                 error.c_str());
    return false;
  }
  if (result != 0) {
    std::fprintf(out,
                 "OX952_CardsInSystem failed with %" PRIu32 ": the driver would report \"%s\".\n",
                 result, error.c_str());
    return false;
  }
  if (*count == 0) {
    std::fputs("The card library reports no cards.\n", out);
    return false;
  }
  return true;
}

// A family card's state: opened and closed again at once (no register is read or written).
std::string TryOpen(const qv::CardLibrary& table, uint32_t index, bool* free) {
  const uint32_t r_open = table.Open(index, 0);
  *free = r_open == 0;
  if (!*free) return "in use (OX952_Open gives " + std::to_string(r_open) + ")";
  table.Close(index);
  return "free";
}

// The card's row; a family card counts in the survey.
void ListCard(const qv::CardLibrary& table, uint32_t i, Survey& survey, FILE* out) {
  uint32_t did = 0, bus = 0, slot = 0;
  const uint32_t r_did = table.Card_DID(i, &did);
  const uint32_t r_bus = table.Card_BUS(i, &bus);
  const uint32_t r_slot = table.Card_SLOT(i, &slot);
  if (r_did != 0) {
    std::fprintf(out, "%5" PRIu32 "  OX952_Card_DID failed with %" PRIu32 "\n", i, r_did);
    return;
  }
  const bool of_family = qv::IsFamilyCard(did);
  const std::string model =
      of_family ? qv::Cp1250ToUtf8(qv::CardModelName(did)) : std::string("not of this family");
  std::string state = "-";
  if (of_family) {
    ++survey.family;
    bool free = false;
    state = TryOpen(table, i, &free);
    if (free && !survey.first_free.found && r_bus == 0 && r_slot == 0)
      survey.first_free = {true, did, bus, slot};
  }
  const std::string where_bus = r_bus == 0 ? std::to_string(bus) : "?";
  const std::string where_slot = r_slot == 0 ? std::to_string(slot) : "?";
  std::fprintf(out, "%5" PRIu32 "  %-4" PRIu32 " (0x%03" PRIX32 ")  %-18s %4s  %4s  %s\n", i, did,
               did, model.c_str(), where_bus.c_str(), where_slot.c_str(), state.c_str());
}

// The verdict under the list: the first free family card, or why there is none; 0 with one.
int Verdict(const Survey& survey, uint32_t count, FILE* out) {
  if (survey.family == 0) {
    std::fprintf(out, "None of the %" PRIu32 " cards is an LVK-5120B, C or E.\n", count);
    return 1;
  }
  const FreeCard& card = survey.first_free;
  if (!card.found) {
    std::fputs(
        "Every LVK-5120B, C or E card is in use by another application (or its bus "
        "and slot cannot be read).\n",
        out);
    return 1;
  }
  std::fprintf(out,
               "First free card: %s at bus %" PRIu32 ", slot %" PRIu32 " (BUS=%" PRIu32
               ", SLOT=%" PRIu32 " in the parameter file).\n",
               qv::Cp1250ToUtf8(qv::CardModelName(card.device_id)).c_str(), card.bus, card.slot,
               card.bus, card.slot);
  return 0;
}

}  // namespace

int ListCards(const std::string& driver_path, const std::string& card_library, bool ini_template,
              bool altered) {
  // With a template on stdout, the list and the verdict go to stderr.
  FILE* out = ini_template ? stderr : stdout;
  std::optional<Library> driver;  // holds the card library it bound
  if (card_library.empty() && !Bindings(driver_path, altered, driver, out)) return 1;
  const std::string path = card_library.empty() ? LoadedCardLibraryPath() : card_library;
  const Library lib(path);
  // Whatever the list found, a report of the simulator's replay gives a status of its own.
  const auto done = [&lib](int status) {
    return AfterReplay(lib.Loaded() ? lib.Find("OX952Sim_ReplayEnd") : nullptr, status);
  };
  qv::CardLibrary table{};
  uint32_t count = 0;
  if (!Bound(lib, path, table, out) || !Counted(table, &count, out)) return done(1);
  std::fprintf(out, "%5s  %-12s  %-18s %4s  %4s  %s\n", "index", "device ID", "model", "bus",
               "slot", "state");
  Survey survey;
  {
    const qv::TCardSearchLock lock;  // its probe opens cards, as the driver's search does
    for (uint32_t i = 0; i < count; ++i) ListCard(table, i, survey, out);
  }
  const int status = Verdict(survey, count, out);
  if (status == 0 && ini_template) PrintTemplate(survey.first_free);
  return done(status);
}

void WarnSimulatorSettings(bool simulator, FILE* out) {
  for (const char* variable : {"VODRA_OX952_SIM", "VODRA_OX952_REPLAY"}) {
    const char* value = std::getenv(variable);
    if (!simulator && value != nullptr && *value != '\0')
      std::fprintf(out,
                   "warning: %s is set, but the card library is not the Qv_lvk5120x card "
                   "simulator, so nothing reads it\n",
                   variable);
  }
}

std::string LoadedCardLibrary(bool* simulator) {
  *simulator = false;
  const std::string path = LoadedCardLibraryPath();
  if (path.empty()) return {};
  const Library lib(path);
  return path + "  (" + Kind(lib, true, simulator) + ")";
}

}  // namespace qvhost
