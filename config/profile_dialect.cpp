// The private-profile dialect on bytes in memory, shared by the POSIX reader, qvhost --check
// and the tests.
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

}  // namespace

std::string_view NextProfileLine(std::string_view& rest) {
  std::size_t end = 0;
  while (end < rest.size() && rest[end] != '\r' && rest[end] != '\n') ++end;
  const std::string_view line = rest.substr(0, end);
  if (end < rest.size() && rest[end] == '\r') ++end;
  if (end < rest.size() && rest[end] == '\n') ++end;
  rest.remove_prefix(end);
  return line;
}

ProfileLine ParseProfileLine(std::string_view line) {
  line = Trim(line);
  if (line.empty() || line.front() == ';') return {};
  if (line.front() == '[') {
    const std::string_view name = line.substr(1);
    return {ProfileLine::Kind::kSection, Trim(name.substr(0, name.find(']'))), std::nullopt};
  }
  const std::size_t eq = line.find('=');
  if (eq == std::string_view::npos) return {ProfileLine::Kind::kKey, line, std::nullopt};
  return {ProfileLine::Kind::kKey, Trim(line.substr(0, eq)), Trim(line.substr(eq + 1))};
}

bool SameProfileName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (AsciiLower(a[i]) != AsciiLower(b[i])) return false;
  return true;
}

std::optional<ProfileKey> FindProfileKey(std::string_view file, std::string_view section,
                                         std::string_view key) {
  section = Trim(section);
  key = Trim(key);
  bool in_section = false;  // inside the first section of the requested name
  std::string_view rest = file;
  for (int number = 1; !rest.empty(); ++number) {
    const ProfileLine line = ParseProfileLine(NextProfileLine(rest));
    if (line.kind == ProfileLine::Kind::kSection) {
      if (in_section) return std::nullopt;  // only the first matching section is searched
      in_section = SameProfileName(line.name, section);
      continue;
    }
    if (line.kind != ProfileLine::Kind::kKey || !in_section || !SameProfileName(line.name, key))
      continue;
    std::optional<std::string_view> value = line.value;  // none: the key holds no value
    if (value && value->size() >= 2 && (value->front() == '"' || value->front() == '\'') &&
        value->back() == value->front())
      value = value->substr(1, value->size() - 2);
    return ProfileKey{number, value};
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
