#include "fake_library.h"

#include <cstdio>

namespace qvtest {

namespace {

std::string Hex(uint32_t v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%X", v);
  return buf;
}

uint32_t OX952_CALL CardsInSystem(uint32_t* count) {
  auto& f = FakeLibrary::Get();
  f.journal.push_back("Count");
  if (f.count_action != nullptr) f.count_action();
  *count = static_cast<uint32_t>(f.cards.size());
  return f.Result("Count");
}
uint32_t OX952_CALL Card_DID(uint32_t card, uint32_t* did) {
  auto& f = FakeLibrary::Get();
  f.journal.push_back("DID(" + std::to_string(card) + ")");
  *did = card < f.cards.size() ? f.cards[card].did : 0;
  return f.Result("DID");
}
uint32_t OX952_CALL Card_BUS(uint32_t card, uint32_t* bus) {
  auto& f = FakeLibrary::Get();
  f.journal.push_back("BUS(" + std::to_string(card) + ")");
  *bus = card < f.cards.size() ? f.cards[card].bus : 0;
  return f.Result("BUS");
}
uint32_t OX952_CALL Card_SLOT(uint32_t card, uint32_t* slot) {
  auto& f = FakeLibrary::Get();
  f.journal.push_back("SLOT(" + std::to_string(card) + ")");
  *slot = card < f.cards.size() ? f.cards[card].slot : 0;
  return f.Result("SLOT");
}
uint32_t OX952_CALL Open(uint32_t card, uint32_t) {
  auto& f = FakeLibrary::Get();
  f.journal.push_back("Open(" + std::to_string(card) + ")");
  uint32_t r = f.Result("Open");
  if (r == 0 && (card >= f.cards.size() || f.cards[card].in_use || f.open[card])) r = 1;
  if (r == 0) f.open[card] = true;
  return r;
}
uint32_t OX952_CALL BAR11_BaseAdr(uint32_t card, uint32_t* base, uint32_t* second) {
  auto& f = FakeLibrary::Get();
  f.journal.push_back("BAR(" + std::to_string(card) + ")");
  *base = 0x10000u * (card + 1);
  *second = 0;
  return f.Result("BAR");
}
uint32_t OX952_CALL Close(uint32_t card) {
  auto& f = FakeLibrary::Get();
  f.journal.push_back("Close(" + std::to_string(card) + ")");
  if (card < f.open.size()) f.open[card] = false;
  return f.Result("Close");
}
uint32_t OX952_CALL MemRead(uint32_t address, uint32_t) {
  auto& f = FakeLibrary::Get();
  f.journal.push_back("R" + Hex(address));
  const auto it = f.read_bytes.find(address);
  // Junk in the upper bits: only bits 0-7 may count.
  return 0xABCD0000u | (it != f.read_bytes.end() ? it->second : 0);
}
uint32_t OX952_CALL MemWrite(uint32_t address, uint32_t, uint32_t value) {
  auto& f = FakeLibrary::Get();
  f.journal.push_back("W" + Hex(address) + "=" + Hex(value));
  return 0;
}

}  // namespace

FakeLibrary& FakeLibrary::Get() {
  static FakeLibrary f;
  return f;
}

const qv::CardLibrary& FakeLibrary::Table() {
  // By name: each member gets the fake function of its own name.
  static const qv::CardLibrary t = {
#define QV_FAKE(name, parameters, arguments, trace) .name = name,
      OX952_FUNCTIONS(QV_FAKE)
#undef QV_FAKE
  };
  return t;
}

void FakeLibrary::Reset(std::vector<FakeCard> c) {
  cards = std::move(c);
  fail.clear();
  calls.clear();
  journal.clear();
  read_bytes.clear();
  open.assign(cards.size(), false);
  count_action = nullptr;
}

uint32_t FakeLibrary::Result(const std::string& function) {
  const int n = ++calls[function];
  const auto it = fail.find(function);
  return it != fail.end() && it->second.first == n ? it->second.second : 0;
}

std::string FakeLibrary::Joined() const {
  std::string s;
  for (const auto& j : journal) s += (s.empty() ? "" : " ") + j;
  return s;
}

int FakeLibrary::OpenCount() const {
  int n = 0;
  for (bool o : open) n += o ? 1 : 0;
  return n;
}

}  // namespace qvtest
