// Reading one value from an INI file with the Windows private-profile semantics.
//
// The dialect (Windows' own; our POSIX reader implements it, on Windows the system does):
//  1. Lines end at CR, LF or CR LF; each line is trimmed of blanks (space, tab) at both
//     ends; empty lines are skipped.
//  2. A line starting with ";" is a comment ("#" is not).
//  3. A line starting with "[" is a section header; the name runs to the first "]" (or the
//     line's end) and is trimmed; text after the "]" is ignored. Lines before the first
//     header belong to no section and cannot be read.
//  4. Other lines split at the first "=" into key and value, both trimmed; "key=" is an
//     empty value. A line without "=" names a key that holds no value: it reads as the
//     default.
//  5. Section and key names match ignoring ASCII letter case, after trimming the requested
//     names. Only the first matching section is searched; in it the first matching key wins.
//  6. A value of two or more characters enclosed in the same quote (' or ") loses that pair.
//  7. The default loses trailing spaces; a result longer than the buffer is cut to its
//     size less one.
//  8. Bytes are bytes (Windows-1250 here): no BOM or UTF-8 handling.
#pragma once

#include <cstddef>
#include <optional>
#include <string_view>

namespace qv {

// Copies the value of `key` in `section` of the file at `path`, or `def` when the file,
// section, key or value is missing, into `out` as a zero-terminated text cut to size - 1
// bytes. Returns the number of bytes copied without the terminator; 0 and nothing written
// when `out` is null or `size` is 0. An empty path, or one naming no readable regular
// file (our POSIX reader also refuses files over 16 MiB), gives the default. The platform backend
// (profile_posix / profile_win32) defines it.
std::size_t ReadProfileString(const char* path, std::string_view section, std::string_view key,
                              std::string_view def, char* out, std::size_t size);

// Rule 1: splits the next line off `rest` at CR, LF or CR LF; the line is not trimmed.
std::string_view NextProfileLine(std::string_view& rest);

// Rules 1 to 4 on one line, trimmed: what it holds.
struct ProfileLine {
  enum class Kind { kNothing, kSection, kKey };  // kNothing: empty or a comment
  Kind kind = Kind::kNothing;
  std::string_view name;                  // the section's or the key's
  std::optional<std::string_view> value;  // the key's (rule 6 not applied); none without "="
};
ProfileLine ParseProfileLine(std::string_view line);

// Rule 5: whether two names match, ignoring ASCII letter case (not trimmed here).
bool SameProfileName(std::string_view a, std::string_view b);

// Rules 1 to 6 on a file's bytes in memory: the line (counted from 1) that the reader takes
// `key` of `section` from, and its value, or nothing when no line holds the key. Without a
// value (the line holds no "=", or there is none) the reader returns the default. The view
// points into `file`.
struct ProfileKey {
  int line;
  std::optional<std::string_view> value;
};
std::optional<ProfileKey> FindProfileKey(std::string_view file, std::string_view section,
                                         std::string_view key);

// Rule 7: copies `value` (or, when `is_default`, `value` less its trailing spaces) into
// `out` cut to size - 1 bytes plus a terminator; returns the bytes copied.
std::size_t CopyProfileResult(std::string_view value, bool is_default, char* out, std::size_t size);

}  // namespace qv
