#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "fakegame/GameData.h"
#include "gamefixture/AddonFile.h"

namespace drovane::fixture {
namespace {

// The client's reading of the counters: six integers from 11 characters after "dlStats".
bool ClientStats(const std::string& text, long (&stats)[6]) {
  const size_t at = text.find("dlStats");
  if (at == std::string::npos || at + 11 >= text.size()) return false;
  const char* cursor = text.c_str() + at + 11;
  for (int i = 0; i < 6; ++i) {
    char* end = nullptr;
    stats[i] = std::strtol(cursor, &end, 0);
    if (end == cursor) return false;
    cursor = end;
    if (i < 5 && *cursor++ != '^') return false;
  }
  return true;
}

int Count(const std::string& text, const std::string& part) {
  int count = 0;
  for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

TEST(FixtureAddon, FileText) {
  AddonFileParams params;
  params.version = 9;
  params.uploaded = 2;
  params.stats[0] = 1;
  params.stats[1] = 2;
  params.stats[2] = 3;
  params.stats[3] = 4;
  params.stats[4] = 5;
  params.stats[5] = 6;
  params.exportData = "Char1^Realm^MAGE^80^100";
  EXPECT_EQ(BuildAddonFile(params),
            "\ndlVersion = 9\ndlUploaded = 2\ndlStats = \"1^2^3^4^5^6\"\ndlLoot = {\n}\n"
            "dlExportData = \"Char1^Realm^MAGE^80^100\"\n");
  params.crlf = true;
  params.exportData.clear();
  EXPECT_EQ(
      BuildAddonFile(params),
      "\r\ndlVersion = 9\r\ndlUploaded = 2\r\ndlStats = \"1^2^3^4^5^6\"\r\ndlLoot = {\r\n}\r\n");
}

TEST(FixtureAddon, LootLines) {
  AddonFileParams params;
  params.lootEntries = 3;
  params.seed = 4;
  const std::string text = BuildAddonFile(params);
  const std::string table = "dlLoot = {\n\t\"" + LootEntry(4, 0) + "\",\n\t\"" + LootEntry(4, 1) +
                            "\",\n\t\"" + LootEntry(4, 2) + "\",\n}\n";
  EXPECT_NE(text.find(table), std::string::npos) << text;
  const std::string entry = LootEntry(4, 0);
  EXPECT_EQ(Count(entry, "^"), 5);
  EXPECT_EQ(entry.find_first_not_of("0123456789^"), std::string::npos);
  EXPECT_NE(LootEntry(4, 0), LootEntry(4, 1));
  EXPECT_NE(LootEntry(4, 0), LootEntry(5, 0));
}

TEST(FixtureAddon, SampleFileReadsAsTheClientReadsIt) {
  const AddonFileParams params = SampleAddonParams("ВОИН", 1, 12);
  const std::string text = BuildAddonFile(params);
  long stats[6] = {};
  ASSERT_TRUE(ClientStats(text, stats));
  for (int i = 0; i < 6; ++i) EXPECT_EQ(stats[i], params.stats[i]);
  EXPECT_EQ(stats[3], 12);                                 // loots: the loot lines
  EXPECT_EQ(stats[5], Count(params.exportData, "|") + 1);  // profiles: the characters
  EXPECT_EQ(Count(text, "\n\t\""), 12);
  EXPECT_EQ(Count(text, "dlExportData = \""), 1);
  EXPECT_NE(text.find("\ndlUploaded = 0\n"), std::string::npos);
  EXPECT_NE(text.find("\ndlVersion = 7\n"), std::string::npos);
  EXPECT_GE(text.size(), 26u);
  EXPECT_NE(BuildAddonFile(SampleAddonParams("OTHER", 1, 12)), text);
  EXPECT_EQ(BuildAddonFile(SampleAddonParams("ВОИН", 1, 12)), text);
}

TEST(FixtureAddon, ChangesReplaceOnlyTheirLine) {
  const std::string text = "\ndlVersion = 7\ndlUploaded = 3\ndlStats = \"1^2^3^4^5^6\"\nrest\n";
  EXPECT_EQ(SetAddonUploaded(text, 0),
            "\ndlVersion = 7\ndlUploaded = 0\ndlStats = \"1^2^3^4^5^6\"\nrest\n");
  const int32_t stats[6] = {10, 20, 30, 40, 50, 60};
  EXPECT_EQ(SetAddonStats(text, stats),
            "\ndlVersion = 7\ndlUploaded = 3\ndlStats = \"10^20^30^40^50^60\"\nrest\n");
  // A carriage return that ended the line stays.
  EXPECT_EQ(SetAddonUploaded("dlUploaded = 1\r\nx\r\n", 12), "dlUploaded = 12\r\nx\r\n");
  // Missing lines are added at the end, with the file's line ends.
  EXPECT_EQ(SetAddonUploaded("a\r\nb", 1), "a\r\nb\r\ndlUploaded = 1\r\n");
  EXPECT_EQ(SetAddonStats("", stats), "dlStats = \"10^20^30^40^50^60\"\n");
}

TEST(FixtureAddon, ReadStats) {
  int32_t stats[6] = {};
  EXPECT_TRUE(ReadAddonStats("x\ndlStats = \"1^22^333^4^5^6\"\n", stats));
  EXPECT_EQ(stats[1], 22);
  EXPECT_EQ(stats[5], 6);
  EXPECT_FALSE(ReadAddonStats("dlStats = \"1^2^3^4^5\"", stats));
  EXPECT_FALSE(ReadAddonStats("dlStats = \"1^2^3^4^5^\"", stats));
  EXPECT_FALSE(ReadAddonStats("nothing", stats));
}

TEST(FixtureAddon, AddLootEntriesGoesIntoTheTable) {
  AddonFileParams params;
  params.lootEntries = 2;
  params.exportData = "X";
  const std::string text = BuildAddonFile(params);
  const std::string more = AddLootEntries(text, 3, 77);
  EXPECT_EQ(Count(more, "\n\t\""), 5);
  // The new lines come after the old ones, before the table's end, and are numbered on.
  const size_t close = more.find("\n}\n");
  EXPECT_NE(more.find("\t\"" + LootEntry(77, 2) + "\",\n\t\"" + LootEntry(77, 3) + "\",\n\t\"" +
                      LootEntry(77, 4) + "\",\n}\n"),
            std::string::npos);
  EXPECT_LT(more.find(LootEntry(77, 4)), close);
  EXPECT_EQ(more.substr(close), "\n}\ndlExportData = \"X\"\n");
  EXPECT_EQ(AddLootEntries("a\r\n", 1, 1),
            "a\r\ndlLoot = {\r\n\t\"" + LootEntry(1, 0) + "\",\r\n}\r\n");
}

TEST(FixtureAddon, FakeGameCollectMarksTheFileNotUploaded) {
  AddonFileParams params = SampleAddonParams("MY MAIN", 1, 4);
  params.uploaded = 3;
  params.crlf = true;
  const std::string before = BuildAddonFile(params);
  fakegame::AddonChange change;
  change.what = fakegame::AddonChange::What::Collect;
  change.account = "MY MAIN";
  change.value = 6;
  const std::string after = fakegame::ApplyAddonChange(before, change, 1);
  long stats[6] = {};
  ASSERT_TRUE(ClientStats(after, stats));
  EXPECT_EQ(stats[3], 10);
  EXPECT_EQ(stats[0], params.stats[0]);
  EXPECT_NE(after.find("\r\ndlUploaded = 0\r\n"), std::string::npos);
  EXPECT_EQ(Count(after, "\r\n\t\""), 10);
  EXPECT_EQ(Count(after, "\n"), Count(after, "\r\n"));

  change.what = fakegame::AddonChange::What::Uploaded;
  change.value = 1;
  EXPECT_NE(fakegame::ApplyAddonChange(after, change, 1).find("dlUploaded = 1\r\n"),
            std::string::npos);
  change.what = fakegame::AddonChange::What::Stats;
  for (int i = 0; i < 6; ++i) change.stats[i] = i + 1;
  const std::string fresh = fakegame::ApplyAddonChange("", change, 1);
  EXPECT_EQ(fresh, "\ndlVersion = 7\ndlUploaded = 0\ndlStats = \"1^2^3^4^5^6\"\ndlLoot = {\n}\n");
}

}  // namespace
}  // namespace drovane::fixture
