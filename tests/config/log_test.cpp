#include "config/log.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "config/logfile.h"
#include "config/texts.h"
#include "tests/config/test_files.h"

namespace qv {
namespace {

std::string Compose(std::string_view message, int32_t number = kNoNumber, int32_t bus = 0,
                    int32_t slot = 5) {
  char line[512];
  const std::size_t n =
      ComposeLogLine(line, sizeof line, "7.12.2026", "13:05:28", bus, slot, message, number);
  return {line, n};
}

TEST(ComposeLogLine, PiecesInOrder) {
  EXPECT_EQ(Compose(text::kInitSucceeded),
            "[7.12.2026 13:05:28] (Qv_lvk5120x 0/5) Ovlada\xE8 \xFAsp\xEC\x9An\xEC "
            "inicializov\xE1n.\r\n");
  EXPECT_EQ(Compose(""), "[7.12.2026 13:05:28] (Qv_lvk5120x 0/5) \r\n");
  EXPECT_EQ(Compose("msg", -5, 3, 12), "[7.12.2026 13:05:28] (Qv_lvk5120x 3/12) msg-5\r\n");
  EXPECT_EQ(Compose("n=", 0), "[7.12.2026 13:05:28] (Qv_lvk5120x 0/5) n=0\r\n");
  EXPECT_EQ(Compose("", -2147483647 - 1, -1, 2147483647),
            "[7.12.2026 13:05:28] (Qv_lvk5120x -1/2147483647) -2147483648\r\n");
  EXPECT_EQ(Compose("", 2147483646), "[7.12.2026 13:05:28] (Qv_lvk5120x 0/5) 2147483646\r\n");
}

TEST(ComposeLogLine, NeverWritesPastTheBuffer) {
  const std::string full = Compose("abc");
  std::string buffer(full.size() + 1, '#');
  EXPECT_EQ(
      ComposeLogLine(buffer.data(), full.size(), "7.12.2026", "13:05:28", 0, 5, "abc", kNoNumber),
      full.size());
  EXPECT_EQ(buffer.substr(0, full.size()), full);
  EXPECT_EQ(buffer.back(), '#');
  EXPECT_EQ(ComposeLogLine(buffer.data(), full.size() - 1, "7.12.2026", "13:05:28", 0, 5, "abc",
                           kNoNumber),
            0u);
  EXPECT_EQ(buffer.back(), '#');
  EXPECT_EQ(ComposeLogLine(nullptr, 100, "d", "t", 0, 0, "", kNoNumber), 0u);
}

TEST(LogResultText, TableOfFourTexts) {
  EXPECT_EQ(LogResultText(LogResult::Ok),
            "V po\xF8\xE1"
            "dku.");
  EXPECT_EQ(LogResultText(LogResult::CannotOpen), text::kLogCannotOpen.view());
  EXPECT_EQ(LogResultText(LogResult::CannotCreate), text::kLogCannotCreate.view());
  EXPECT_EQ(LogResultText(LogResult::AccessError), text::kLogAccessError.view());
  EXPECT_EQ(LogResultText(LogResult{200}), text::kLogAccessError.view());
}

// A backend that records what the writer asks of it and fails where told.
struct FakeFile {
  LogResult open_result = LogResult::Ok;
  bool date_ok = true, append_ok = true, close_ok = true;
  int opens = 0, closes = 0;
  std::string opened_name, written;
};
FakeFile* fake = nullptr;

const LogFileBackend kFake = {
    .open = [](const char* name, LogFileHandle* handle) -> LogResult {
      ++fake->opens;
      fake->opened_name = name;
      if (fake->open_result == LogResult::Ok) *handle = 42;
      return fake->open_result;
    },
    .append =
        [](LogFileHandle handle, const char* data, std::size_t size) {
          EXPECT_EQ(handle, 42);
          fake->written.append(data, size);
          return fake->append_ok;
        },
    .close =
        [](LogFileHandle handle) {
          EXPECT_EQ(handle, 42);
          ++fake->closes;
          return fake->close_ok;
        },
    .local_date_time =
        [](char* date, std::size_t, char* time, std::size_t) {
          std::strcpy(date, "1.2.2026");
          std::strcpy(time, "3:04:05");
          return fake->date_ok;
        },
};

class WriteLogFake : public ::testing::Test {
 protected:
  WriteLogFake() {
    fake = &file_;
    cfg_.LogEnabled = 1;
    cfg_.LogFileName = "x.log";
    cfg_.ActualBus = 2;
    cfg_.ActualSlot = 13;
  }
  ~WriteLogFake() override { fake = nullptr; }
  LogResult Write(std::string_view message = "m") {
    return WriteLogWith(kFake, cfg_, message, kNoNumber);
  }
  FakeFile file_;
  TCFGData cfg_;
};

TEST_F(WriteLogFake, WritesOneLineThroughTheBackend) {
  EXPECT_EQ(Write(), LogResult::Ok);
  EXPECT_EQ(file_.opened_name, "x.log");
  EXPECT_EQ(file_.written, "[1.2.2026 3:04:05] (Qv_lvk5120x 2/13) m\r\n");
  EXPECT_EQ(file_.closes, 1);
  cfg_.LogEnabled = -3;  // any non-zero value enables
  EXPECT_EQ(Write(), LogResult::Ok);
  EXPECT_EQ(file_.opens, 2);
}

// Logging off, names the platform cannot hold, and open failures: nothing is written.
TEST_F(WriteLogFake, CodesBeforeTheFileIsOpen) {
  cfg_.LogEnabled = 0;
  cfg_.LogFileName = "";
  EXPECT_EQ(Write(), LogResult::Ok);
  cfg_.LogEnabled = 1;
  cfg_.LogFileName = std::string(260, 'n');
  EXPECT_EQ(Write(), LogResult::CannotCreate);
  cfg_.LogFileName = std::string("a\0b", 3);  // would open "a"
  EXPECT_EQ(Write(), LogResult::CannotCreate);
  EXPECT_EQ(file_.opens, 0);
  cfg_.LogFileName = std::string(259, 'n');
  for (LogResult code : {LogResult::CannotOpen, LogResult::CannotCreate}) {
    file_.open_result = code;
    EXPECT_EQ(Write(), code);
  }
  EXPECT_EQ(file_.opens, 2);
  EXPECT_EQ(file_.written, "");
  EXPECT_EQ(file_.closes, 0);
}

TEST_F(WriteLogFake, FailuresAfterOpeningGive3AndReleaseTheFile) {
  file_.date_ok = false;
  EXPECT_EQ(Write(), LogResult::AccessError);
  EXPECT_EQ(file_.written, "");
  file_.date_ok = true;
  file_.append_ok = false;
  EXPECT_EQ(Write(), LogResult::AccessError);
  file_.append_ok = true;
  file_.close_ok = false;
  EXPECT_EQ(Write(), LogResult::AccessError);
  file_.close_ok = true;
  file_.written.clear();
  EXPECT_EQ(Write(std::string(5000, 'm')), LogResult::AccessError);  // does not fit the line buffer
  EXPECT_EQ(file_.written, "");
  EXPECT_EQ(file_.closes, file_.opens);
}

// The platform's own backend on real files.
class WriteLogFile : public ::testing::Test {
 protected:
  WriteLogFile() {
    cfg_.LogEnabled = 1;
    cfg_.LogFileName = dir_.Path("drv.log");
    cfg_.ActualBus = 3;
    cfg_.ActualSlot = 12;
  }
  test::TempDir dir_;
  TCFGData cfg_;
};

TEST_F(WriteLogFile, CreatesThenAppends) {
  ASSERT_EQ(WriteLog(cfg_, "first"), LogResult::Ok);
  const std::string one = test::ReadBytes(cfg_.LogFileName);
  ASSERT_GE(one.size(), 2u);
  EXPECT_EQ(one.front(), '[');
  const std::size_t end = one.find("] (Qv_lvk5120x 3/12) first\r\n");
  ASSERT_NE(end, std::string::npos) << one;
  EXPECT_EQ(end + std::strlen("] (Qv_lvk5120x 3/12) first\r\n"), one.size());
  // Date and time: non-empty, separated by a blank, no line break inside.
  const std::string stamp = one.substr(1, end - 1);
  EXPECT_NE(stamp.find(' '), std::string::npos);
  EXPECT_EQ(stamp.find_first_of("\r\n"), std::string::npos);

  ASSERT_EQ(WriteLog(cfg_, "second", -5), LogResult::Ok);
  const std::string two = test::ReadBytes(cfg_.LogFileName);
  EXPECT_EQ(two.substr(0, one.size()), one);
  const std::string tail = ") second-5\r\n";
  ASSERT_GT(two.size(), one.size() + tail.size());
  EXPECT_EQ(two.substr(two.size() - tail.size()), tail);
  EXPECT_EQ(two[one.size()], '[');
}

TEST_F(WriteLogFile, DisabledCreatesNothing) {
  cfg_.LogEnabled = 0;
  cfg_.LogFileName = dir_.Path("no/dir/x.log");
  EXPECT_EQ(WriteLog(cfg_, "m"), LogResult::Ok);
  EXPECT_FALSE(std::filesystem::exists(dir_.Path("no")));
}

TEST_F(WriteLogFile, CannotCreateInAMissingDirectoryOrOverADirectory) {
  cfg_.LogFileName = dir_.Path("no/dir/x.log");
  EXPECT_EQ(WriteLog(cfg_, "m"), LogResult::CannotCreate);
  std::filesystem::create_directory(dir_.Path("sub"));
  cfg_.LogFileName = dir_.Path("sub");
  EXPECT_EQ(WriteLog(cfg_, "m"), LogResult::CannotCreate);
  cfg_.LogFileName = "";
  EXPECT_EQ(WriteLog(cfg_, "m"), LogResult::CannotCreate);
  cfg_.LogFileName = dir_.Path(std::string(300, 'n'));
  EXPECT_EQ(WriteLog(cfg_, "m"), LogResult::CannotCreate);
  EXPECT_EQ(LogResultText(LogResult::CannotCreate), text::kLogCannotCreate.view());
}

TEST_F(WriteLogFile, ReadOnlyFileCannotBeOpened) {
  const std::string path = dir_.Write("ro.log", "old\r\n");
  namespace fs = std::filesystem;
  fs::permissions(path, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  cfg_.LogFileName = path;
  EXPECT_EQ(WriteLog(cfg_, "m"), LogResult::CannotOpen);
  fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(test::ReadBytes(path), "old\r\n");
}

TEST_F(WriteLogFile, ASecondWriterIsShutOutWhileTheFileIsHeld) {
  ASSERT_EQ(WriteLog(cfg_, "first"), LogResult::Ok);
  const std::string before = test::ReadBytes(cfg_.LogFileName);
  {
    test::HeldWriter other(cfg_.LogFileName);
    ASSERT_TRUE(other.held());
    EXPECT_EQ(WriteLog(cfg_, "blocked"), LogResult::CannotOpen);
    EXPECT_EQ(test::ReadBytes(cfg_.LogFileName), before);  // readers still may read
  }
  EXPECT_EQ(WriteLog(cfg_, "again"), LogResult::Ok);
}

}  // namespace
}  // namespace qv
