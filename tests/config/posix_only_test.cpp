// Behaviour of our own POSIX backends where no Windows counterpart exists.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>
#include <string>

#include "config/log.h"
#include "config/profile.h"
#include "tests/config/test_files.h"

namespace qv {
namespace {

TEST(PosixProfile, AFifoGivesTheDefaultWithoutBlocking) {
  test::TempDir dir;
  const std::string fifo = dir.Path("fifo.ini");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  char out[16];
  EXPECT_EQ(ReadProfileString(fifo.c_str(), "s", "k", "d", out, sizeof out), 1u);
  EXPECT_STREQ(out, "d");
}

TEST(PosixLog, ShortWriteGives3) {
  TCFGData cfg;
  cfg.LogEnabled = 1;
  cfg.LogFileName = "/dev/full";
  EXPECT_EQ(WriteLog(cfg, "m"), LogResult::AccessError);
}

// The stamp follows the environment's LC_TIME; a locale that is not installed falls back
// to the "C" formats instead of failing the line.
TEST(PosixLog, UnknownLocaleFallsBackToC) {
  const char* saved = std::getenv("LC_ALL");
  const std::string old = saved != nullptr ? saved : "";
  test::TempDir dir;
  TCFGData cfg;
  cfg.LogEnabled = 1;
  cfg.LogFileName = dir.Path("c.log");
  for (const char* locale : {"C", "xx_NOWHERE.bogus"}) {
    setenv("LC_ALL", locale, 1);
    ASSERT_EQ(WriteLog(cfg, "m"), LogResult::Ok) << locale;
  }
  if (saved != nullptr)
    setenv("LC_ALL", old.c_str(), 1);
  else
    unsetenv("LC_ALL");
  const std::regex line(R"(\[\d\d/\d\d/\d\d \d\d:\d\d:\d\d\] \(Qv_lvk5120x 0/0\) m\r\n)");
  const std::string text = test::ReadBytes(cfg.LogFileName);
  ASSERT_EQ(text.size() % 2, 0u);
  EXPECT_TRUE(std::regex_match(text.substr(0, text.size() / 2), line)) << text;
  EXPECT_TRUE(std::regex_match(text.substr(text.size() / 2), line)) << text;
}

TEST(PosixLog, AFifoIsNoLogFile) {
  test::TempDir dir;
  TCFGData cfg;
  cfg.LogEnabled = 1;
  cfg.LogFileName = dir.Path("fifo.log");
  ASSERT_EQ(mkfifo(cfg.LogFileName.c_str(), 0600), 0);
  EXPECT_EQ(WriteLog(cfg, "m"), LogResult::CannotOpen);
}

}  // namespace
}  // namespace qv
