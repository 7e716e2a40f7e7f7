// The order of the upload requirements, the once-a-minute rule and the log line of each attempt.
#include <gtest/gtest.h>

#include "upload/UploadRequirements.h"

namespace drovane {
namespace {

UploadRequirementFacts AllMet() {
  UploadRequirementFacts facts;
  facts.hasDataToUpload = true;
  facts.username = "Tester";
  facts.password = "0123456789abcdef0123456789abcdef";
  facts.now = 1700000000;
  return facts;
}

TEST(UploadRequirementsTest, TheFirstFailingCheckWins) {
  UploadRequirementFacts facts = AllMet();
  EXPECT_EQ(CheckUploadRequirements(facts), UploadRequirement::Met);
  facts.lastUploadKnown = true;
  facts.lastUpload = facts.now - 10;
  EXPECT_EQ(CheckUploadRequirements(facts), UploadRequirement::OncePerMinute);
  facts.password.clear();
  EXPECT_EQ(CheckUploadRequirements(facts), UploadRequirement::MissingLogin);
  facts.gameWindowOpen = true;
  EXPECT_EQ(CheckUploadRequirements(facts), UploadRequirement::GameRunning);
  facts.hasDataToUpload = false;
  EXPECT_EQ(CheckUploadRequirements(facts), UploadRequirement::NoData);

  UploadRequirementFacts noName = AllMet();
  noName.username.clear();
  EXPECT_EQ(CheckUploadRequirements(noName), UploadRequirement::MissingLogin);
}

TEST(UploadRequirementsTest, OnlyAnUploadInThePastMinuteBlocks) {
  UploadRequirementFacts facts = AllMet();
  facts.lastUploadKnown = true;
  const struct {
    int64_t secondsAgo;
    UploadRequirement expected;
  } cases[] = {
      {1, UploadRequirement::OncePerMinute},  {30, UploadRequirement::OncePerMinute},
      {59, UploadRequirement::OncePerMinute}, {60, UploadRequirement::Met},
      {3600, UploadRequirement::Met},         {0, UploadRequirement::Met},
      {-5, UploadRequirement::Met},  // a clock set back must not lock the player out
  };
  for (const auto& c : cases) {
    facts.lastUpload = facts.now - c.secondsAgo;
    EXPECT_EQ(CheckUploadRequirements(facts), c.expected) << c.secondsAgo;
  }
  facts.lastUploadKnown = false;
  facts.lastUpload = facts.now - 1;
  EXPECT_EQ(CheckUploadRequirements(facts), UploadRequirement::Met);
}

TEST(UploadRequirementsTest, MessagesAndLogLinesAreExact) {
  EXPECT_EQ(UploadRequirementMessage(UploadRequirement::NoData), "No data to upload at this time.");
  EXPECT_EQ(UploadRequirementMessage(UploadRequirement::GameRunning),
            "Please close World of Warcraft before uploading.");
  EXPECT_EQ(UploadRequirementMessage(UploadRequirement::MissingLogin),
            "Please enter your login information first.");
  EXPECT_EQ(UploadRequirementMessage(UploadRequirement::OncePerMinute),
            "You may upload only once per minute.");
  EXPECT_EQ(UploadRequirementMessage(UploadRequirement::Met), "");
  EXPECT_EQ(UploadAttemptLogText(false, UploadRequirement::Met),
            "Attempting to upload: All requirements met.");
  EXPECT_EQ(UploadAttemptLogText(true, UploadRequirement::GameRunning),
            "Attempting to upload (automated): Please close World of Warcraft before uploading.");
}

}  // namespace
}  // namespace drovane
