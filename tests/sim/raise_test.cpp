// Raising faults from OX952_CardsInSystem, each really raised as configured.
#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/sim/sim_test_util.h"

namespace qv::sim::test {
namespace {

void CountRaising(const char* config) {
  ExitOnFault();
  OX952Sim_Configure(config);
  uint32_t count = 0;
  OX952_CardsInSystem(&count);
  std::exit(0);
}

TEST(SimRaiseDeathTest, AccessViolation) {
  EXPECT_EXIT(CountRaising("raise access-violation"),
              ::testing::ExitedWithCode(kExitAccessViolation), "");
}

TEST(SimRaiseDeathTest, IllegalInstruction) {
  EXPECT_EXIT(CountRaising("raise illegal-instruction"),
              ::testing::ExitedWithCode(kExitIllegalInstruction), "");
}

#if defined(_WIN32)
TEST(SimRaiseDeathTest, CppExceptionIsAnMsvcException) {
  EXPECT_EXIT(CountRaising("raise cpp-exception"), ::testing::ExitedWithCode(kExitCppException),
              "");
}
#else
TEST(SimRaiseTest, CppExceptionIsThrown) {
  OX952Sim_Configure("card 512 2 13\nraise cpp-exception 2\n");
  uint32_t count = 0;
  EXPECT_EQ(OX952_CardsInSystem(&count), 0u);
  EXPECT_THROW(OX952_CardsInSystem(&count), std::runtime_error);
  EXPECT_EQ(OX952_CardsInSystem(&count), 0u) << "only the configured call raises";
  OX952SimCall call{};
  ASSERT_EQ(OX952Sim_JournalEntry(1, &call), 0);
  EXPECT_EQ(call.result, OX952SIM_RAISED);
  OX952Sim_Reset();
}
#endif

}  // namespace
}  // namespace qv::sim::test
