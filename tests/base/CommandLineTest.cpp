#include "base/CommandLine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace drovane {
namespace {

using ::testing::ElementsAre;

TEST(SplitCommandLine, UpdaterRelaunchLineWithQuotedPathsSplitsIntoFour) {
  EXPECT_THAT(SplitCommandLine("\"C:\\Program Files\\Drovane\\DrovaneClient.exe\" selfupdate "
                               "\"C:\\Program Files\\Drovane\\old copy.exe\" hidden"),
              ElementsAre("C:\\Program Files\\Drovane\\DrovaneClient.exe", "selfupdate",
                          "C:\\Program Files\\Drovane\\old copy.exe", "hidden"));
}

TEST(SplitCommandLine, LiteralQuotesFromBackslashQuoteAndDoubledQuote) {
  EXPECT_THAT(SplitCommandLine("prog a\\\"b \"c\"\"d\""), ElementsAre("prog", "a\"b", "c\"d"));
  EXPECT_THAT(SplitCommandLine("prog \"x\\\\y\" x\\\\y"), ElementsAre("prog", "x\\y", "x\\\\y"));
}

TEST(SplitCommandLine, RunsOfSpacesSeparateLikeOneSpace) {
  EXPECT_THAT(SplitCommandLine("prog   skipinitialselfupdate    normal  "),
              ElementsAre("prog", "skipinitialselfupdate", "normal"));
  EXPECT_THAT(SplitCommandLine("   "), ElementsAre());
  EXPECT_THAT(SplitCommandLine(""), ElementsAre());
}

TEST(SplitCommandLine, QuoteAfterClosingQuoteIsDroppedAndTextJoins) {
  // After a closing quote that is not followed by a space the argument goes on.
  EXPECT_THAT(SplitCommandLine("prog \"ab\"cd e"), ElementsAre("prog", "abcd", "e"));
  EXPECT_THAT(SplitCommandLine("prog \"a b\"c\"d e"), ElementsAre("prog", "a bcd", "e"));
  EXPECT_THAT(SplitCommandLine("\"only one"), ElementsAre("only one"));
}

TEST(LaunchModeFromArgument, OnlyExactLowerCaseNormalIsNormal) {
  EXPECT_EQ(LaunchModeFromArgument("normal"), LaunchMode::Normal);
  EXPECT_EQ(LaunchModeFromArgument("hidden"), LaunchMode::Hidden);
  EXPECT_EQ(LaunchModeFromArgument("NORMAL"), LaunchMode::Hidden);
  EXPECT_EQ(LaunchModeFromArgument(""), LaunchMode::Hidden);
}

}  // namespace
}  // namespace drovane
