// The private-profile dialect on bytes in memory, shared by the POSIX reader and the tests.
#include <cstring>

#include "config/profile.h"

namespace qv {
namespace {

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

char AsciiLower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

// Splits off the next line at CR, LF or CR LF.
std::string_view NextLine(std::string_view& rest) {
  std::size_t end = 0;
  while (end < rest.size() && rest[end] != '\r' && rest[end] != '\n') ++end;
  const std::string_view line = rest.substr(0, end);
  if (end < rest.size() && rest[end] == '\r') ++end;
  if (end < rest.size() && rest[end] == '\n') ++end;
  rest.remove_prefix(end);
  return line;
}

}  // namespace

std::optional<std::string_view> FindProfileValue(std::string_view file, std::string_view section,
                                                 std::string_view key) {
  section = Trim(section);
  key = Trim(key);
  bool in_section = false;  // inside the first section of the requested name
  std::string_view rest = file;
  while (!rest.empty()) {
    const std::string_view line = Trim(NextLine(rest));
    if (line.empty() || line.front() == ';') continue;
    if (line.front() == '[') {
      if (in_section) return std::nullopt;  // only the first matching section is searched
      std::string_view name = line.substr(1);
      name = Trim(name.substr(0, name.find(']')));
      in_section = SameName(name, section);
      continue;
    }
    if (!in_section) continue;
    const std::size_t eq = line.find('=');
    if (!SameName(Trim(line.substr(0, eq)), key)) continue;
    if (eq == std::string_view::npos) return std::nullopt;  // the key holds no value
    std::string_view value = Trim(line.substr(eq + 1));
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front())
      value = value.substr(1, value.size() - 2);
    return value;
  }
  return std::nullopt;
}

std::size_t CopyProfileResult(std::string_view value, bool is_default, char* out,
                              std::size_t size) {
  if (out == nullptr || size == 0) return 0;
  if (is_default)
    while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
  const std::size_t n = value.size() < size - 1 ? value.size() : size - 1;
  if (n > 0) std::memcpy(out, value.data(), n);
  out[n] = '\0';
  return n;
}

}  // namespace qv
