// What the updater window shows while a download runs, and its closing text.
#include <gtest/gtest.h>

#include "update/UpdaterProgress.h"

namespace drovane {
namespace {

TEST(UpdaterProgressTest, TheTextTellsTheTransferAndTheBarTheWholeDownloadOfFiles) {
  // The list: bar and text both tell the one transfer.
  UpdaterProgress list = ReceivingProgress(UpdatePhase::ListDownload, 512, 2048, 0, 0);
  EXPECT_EQ(list.barPosition, 25);
  EXPECT_EQ(list.text, "25% of 2.0 KB");
  // The second of two files of 1000 bytes each, half received: the text says 50 %, the bar 75 %.
  UpdaterProgress file = ReceivingProgress(UpdatePhase::FileDownload, 500, 1000, 1000, 2000);
  EXPECT_EQ(file.barPosition, 75);
  EXPECT_EQ(file.text, "50% of 1000 bytes");
  UpdaterProgress client = ReceivingProgress(UpdatePhase::ClientDownload, 1, 3, 0, 0);
  EXPECT_EQ(client.barPosition, 33);
  EXPECT_EQ(client.text, "33% of 3 bytes");
}

TEST(UpdaterProgressTest, NoTotalMeansZeroAndTheBarNeverPassesItsEnds) {
  UpdaterProgress unknown = ReceivingProgress(UpdatePhase::ListDownload, 700, 0, 0, 0);
  EXPECT_EQ(unknown.barPosition, 0);
  EXPECT_EQ(unknown.text, "0% of 0 bytes");
  EXPECT_EQ(ReceivingProgress(UpdatePhase::FileDownload, 10, 10, 5, 0).barPosition, 0);
  // Counters written on another thread may be read a moment apart.
  EXPECT_EQ(ReceivingProgress(UpdatePhase::FileDownload, 900, 1000, 1900, 2000).barPosition, 100);
}

TEST(UpdaterProgressTest, TheCompletionTextCountsFiles) {
  EXPECT_EQ(UpdateCompleteText(1), "Update is complete: 1 file was updated.");
  EXPECT_EQ(UpdateCompleteText(2), "Update is complete: 2 files were updated.");
  EXPECT_EQ(UpdateCompleteText(0), "Update is complete: 0 file was updated.");
}

}  // namespace
}  // namespace drovane
