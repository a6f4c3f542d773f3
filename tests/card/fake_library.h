// A recording card library for unit tests: cards, injected results, and a journal of calls.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "card/card_library.h"

namespace qvtest {

struct FakeCard {
  uint32_t did;
  uint32_t bus;
  uint32_t slot;
  bool in_use = false;
};

struct FakeLibrary {
  std::vector<FakeCard> cards;
  uint32_t count_result = 0;
  std::map<std::string, std::pair<int, uint32_t>> fail;  // function -> (n-th call, result)
  std::map<std::string, int> calls;
  std::vector<std::string> journal;
  std::map<uint32_t, uint8_t> read_bytes;  // address -> byte MemRead returns
  std::vector<bool> open;
  void (*count_action)() = nullptr;  // runs inside CardsInSystem (a fault, a throw)

  static FakeLibrary& Get();
  static const qv::CardLibrary& Table();
  void Reset(std::vector<FakeCard> c = {});
  // The result of the n-th call of `function`: the injected one or 0.
  uint32_t Result(const std::string& function);
  std::string Joined() const;
  int OpenCount() const;
};

}  // namespace qvtest
