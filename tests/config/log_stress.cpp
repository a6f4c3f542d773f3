// Two processes appending to one log file at once.
//   log_stress write FILE ID COUNT   appends COUNT lines "P<ID>-<n>", prints "fail <n>" for
//                                    each line WriteLog reported as not written
//   log_stress check FILE COUNT OUT1 OUT2
//                                    every line in FILE is whole, and every line of both
//                                    writers is either in FILE or was reported (OUTx holds
//                                    a writer's output)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

#include "config/log.h"

namespace {

int Write(const char* file, int id, int count) {
  qv::TCFGData cfg;
  cfg.LogEnabled = 1;
  cfg.LogFileName = file;
  int failed = 0;
  for (int n = 0; n < count; ++n) {
    const std::string message = "P" + std::to_string(id) + "-" + std::to_string(n);
    const qv::LogResult code = qv::WriteLog(cfg, message);
    if (code != qv::LogResult::Ok) {
      std::printf("fail %d %d\n", n, static_cast<int>(code));
      ++failed;
    }
  }
  std::printf("written %d failed %d\n", count - failed, failed);
  return 0;
}

std::set<std::string> Reported(const char* out, int id) {
  std::set<std::string> failed;
  std::ifstream in(out);
  std::string word;
  int n = 0, code = 0;
  while (in >> word) {
    if (word == "fail" && in >> n >> code)
      failed.insert("P" + std::to_string(id) + "-" + std::to_string(n));
  }
  return failed;
}

int Check(const char* file, int count, const char* out1, const char* out2) {
  std::ifstream in(file, std::ios::binary);
  std::stringstream all;
  all << in.rdbuf();
  const std::string text = all.str();
  std::set<std::string> present;
  std::size_t pos = 0, lines = 0;
  while (pos < text.size()) {
    const std::size_t end = text.find("\r\n", pos);
    if (end == std::string::npos) {
      std::printf("broken: the file ends inside a line\n");
      return 1;
    }
    const std::string line = text.substr(pos, end - pos);
    pos = end + 2;
    ++lines;
    const std::size_t open = line.find("] (Qv_lvk5120x 0/0) P");
    if (line.empty() || line[0] != '[' || open == std::string::npos ||
        line.find('[', 1) != std::string::npos) {
      std::printf("broken line %zu: %s\n", lines, line.c_str());
      return 1;
    }
    if (!present.insert(line.substr(open + 20)).second) {
      std::printf("duplicate line: %s\n", line.c_str());
      return 1;
    }
  }
  const std::set<std::string> failed1 = Reported(out1, 1), failed2 = Reported(out2, 2);
  int missing = 0;
  for (int id = 1; id <= 2; ++id) {
    const auto& failed = id == 1 ? failed1 : failed2;
    for (int n = 0; n < count; ++n) {
      const std::string key = "P" + std::to_string(id) + "-" + std::to_string(n);
      const bool in_file = present.count(key) != 0, reported = failed.count(key) != 0;
      if (in_file == reported) {
        std::printf("%s: %s\n", key.c_str(), in_file ? "written but reported" : "lost silently");
        ++missing;
      }
    }
  }
  std::printf("%zu lines whole, %zu reported not written, %d inconsistent\n", lines,
              failed1.size() + failed2.size(), missing);
  return missing == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "write") == 0)
    return Write(argv[2], std::atoi(argv[3]), std::atoi(argv[4]));
  if (argc == 6 && std::strcmp(argv[1], "check") == 0)
    return Check(argv[2], std::atoi(argv[3]), argv[4], argv[5]);
  std::fprintf(stderr, "usage: log_stress write FILE ID COUNT | check FILE COUNT OUT1 OUT2\n");
  return 2;
}
