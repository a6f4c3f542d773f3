#include "config/int_text.h"

#include <gtest/gtest.h>

namespace qv {
namespace {

struct Case {
  const char* text;
  bool ok;
  int32_t value;
};

TEST(ParseIniInteger, AcceptsDecimalAndHexForms) {
  const Case cases[] = {
      {"0", true, 0},
      {"42", true, 42},
      {"+42", true, 42},
      {"-42", true, -42},
      {"  \t 7", true, 7},
      {"0012", true, 12},  // a leading zero does not mean octal
      {"2147483647", true, 2147483647},
      {"-2147483648", true, -2147483647 - 1},
      {"000000000002147483647", true, 2147483647},
      {"$1f", true, 31},
      {"0x1F", true, 31},
      {"0X1f", true, 31},
      {"x1F", true, 31},
      {"X1f", true, 31},
      {" $100", true, 256},
      {"$7FFFFFFF", true, 2147483647},
      {"$80000000", true, -2147483647 - 1},
      {"$FFFFFFFF", true, -1},
      {"$00000001", true, 1},
  };
  for (const Case& c : cases) {
    int32_t out = 99;
    EXPECT_TRUE(ParseIniInteger(c.text, out)) << c.text;
    EXPECT_EQ(out, c.value) << c.text;
  }
}

TEST(ParseIniInteger, RejectsEverythingElseAndKeepsTheDefault) {
  const char* const rejected[] = {
      "",           " ",           "+",     "-",          "$",           "0x",          "x",
      "-$10",       "+0x10",       "12.0",  "12 ",        "1e3",         "abc",         "12a",
      "$123456789", "0x000000000", "$G",    "2147483648", "-2147483649", "99999999999", "0x-1",
      "$ 1",        "- 1",         "0x1F ", "\n1",        "1\n",         "０",
  };
  for (const char* text : rejected) {
    int32_t out = 99;
    EXPECT_FALSE(ParseIniInteger(text, out)) << text;
    EXPECT_EQ(out, 99) << text;
  }
}

}  // namespace
}  // namespace qv
