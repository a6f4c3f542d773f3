// The simulator's test interface (sim/ox952_sim.h): the state behind the nine functions,
// read and set under the same lock.
#include "sim/simulator.h"

using namespace qv::sim;

namespace {

// What `f` makes of the simulator, under its lock.
template <typename F>
auto Locked(F f) {
  Simulator& sim = Sim();
  auto lock = sim.Lock();
  return f(sim);
}

// What `f` makes of the card, or `outside` for an index outside the configuration.
template <typename R, typename F>
R OfCard(uint32_t card, R outside, F f) {
  return Locked([&](Simulator& sim) -> R {
    SimCard* c = sim.Card(card);
    return c ? f(*c) : outside;
  });
}

}  // namespace

extern "C" {

OX952SIM_API void OX952Sim_Reset(void) {
  Sim().Reset();
}

OX952SIM_API int OX952Sim_Configure(const char* text) {
  return Sim().Configure(text);
}

OX952SIM_API const char* OX952Sim_ConfigError(void) {
  return Locked([](Simulator& sim) { return sim.ConfigError().c_str(); });
}

OX952SIM_API uint32_t OX952Sim_CardCount(void) {
  return Locked([](Simulator& sim) { return sim.CardCount(); });
}

OX952SIM_API uint32_t OX952Sim_JournalSize(void) {
  return Locked([](Simulator& sim) { return static_cast<uint32_t>(sim.Journal().size()); });
}

OX952SIM_API int OX952Sim_JournalEntry(uint32_t index, OX952SimCall* out) {
  return Locked([&](Simulator& sim) {
    if (!out || index >= sim.Journal().size()) return 1;
    *out = sim.Journal()[index];
    return 0;
  });
}

OX952SIM_API void OX952Sim_ClearJournal(void) {
  Locked([](Simulator& sim) { sim.Journal().clear(); });
}

OX952SIM_API const char* OX952Sim_FunctionName(OX952SimFunction f) {
  return qv::trace::FunctionName(static_cast<uint32_t>(f));
}

OX952SIM_API void OX952Sim_SetReadByte(uint32_t card, uint32_t offset, uint8_t value) {
  Locked([&](Simulator& sim) {
    if (SimCard* c = sim.Card(card)) c->model.SetReadByte(offset, value);
  });
}

OX952SIM_API int OX952Sim_WrittenByte(uint32_t card, uint32_t offset) {
  return OfCard(card, -1, [&](SimCard& c) { return c.model.WrittenByte(offset); });
}

OX952SIM_API int OX952Sim_ReadByte(uint32_t card, uint32_t offset) {
  return OfCard(card, -1, [&](SimCard& c) {
    return offset < OX952SIM_WINDOW_SIZE ? c.model.Read(offset) : -1;
  });
}

OX952SIM_API uint32_t OX952Sim_Count(uint32_t card, uint32_t counter) {
  return OfCard(card, 0u, [&](SimCard& c) { return c.model.Count(counter); });
}

OX952SIM_API uint32_t OX952Sim_OpenCardCount(void) {
  return Locked([](Simulator& sim) { return sim.OpenCount(); });
}

OX952SIM_API int OX952Sim_IsOpen(uint32_t card) {
  return OfCard(card, 0, [](SimCard& c) { return c.open ? 1 : 0; });
}

OX952SIM_API uint32_t OX952Sim_ClosedCardAccessCount(void) {
  return Locked([](Simulator& sim) { return sim.ClosedAccesses(); });
}

OX952SIM_API uint32_t OX952Sim_BaseAddress(uint32_t card) {
  return OfCard(card, 0u,
                [&](SimCard&) { return OX952SIM_BASE_FIRST + card * OX952SIM_BASE_STEP; });
}

OX952SIM_API uint32_t OX952Sim_ReplayEnd(void) {
  return Locked([](Simulator& sim) { return sim.EndReplay(); });
}

}  // extern "C"
