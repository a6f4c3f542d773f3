#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "host/loader.h"

namespace qvhost {

namespace {

std::string FolderOf(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::string FullPath(const std::string& path) {
  char full[MAX_PATH];
  const DWORD n = GetFullPathNameA(path.c_str(), MAX_PATH, full, nullptr);
  return n > 0 && n < MAX_PATH ? std::string(full, n) : path;
}

bool IsFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// What a PE file's header and import table say: its machine and the DLLs it imports.
struct PeFile {
  bool ok = false;
  uint16_t machine = 0;
  std::vector<std::string> imports;
};

uint32_t Le(const std::vector<char>& b, size_t at, int bytes) {
  uint32_t v = 0;
  for (int i = bytes; i-- > 0;) v = v << 8 | static_cast<uint8_t>(b[at + i]);
  return v;
}

PeFile ReadPe(const std::string& path) {
  PeFile pe;
  std::ifstream in(path, std::ios::binary);
  if (!in) return pe;
  const std::vector<char> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto has = [&b](size_t at, size_t n) { return at <= b.size() && n <= b.size() - at; };
  if (!has(0, 0x40) || b[0] != 'M' || b[1] != 'Z') return pe;
  const size_t nt = Le(b, 0x3C, 4);
  if (!has(nt, 24) || std::memcmp(&b[nt], "PE\0\0", 4) != 0) return pe;
  pe.machine = static_cast<uint16_t>(Le(b, nt + 4, 2));
  pe.ok = true;
  const size_t sections = Le(b, nt + 6, 2), optional = nt + 24;
  const size_t table = optional + Le(b, nt + 20, 2);
  const uint32_t magic = has(optional, 2) ? Le(b, optional, 2) : 0;
  const size_t directories = optional + (magic == 0x20B ? 112 : 96);
  if ((magic != 0x10B && magic != 0x20B) || !has(directories, 16)) return pe;
  // An address in the loaded image as an offset in the file.
  auto offset = [&](uint32_t rva, size_t* at) {
    for (size_t s = 0; s < sections && has(table + 40 * s, 40); ++s) {
      const size_t h = table + 40 * s;
      const uint32_t address = Le(b, h + 12, 4), size = Le(b, h + 16, 4), raw = Le(b, h + 20, 4);
      if (rva >= address && rva - address < size) {
        *at = raw + (rva - address);
        return has(*at, 1);
      }
    }
    return false;
  };
  size_t at = 0;
  if (!offset(Le(b, directories + 8, 4), &at)) return pe;
  for (; has(at, 20) && Le(b, at + 12, 4) != 0; at += 20) {
    size_t name = 0;
    if (!offset(Le(b, at + 12, 4), &name)) break;
    std::string text;
    while (has(name, 1) && b[name] != '\0' && text.size() < MAX_PATH) text += b[name++];
    pe.imports.push_back(text);
  }
  return pe;
}

constexpr uint16_t kOwnMachine = sizeof(void*) == 8 ? 0x8664 : 0x014C;

std::string Kind(uint16_t machine) {
  if (machine == 0x014C) return "a 32-bit (x86)";
  if (machine == 0x8664) return "a 64-bit (x86-64)";
  if (machine == 0xAA64) return "a 64-bit ARM";
  char hex[8];
  std::snprintf(hex, sizeof hex, "%04X", machine);
  return std::string("a machine ") + hex;
}

std::string SystemFolder() {
  char path[MAX_PATH];
  const UINT n = GetSystemDirectoryA(path, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::string(path, n) : std::string();
}

std::string WindowsFolder() {
  char path[MAX_PATH];
  const UINT n = GetWindowsDirectoryA(path, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::string(path, n) : std::string();
}

std::string CurrentFolder() {
  char path[MAX_PATH];
  const DWORD n = GetCurrentDirectoryA(MAX_PATH, path);
  return n > 0 && n < MAX_PATH ? std::string(path, n) : std::string(".");
}

// The folders searched for a DLL imported by name, in the loader's order, each with what it
// is: the program's folder (or with the altered search path, the loaded library's), the
// system folders, the current folder, PATH.
std::vector<std::pair<std::string, std::string>> SearchFolders(const std::string& library,
                                                               bool altered) {
  std::vector<std::pair<std::string, std::string>> folders;
  if (altered)
    folders.emplace_back(FolderOf(FullPath(library)), "the driver's folder");
  else
    folders.emplace_back(ProgramFolder(), "qvhost's folder");
  folders.emplace_back(SystemFolder(), "a system folder");
  // A 32-bit program on 64-bit Windows reads System32 as SysWOW64, the name its modules bear.
  char wow64[MAX_PATH];
  const UINT w = GetSystemWow64DirectoryA(wow64, MAX_PATH);
  if (sizeof(void*) == 4 && w > 0 && w < MAX_PATH)
    folders.emplace_back(std::string(wow64, w), "a system folder");
  folders.emplace_back(WindowsFolder() + "\\System", "a system folder");
  folders.emplace_back(WindowsFolder(), "a system folder");
  folders.emplace_back(CurrentFolder(), "the current folder");
  char path[32768];
  const DWORD n = GetEnvironmentVariableA("PATH", path, sizeof path);
  if (n > 0 && n < sizeof path) {
    std::string list(path, n);
    for (size_t start = 0; start <= list.size();) {
      size_t end = list.find(';', start);
      if (end == std::string::npos) end = list.size();
      if (end > start) folders.emplace_back(list.substr(start, end - start), "a folder on PATH");
      start = end + 1;
    }
  }
  return folders;
}

// The file that the loader takes for the DLL `name` imported by `library`: the module of
// that name already loaded, else the first in the search folders; "" when none.
std::string FindImport(const std::string& name, const std::string& library, bool altered) {
  if (const HMODULE loaded = GetModuleHandleA(name.c_str())) {
    char path[MAX_PATH];
    const DWORD n = GetModuleFileNameA(loaded, path, MAX_PATH);
    if (n > 0 && n < MAX_PATH) return std::string(path, n);
  }
  for (const auto& [folder, what] : SearchFolders(library, altered)) {
    if (IsFile(folder + "\\" + name)) return folder + "\\" + name;
  }
  return {};
}

bool IsApiSet(const std::string& name) {
  return _strnicmp(name.c_str(), "api-ms-", 7) == 0 || _strnicmp(name.c_str(), "ext-ms-", 7) == 0;
}

// Why `file` (loaded as a dependency of `top`) cannot be loaded: the first of its imports,
// or of theirs outside the system folder, that is missing (126) or of the other kind (193).
std::string WhyNot(const std::string& file, const std::string& top, bool altered, DWORD code,
                   std::set<std::string>& seen, int depth) {
  const PeFile pe = ReadPe(file);
  if (!pe.ok || depth > 3 || !seen.insert(FullPath(file)).second) return {};
  const std::string system = SystemFolder();
  for (const std::string& name : pe.imports) {
    if (IsApiSet(name)) continue;
    const std::string found = FindImport(name, top, altered);
    if (found.empty()) {
      if (code != ERROR_MOD_NOT_FOUND) continue;
      return file + " needs " + name + ", which is in none of the folders searched (" +
             (altered ? "the driver's folder" : "the program's folder") +
             ", the system folders, the current folder, PATH)";
    }
    const PeFile dependency = ReadPe(found);
    if (code == ERROR_BAD_EXE_FORMAT && dependency.ok && dependency.machine != kOwnMachine)
      return file + " needs " + name + ", and the one found, " + found + ", is " +
             Kind(dependency.machine) + " DLL, but this program is " + Kind(kOwnMachine) +
             " program: a process loads only DLLs of its own kind";
    if (!SamePath(FolderOf(found), system)) {
      std::string why = WhyNot(found, top, altered, code, seen, depth + 1);
      if (!why.empty()) return why;
    }
  }
  return {};
}

std::string LoadError(const std::string& path, bool altered) {
  const DWORD code = GetLastError();
  const std::string number = " (error " + std::to_string(code) + ")";
  const std::string file = path.find_first_of("/\\") == std::string::npos
                               ? FindImport(path, path, altered)
                               : FullPath(path);
  if (code == ERROR_MOD_NOT_FOUND && (file.empty() || !IsFile(file)))
    return path + " is in none of the folders searched" + number;
  if (code == ERROR_BAD_EXE_FORMAT || code == ERROR_MOD_NOT_FOUND) {
    const PeFile pe = ReadPe(file);
    if (code == ERROR_BAD_EXE_FORMAT && pe.ok && pe.machine != kOwnMachine)
      return file + " is " + Kind(pe.machine) + " DLL, but this program is " + Kind(kOwnMachine) +
             " program: a process loads only DLLs of its own kind" + number;
    if (code == ERROR_BAD_EXE_FORMAT && !pe.ok) return file + " is not a DLL" + number;
    std::set<std::string> seen;
    const std::string why = WhyNot(file, file, altered, code, seen, 0);
    if (!why.empty()) return why + number;
    if (code == ERROR_MOD_NOT_FOUND) return "a DLL that " + file + " needs is missing" + number;
  }
  char text[512] = {};
  FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code, 0, text,
                 sizeof text, nullptr);
  std::string words = text;
  while (!words.empty() && (words.back() == '\n' || words.back() == '\r' || words.back() == ' '))
    words.pop_back();
  return (words.empty() ? std::string("LoadLibrary failed") : words) + number;
}

}  // namespace

Library::Library(const std::string& path, bool altered) {
  // The altered search path is defined for a full path only.
  handle_ = altered ? LoadLibraryExA(FullPath(path).c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH)
                    : LoadLibraryA(path.c_str());
  if (handle_ == nullptr) error_ = LoadError(path, altered);
}

Library::~Library() {
  if (handle_ != nullptr) FreeLibrary(static_cast<HMODULE>(handle_));
}

void* Library::Find(const char* name) const {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle_), name));
}

