#include "config/profile.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <optional>
#include <random>
#include <string>

#include "config/texts.h"
#include "tests/config/test_files.h"

namespace qv {
namespace {

using std::nullopt;
using Value = std::optional<std::string>;

Value Find(std::string_view file, std::string_view section, std::string_view key) {
  const auto found = FindProfileKey(file, section, key);
  return found && found->value ? Value(std::string(*found->value)) : nullopt;
}

TEST(ProfileDialect, LineEndsAndBlanks) {
  EXPECT_EQ(Find("[s]\r\nk=1\r\n", "s", "k"), "1");
  EXPECT_EQ(Find("[s]\nk=1", "s", "k"), "1");
  EXPECT_EQ(Find("[s]\ra=1\rk=2\r", "s", "k"), "2");
  EXPECT_EQ(Find("[s]\r\n\r\n\n\rk=3", "s", "k"), "3");
  EXPECT_EQ(Find("  \t[s]  \r\n\t k \t=\t 4 5 \t\r\n", "s", "k"), "4 5");
}

TEST(ProfileDialect, CommentsAndSections) {
  EXPECT_EQ(Find("[s]\r\n;k=1\r\n", "s", "k"), nullopt);
  EXPECT_EQ(Find("[s]\r\n  ;k=1\r\nk=2", "s", "k"), "2");
  EXPECT_EQ(Find("[s]\r\n#k=1\r\n", "s", "#k"), "1");  // '#' is no comment character
  EXPECT_EQ(Find("[s]\r\n#k=1\r\n", "s", "k"), nullopt);
  EXPECT_EQ(Find("[ s ] trailing ] text\r\nk=1", "s", "k"), "1");
  EXPECT_EQ(Find("[s\r\nk=1", "s", "k"), "1");  // header without "]"
  EXPECT_EQ(Find("[]\r\nk=1", "", "k"), "1");
  EXPECT_EQ(Find("k=1\r\n[s]\r\n", "", "k"), nullopt);  // before any header: unreadable
  EXPECT_EQ(Find("k=1\r\n[s]\r\n", "s", "k"), nullopt);
  EXPECT_EQ(Find("[t]\r\nk=1\r\n", "s", "k"), nullopt);
}

TEST(ProfileDialect, KeysAndValues) {
  EXPECT_EQ(Find("[s]\r\nk=\r\n", "s", "k"), "");         // empty, not the default
  EXPECT_EQ(Find("[s]\r\nk\r\nk=1", "s", "k"), nullopt);  // no "=": the default, and it wins
  EXPECT_EQ(Find("[s]\r\nk=a=b", "s", "k"), "a=b");
  EXPECT_EQ(Find(std::string("[s]\r\nk=a\0b", 10), "s", "k"), std::string("a\0b", 3));
  EXPECT_EQ(Find("[s]\r\n=v", "s", ""), "v");
  EXPECT_EQ(Find("[s]\r\nk=1\r\nk=2", "s", "k"), "1");
  // Only the first section of a name is searched.
  EXPECT_EQ(Find("[s]\r\na=1\r\n[s]\r\nk=2", "s", "k"), nullopt);
  EXPECT_EQ(Find("[t]\r\nk=1\r\n[s]\r\nk=2", "s", "k"), "2");
}

TEST(ProfileDialect, NamesMatchIgnoringAsciiCaseAfterTrimming) {
  EXPECT_EQ(Find("[Section]\r\nMyKey=1", " sECTION\t", " mykey "), "1");
  const std::string file = "[" + std::string(text::kSectionCard.view()) + "]\r\nbus=9";
  EXPECT_EQ(Find(file, text::kSectionCard, "BUS"), "9");
  // Bytes above 127 compare as they are.
  EXPECT_EQ(Find("[\xE1]\r\nk=1", "\xE1", "k"), "1");
  EXPECT_EQ(Find("[\xE1]\r\nk=1", "a", "k"), nullopt);
}

TEST(ProfileDialect, OneOuterQuotePairIsRemoved) {
  EXPECT_EQ(Find("[s]\r\nk=\" a b \"", "s", "k"), " a b ");
  EXPECT_EQ(Find("[s]\r\nk='x'", "s", "k"), "x");
  EXPECT_EQ(Find("[s]\r\nk=\"\"", "s", "k"), "");
  EXPECT_EQ(Find("[s]\r\nk=\"\"x\"\"", "s", "k"), "\"x\"");
  EXPECT_EQ(Find("[s]\r\nk=\"x'", "s", "k"), "\"x'");
  EXPECT_EQ(Find("[s]\r\nk=\"", "s", "k"), "\"");
  EXPECT_EQ(Find("[s]\r\nk=x\"", "s", "k"), "x\"");
}

// Files made of the characters the dialect cares about: a found value must lie inside the
// file and hold no line break (which is what lets LoadCFGData use one as its "absent" mark).
TEST(ProfileDialect, RandomFilesGiveValuesInsideTheFile) {
  const char alphabet[] = {'[', ']',  '=', ';', '"', '\'', '\r',  '\n',
                           ' ', '\t', 'k', 'K', 's', '\0', '\xFF'};
  std::minstd_rand rng(12345);
  for (int round = 0; round < 3000; ++round) {
    std::string file(rng() % 40, ' ');
    for (char& c : file) c = alphabet[rng() % sizeof alphabet];
    for (const char* key : {"k", "", " K "}) {
      const auto found = FindProfileKey(file, "s", key);
      if (!found || !found->value) continue;
      const auto& v = found->value;
      ASSERT_GE(v->data(), file.data());
      ASSERT_LE(v->data() + v->size(), file.data() + file.size());
      ASSERT_EQ(v->find_first_of("\r\n"), std::string_view::npos);
    }
  }
}

TEST(ProfileDialect, CopyCutsAndTrimsTheDefault) {
  char out[5] = {'x', 'x', 'x', 'x', 'x'};
  EXPECT_EQ(CopyProfileResult("abcdefgh", false, out, sizeof out), 4u);
  EXPECT_STREQ(out, "abcd");
  EXPECT_EQ(CopyProfileResult(" d  ", true, out, sizeof out), 2u);
  EXPECT_STREQ(out, " d");
  EXPECT_EQ(CopyProfileResult("v  ", false, out, sizeof out), 3u);  // only the default
  EXPECT_STREQ(out, "v  ");
  EXPECT_EQ(CopyProfileResult("abc", false, out, 1), 0u);
  EXPECT_STREQ(out, "");
  out[0] = 'x';
  EXPECT_EQ(CopyProfileResult("abc", false, out, 0), 0u);
  EXPECT_EQ(out[0], 'x');
  EXPECT_EQ(CopyProfileResult("abc", false, nullptr, 10), 0u);
}

// The file reader of this platform, on what Windows and our reader agree on.
class ProfileFile : public ::testing::Test {
 protected:
  std::string Read(const std::string& path, std::string_view section, std::string_view key,
                   std::string_view def = "DEF") {
    char out[2048];
    const std::size_t n = ReadProfileString(path.c_str(), section, key, def, out, sizeof out);
    EXPECT_EQ(n, std::string(out).size());
    return out;
  }
  test::TempDir dir_;
};

TEST_F(ProfileFile, MissingFileDirectoryOrEmptyPathGiveTheDefault) {
  EXPECT_EQ(Read(dir_.Path("none.ini"), "s", "k"), "DEF");
  EXPECT_EQ(Read(dir_.Path("no/such/dir.ini"), "s", "k"), "DEF");
  EXPECT_EQ(Read(dir_.Path(""), "s", "k"), "DEF");
  EXPECT_EQ(Read("", "s", "k"), "DEF");
  EXPECT_EQ(Read(dir_.Path("none.ini"), "s", "k", "d  "), "d");
}

TEST_F(ProfileFile, ReadsValuesInTheWindowsDialect) {
  const std::string path = dir_.Write("p.ini",
                                      "; comment\r\n"
                                      "[Nastaveni]\r\n"
                                      "  Key = \"  quoted \" \r\n"
                                      ";Other=1\r\n"
                                      "Empty=\r\n"
                                      "Novalue\r\n"
                                      "dup=1\r\n"
                                      "dup=2\r\n"
                                      "[Second]\r\n"
                                      "k=v\r\n");
  EXPECT_EQ(Read(path, "nastaveni", "KEY"), "  quoted ");
  EXPECT_EQ(Read(path, "Nastaveni", "Other"), "DEF");
  EXPECT_EQ(Read(path, "Nastaveni", "Empty"), "");
  EXPECT_EQ(Read(path, "Nastaveni", "Novalue"), "DEF");
  EXPECT_EQ(Read(path, "Nastaveni", "dup"), "1");
  EXPECT_EQ(Read(path, "Second", "k"), "v");
  EXPECT_EQ(Read(path, "Second", "key"), "DEF");
}

TEST_F(ProfileFile, ALongValueIsCutTo2047Bytes) {
  const std::string value(3000, '7');
  const std::string path = dir_.Write("long.ini", "[s]\r\nk=" + value + "\r\n");
  EXPECT_EQ(Read(path, "s", "k"), value.substr(0, 2047));
}

}  // namespace
}  // namespace qv
