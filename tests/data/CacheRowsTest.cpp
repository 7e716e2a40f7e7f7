#include "data/CacheRows.h"

#include <gtest/gtest.h>

namespace drovane {
namespace {

TEST(PercentText, DashWithoutRecordsElseIntegerShare) {
  EXPECT_EQ(PercentText(0, 0), "-");
  EXPECT_EQ(PercentText(0, 3), "0%");
  EXPECT_EQ(PercentText(1, 3), "33%");
  EXPECT_EQ(PercentText(2, 3), "66%");
  EXPECT_EQ(PercentText(3, 3), "100%");
  // Beyond 21 million records a 32-bit product would wrap.
  EXPECT_EQ(PercentText(30000000, 30000000), "100%");
}

TEST(CacheRows, WdbKindsItemsAndTheAdbTotalInOrder) {
  CacheCounters counters;
  counters.wdb[0] = {0, 3, 1, 1536};
  counters.adb[1] = {1, 4, 4, 2048};
  counters.adb[0] = {1, 6, 0, 100};
  const std::vector<CacheRowTexts> rows = CacheListRows(counters);
  ASSERT_EQ(rows.size(), 6u);
  EXPECT_EQ(rows[0].type, "Creatures");
  EXPECT_EQ(rows[0].count, "3");
  EXPECT_EQ(rows[0].size, "1.5 KB");
  EXPECT_EQ(rows[0].uploaded, "33%");
  EXPECT_EQ(rows[0].description, "Monsters and NPCs");
  EXPECT_EQ(rows[1].type, "Objects");
  EXPECT_EQ(rows[1].count, "0");
  EXPECT_EQ(rows[1].size, "0");
  EXPECT_EQ(rows[1].uploaded, "-");
  EXPECT_EQ(rows[1].description, "Chests, minerals, herbs, etc.");
  EXPECT_EQ(rows[2].description, "Readable items/objects text");
  EXPECT_EQ(rows[3].type, "Quests");
  EXPECT_EQ(rows[3].description, "Quests description and objectives");
  EXPECT_EQ(rows[4].type, "Items");
  EXPECT_EQ(rows[4].count, "4");
  EXPECT_EQ(rows[4].size, "2.0 KB");
  EXPECT_EQ(rows[4].uploaded, "100%");
  EXPECT_EQ(rows[4].description, "Items");
  EXPECT_EQ(rows[5].type, "ADB files");
  EXPECT_EQ(rows[5].count, "2 files");
  EXPECT_EQ(rows[5].size, "2.1 KB");
  EXPECT_EQ(rows[5].uploaded, "40%");
  EXPECT_EQ(rows[5].description, "WoW cache files");
}

TEST(CacheRows, AdbTotalSaysFileOnlyForExactlyOne) {
  CacheFileEntry adb[kAdbKindCount];
  EXPECT_EQ(AdbSummaryRow(adb).count, "0 files");
  EXPECT_EQ(AdbSummaryRow(adb).size, "0");
  EXPECT_EQ(AdbSummaryRow(adb).uploaded, "-");
  adb[6].files = 1;
  EXPECT_EQ(AdbSummaryRow(adb).count, "1 file");
  adb[2].files = 1;
  EXPECT_EQ(AdbSummaryRow(adb).count, "2 files");
}

}  // namespace
}  // namespace drovane
