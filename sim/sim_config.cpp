#include "sim/sim_config.h"

#include <charconv>

#include "trace/trace_line.h"

namespace qv::sim {

namespace {

// What the simulator can raise, by the names its configuration and its trace give them.
struct RaiseName {
  RaiseKind kind;
  const char* name;
};
constexpr RaiseName kRaiseNames[] = {
    {RaiseKind::kAccessViolation, "access-violation"},
    {RaiseKind::kIllegalInstruction, "illegal-instruction"},
    {RaiseKind::kDivideByZero, "divide-by-zero"},
    {RaiseKind::kCppException, "cpp-exception"},
    {RaiseKind::kForeignException, "foreign-exception"},
    {RaiseKind::kHandledException, "handled-exception"},
};

constexpr bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\v';
}

// Splits a line (comment already removed) into blank-separated words.
std::vector<std::string_view> Words(std::string_view line) {
  std::vector<std::string_view> words;
  size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && IsBlank(line[i])) ++i;
    const size_t start = i;
    while (i < line.size() && !IsBlank(line[i])) ++i;
    if (i > start) words.push_back(line.substr(start, i - start));
  }
  return words;
}

bool ParseNumber(std::string_view word, uint32_t* value) {
  int base = 10;
  if (word.size() > 2 && word[0] == '0' && (word[1] == 'x' || word[1] == 'X')) {
    word.remove_prefix(2);
    base = 16;
  }
  if (word.empty() || word[0] == '+' || word[0] == '-') return false;
  const auto [end, ec] = std::from_chars(word.data(), word.data() + word.size(), *value, base);
  return ec == std::errc() && end == word.data() + word.size();
}

bool ParseFunction(std::string_view word, OX952SimFunction* f) {
  for (uint32_t i = 0; i < trace::kFunctionCount; ++i) {
    const std::string_view name = trace::FunctionName(i);
    // The maker's prefix may be left out: "Open" is "OX952_Open".
    if (word == name || word == name.substr(6)) {
      *f = static_cast<OX952SimFunction>(i);
      return true;
    }
  }
  return false;
}

// The words of one entry, and what is wrong with them: the first problem found.
struct Entry {
  const std::vector<std::string_view>& w;
  std::string error;

  // Reads word i as a number; false (with the error) when it is missing or malformed.
  bool Number(size_t i, const char* what, uint32_t* value) {
    if (i >= w.size()) {
      error = std::string("missing ") + what;
    } else if (!ParseNumber(w[i], value)) {
      error = std::string("bad ") + what + " '" + std::string(w[i]) + "'";
    }
    return error.empty();
  }
  // True when no word follows the first n.
  bool EndsAfter(size_t n) {
    if (w.size() > n) error = "unexpected '" + std::string(w[n]) + "'";
    return error.empty();
  }
};

// card <device-id> <bus> <slot> [free | in-use]
std::string ParseCard(Entry e, SimConfig* config) {
  CardEntry card;
  if (!e.Number(1, "device ID", &card.device_id) || !e.Number(2, "bus", &card.bus) ||
      !e.Number(3, "slot", &card.slot))
    return e.error;
  if (e.w.size() > 4) {
    if (e.w[4] == "in-use") {
      card.in_use = true;
    } else if (e.w[4] != "free") {
      return "expected 'free' or 'in-use', not '" + std::string(e.w[4]) + "'";
    }
  }
  if (!e.EndsAfter(5)) return e.error;
  if (config->cards.size() >= kMaxCards) return "more than 256 cards";
  config->cards.push_back(card);
  return {};
}

// fault <function> <call-number> <result>
std::string ParseFault(Entry e, SimConfig* config) {
  FaultEntry fault;
  if (e.w.size() < 2) return "missing function";
  if (!ParseFunction(e.w[1], &fault.function)) {
    return "unknown function '" + std::string(e.w[1]) + "'";
  }
  if (!e.Number(2, "call number", &fault.call)) return e.error;
  if (fault.call == 0) return "call number must be 1 or more";
  if (!e.Number(3, "result", &fault.result)) return e.error;
  if (fault.result == 0) return "a fault's result must be non-zero";
  if (!e.EndsAfter(4)) return e.error;
  config->faults.push_back(fault);
  return {};
}

// raise <kind> [<call-number>]
std::string ParseRaise(Entry e, SimConfig* config) {
  RaiseEntry raise;
  if (e.w.size() < 2) return "missing kind of fault";
  if (!RaiseKindFromName(e.w[1], &raise.kind)) {
    std::string kinds;
    for (const RaiseName& r : kRaiseNames) {
      if (!kinds.empty()) kinds += &r == std::end(kRaiseNames) - 1 ? " or " : ", ";
      kinds += r.name;
    }
    return "unknown kind '" + std::string(e.w[1]) + "' (" + kinds + ")";
  }
  if (e.w.size() > 2) {
    if (!e.Number(2, "call number", &raise.call)) return e.error;
    if (raise.call == 0) return "call number must be 1 or more";
  }
  if (!e.EndsAfter(3)) return e.error;
  config->raises.push_back(raise);
  return {};
}

// Parses one non-empty line into `config`; returns "" or what is wrong.
std::string ParseLine(const std::vector<std::string_view>& w, SimConfig* config) {
  if (w[0] == "card") return ParseCard({w, {}}, config);
  if (w[0] == "fault") return ParseFault({w, {}}, config);
  if (w[0] == "raise") return ParseRaise({w, {}}, config);
  return "unknown keyword '" + std::string(w[0]) + "' (card, fault or raise)";
}

}  // namespace

SimConfig DefaultSimConfig() {
  SimConfig config;
  config.cards.push_back({.device_id = 512, .bus = 2, .slot = 13, .in_use = false});
  return config;
}

bool ParseSimConfig(std::string_view text, std::string_view source, SimConfig* config,
                    std::string* error) {
  *config = SimConfig{};
  uint32_t line_number = 0;
  while (!text.empty()) {
    ++line_number;
    const size_t eol = text.find('\n');
    std::string_view line = text.substr(0, eol);
    text = eol == std::string_view::npos ? std::string_view{} : text.substr(eol + 1);
    line = line.substr(0, line.find('#'));
    const std::vector<std::string_view> words = Words(line);
    if (words.empty()) continue;
    const std::string what = ParseLine(words, config);
    if (!what.empty()) {
      *error = std::string(source) + ":" + std::to_string(line_number) + ": " + what;
      *config = SimConfig{};
      return false;
    }
  }
  error->clear();
  return true;
}

const char* RaiseKindName(RaiseKind kind) {
  for (const RaiseName& r : kRaiseNames) {
    if (r.kind == kind) return r.name;
  }
  return "none";
}

bool RaiseKindFromName(std::string_view name, RaiseKind* kind) {
  for (const RaiseName& r : kRaiseNames) {
    if (name == r.name) {
      *kind = r.kind;
      return true;
    }
  }
  return false;
}

}  // namespace qv::sim
