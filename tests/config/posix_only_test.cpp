// Behaviour of our own POSIX backends where no Windows counterpart exists.
#include <sys/stat.h>

#include <gtest/gtest.h>

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
  EXPECT_EQ(WriteLog(cfg, "m"), 3);
}

TEST(PosixLog, AFifoIsNoLogFile) {
  test::TempDir dir;
  TCFGData cfg;
  cfg.LogEnabled = 1;
  cfg.LogFileName = dir.Path("fifo.log");
  ASSERT_EQ(mkfifo(cfg.LogFileName.c_str(), 0600), 0);
  EXPECT_EQ(WriteLog(cfg, "m"), 1);
}

}  // namespace
}  // namespace qv