std::string Library::Path() const {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(static_cast<HMODULE>(handle_), path, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::string(path, n) : std::string();
}

std::string Beside(const std::string& path, const char* name) {
  return FolderOf(path) + "\\" + name;
}

const char* CardLibraryFileName() {
  return "VODRA_OX952.DLL";
}

std::string LoadedCardLibraryPath() {
  const HMODULE library = GetModuleHandleA(CardLibraryFileName());
  if (library == nullptr) return {};
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(library, path, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::string(path, n) : std::string();
}

std::string ProgramFolder() {
  char path[MAX_PATH];
  const DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  return n > 0 && n < MAX_PATH ? FolderOf(std::string(path, n)) : std::string(".");
}

std::string FoundIn(const std::string& path, const std::string& driver, bool altered) {
  for (const auto& [folder, what] : SearchFolders(driver, altered)) {
    if (SamePath(folder, FolderOf(path))) return what;
  }
  return {};
}

bool SamePath(const std::string& a, const std::string& b) {
  std::string x = FullPath(a), y = FullPath(b);
  for (std::string* s : {&x, &y}) {
    while (s->size() > 3 && (s->back() == '\\' || s->back() == '/')) s->pop_back();
  }
  return lstrcmpiA(x.c_str(), y.c_str()) == 0;
}

bool TwoWaysOfLoading() {
  return true;
}

void* LoadedCardLibraryFunction(const char* name) {
  const HMODULE library = GetModuleHandleA(CardLibraryFileName());
  return library != nullptr ? reinterpret_cast<void*>(GetProcAddress(library, name)) : nullptr;
}

std::string ProfileFilePath(const std::string& path) {
  if (path.find_first_of("/\\:") != std::string::npos) return path;
  return WindowsFolder() + "\\" + path;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

void SetEnvironment(const char* name, const char* value) {
  SetEnvironmentVariableA(name, value);
}

void BinaryStdout() {
  std::fflush(stdout);
  _setmode(_fileno(stdout), _O_BINARY);
}

std::string DefaultDriverPath(const char* argv0) {
  return FolderOf(argv0) + "\\Qv_lvk5120x.dll";
}

void SleepMs(int ms) {
  Sleep(static_cast<DWORD>(ms));
}

}  // namespace qvhost
