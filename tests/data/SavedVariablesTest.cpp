#include "data/SavedVariables.h"

#include <gtest/gtest.h>

namespace drovane {
namespace {

TEST(ParseUploadedState, NumberAfterTheFirstMarker) {
  EXPECT_EQ(ParseUploadedState("dlUploaded = 1\n"), 1);
  EXPECT_EQ(ParseUploadedState("x\r\ndlUploaded = 3\r\ndlUploaded = 1\r\n"), 3);
  EXPECT_EQ(ParseUploadedState("dlUploaded = 7"), 7);
  EXPECT_EQ(ParseUploadedState("dlUploaded =  -2"), -2);
  EXPECT_EQ(ParseUploadedState("dlUploaded = 99999999999"), 2147483647);
}

TEST(ParseUploadedState, NoMarkerOrNoNumberIsZero) {
  EXPECT_EQ(ParseUploadedState(""), 0);
  EXPECT_EQ(ParseUploadedState("dlUploaded=3"), 0);
  EXPECT_EQ(ParseUploadedState("dlUploaded = nil"), 0);
  EXPECT_EQ(ParseUploadedState("dlUploaded = "), 0);
  EXPECT_EQ(ParseUploadedState("dlUploaded = 0x3"), 0) << "decimal only";
}

TEST(ParseStats, SixCountersInFileOrder) {
  int32_t stats[6];
  ASSERT_TRUE(ParseStats("dlStats = \"1^2^3^4^5^6\"\n", stats));
  for (int i = 0; i < 6; ++i) EXPECT_EQ(stats[i], i + 1);
}

TEST(ParseStats, HexOctalSignsAndLeadingWhiteSpace) {
  int32_t stats[6];
  ASSERT_TRUE(ParseStats("dlStats = \"0x10^010^-3^+4^ \t5^0X1f\"", stats));
  EXPECT_EQ(stats[0], 16);
  EXPECT_EQ(stats[1], 8);
  EXPECT_EQ(stats[2], -3);
  EXPECT_EQ(stats[3], 4);
  EXPECT_EQ(stats[4], 5);
  EXPECT_EQ(stats[5], 31);
  ASSERT_TRUE(ParseStats("dlStats = \"0^0^0^0^0^0\"", stats));
  EXPECT_EQ(stats[0], 0);
}

TEST(ParseStats, MalformedCountersFail) {
  int32_t stats[6] = {9, 9, 9, 9, 9, 9};
  EXPECT_FALSE(ParseStats("", stats));
  EXPECT_FALSE(ParseStats("dlStats = \"", stats)) << "nothing after the word's 11 characters";
  EXPECT_FALSE(ParseStats("dlStats = \"1^2^3^4^5\"", stats));
  EXPECT_FALSE(ParseStats("dlStats = \"1^2^3^4^5^\"", stats));
  EXPECT_FALSE(ParseStats("dlStats = \"1^2 ^3^4^5^6\"", stats)) << "\"^\" must follow at once";
  EXPECT_FALSE(ParseStats("dlStats = \"1^x^3^4^5^6\"", stats));
  EXPECT_FALSE(ParseStats("dlStats = \"08^1^1^1^1^1\"", stats)) << "8 is no octal digit";
  EXPECT_FALSE(ParseStats("dlStats = \"0x^1^1^1^1^1\"", stats));
  EXPECT_EQ(stats[0], 9) << "a failed parse leaves the counters alone";
}

TEST(ScanSavedVariablesText, OnlyTheTwoLowBitsDecideAlreadyUploaded) {
  const std::string bad = "dlStats = \"1^2\"\n";
  EXPECT_EQ(ScanSavedVariablesText("dlUploaded = 3\n" + bad).outcome,
            SavedVariablesOutcome::AlreadyUploaded);
  EXPECT_EQ(ScanSavedVariablesText("dlUploaded = 7\n" + bad).outcome,
            SavedVariablesOutcome::AlreadyUploaded);
  EXPECT_EQ(ScanSavedVariablesText("dlUploaded = 1\n" + bad).outcome,
            SavedVariablesOutcome::ErrorInFile);
  const SavedVariablesScan two =
      ScanSavedVariablesText("dlUploaded = 2\ndlStats = \"1^2^3^4^5^6\"\n");
  EXPECT_EQ(two.outcome, SavedVariablesOutcome::NotUploaded);
  EXPECT_EQ(two.uploadState, 2);
  EXPECT_EQ(two.stats[5], 6);
  EXPECT_STREQ(OutcomeText(SavedVariablesOutcome::AlreadyUploaded), "Already uploaded.");
  EXPECT_STREQ(OutcomeText(SavedVariablesOutcome::ErrorInFile), "Error in file.");
  EXPECT_STREQ(OutcomeText(SavedVariablesOutcome::NotUploaded), "Not uploaded.");
}

TEST(HasPendingUpload, BasePartAlwaysExportLineOnlyWhenAllowed) {
  for (int state : {0, 2}) {
    EXPECT_TRUE(HasPendingUpload(state, true, true)) << state;
  }
  EXPECT_TRUE(HasPendingUpload(1, false, false));
  EXPECT_FALSE(HasPendingUpload(1, true, false));
  EXPECT_FALSE(HasPendingUpload(1, false, true));
}

}  // namespace
}  // namespace drovane
