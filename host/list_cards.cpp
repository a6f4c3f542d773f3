#include "host/list_cards.h"

#include <cinttypes>
#include <cstdio>
#include <string>

#include "card/card_library.h"
#include "card/discovery.h"
#include "config/cfg_schema.h"
#include "config/cp1250.h"
#include "config/texts.h"
#include "host/loader.h"

namespace qvhost {

namespace {

struct FreeCard {
  bool found = false;
  uint32_t device_id = 0, bus = 0, slot = 0;
};

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
    if (number.field == &qv::TCFGData::AutoDetect) value = "0";
    if (number.field == &qv::TCFGData::Bus) value = std::to_string(card.bus);
    if (number.field == &qv::TCFGData::Slot) value = std::to_string(card.slot);
    line(std::string(p.key) + "=" + value);
  }
  BinaryStdout();
  std::fwrite(ini.data(), 1, ini.size(), stdout);
  std::fflush(stdout);
}

}  // namespace

int ListCards(const std::string& driver_path, bool ini_template) {
  // With a template on stdout, the list and the verdict go to stderr.
  FILE* out = ini_template ? stderr : stdout;
  const char* name = CardLibraryFileName();
  const std::string beside = Beside(driver_path, name);
  const bool use_beside = FileExists(beside);
  Library lib(use_beside ? beside : name, !use_beside);
  if (!lib.Loaded()) {
    std::fprintf(out,
                 "No card library: %s cannot be loaded (%s), so the driver could not be "
                 "loaded either.\n",
                 use_beside ? beside.c_str() : name, lib.Error().c_str());
    return 1;
  }
  qv::CardLibrary table{};
  std::string missing;
  if (!qv::BindCardLibrary([&lib](const char* fn) { return lib.Find(fn); }, table, missing)) {
    std::fprintf(out, "The card library %s does not export %s.\n", lib.Path().c_str(),
                 missing.c_str());
    return 1;
  }
  std::fprintf(out, "card library  %s\n", lib.Path().c_str());

  uint32_t count = 0, result = 0;
  if (!qv::GuardedCardsInSystem(table, &count, &result)) {
    std::fprintf(out,
                 "OX952_CardsInSystem raised a fault or an exception inside the card "
                 "library: the driver would report \"%s\".\n",
                 qv::Cp1250ToUtf8(qv::text::kCardLibraryError).c_str());
    return 1;
  }
  if (result != 0) {
    std::fprintf(out,
                 "OX952_CardsInSystem failed with %" PRIu32
                 ": the driver would report "
                 "\"%s\".\n",
                 result, qv::Cp1250ToUtf8(qv::text::kCardLibraryError).c_str());
    return 1;
  }
  if (count == 0) {
    std::fputs("The card library reports no cards.\n", out);
    return 1;
  }

  std::fprintf(out, "%5s  %-12s  %-18s %4s  %4s  %s\n", "index", "device ID", "model", "bus",
               "slot", "state");
  uint32_t family = 0;
  FreeCard first_free;
  for (uint32_t i = 0; i < count; ++i) {
    uint32_t did = 0, bus = 0, slot = 0;
    const uint32_t r_did = table.Card_DID(i, &did);
    const uint32_t r_bus = table.Card_BUS(i, &bus);
    const uint32_t r_slot = table.Card_SLOT(i, &slot);
    if (r_did != 0) {
      std::fprintf(out, "%5" PRIu32 "  OX952_Card_DID failed with %" PRIu32 "\n", i, r_did);
      continue;
    }
    const bool of_family = qv::IsFamilyCard(did);
    const std::string model =
        of_family ? qv::Cp1250ToUtf8(qv::CardModelName(did)) : std::string("not of this family");
    const std::string where_bus = r_bus == 0 ? std::to_string(bus) : "?";
    const std::string where_slot = r_slot == 0 ? std::to_string(slot) : "?";
    std::string state = "-";
    if (of_family) {
      ++family;
      // Opened and closed at once: no register is read or written.
      const uint32_t r_open = table.Open(i, 0);
      if (r_open == 0) {
        table.Close(i);
        state = "free";
        if (!first_free.found && r_bus == 0 && r_slot == 0) first_free = {true, did, bus, slot};
      } else {
        state = "in use (OX952_Open gives " + std::to_string(r_open) + ")";
      }
    }
    std::fprintf(out, "%5" PRIu32 "  %-4" PRIu32 " (0x%03" PRIX32 ")  %-18s %4s  %4s  %s\n", i, did,
                 did, model.c_str(), where_bus.c_str(), where_slot.c_str(), state.c_str());
  }

  if (family == 0) {
    std::fprintf(out, "None of the %" PRIu32 " cards is an LVK-5120B, C or E.\n", count);
    return 1;
  }
  if (!first_free.found) {
    std::fputs(
        "Every LVK-5120B, C or E card is in use by another application (or its bus "
        "and slot cannot be read).\n",
        out);
    return 1;
  }
  std::fprintf(out,
               "First free card: %s at bus %" PRIu32 ", slot %" PRIu32 " (BUS=%" PRIu32
               ", SLOT=%" PRIu32 " in the parameter file).\n",
               qv::Cp1250ToUtf8(qv::CardModelName(first_free.device_id)).c_str(), first_free.bus,
               first_free.slot, first_free.bus, first_free.slot);
  if (ini_template) PrintTemplate(first_free);
  return 0;
}

}  // namespace qvhost
