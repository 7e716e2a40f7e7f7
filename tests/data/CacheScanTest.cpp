#include "data/CacheScan.h"

#include <gtest/gtest.h>

#include "CacheSamples.h"
#include "base/FileSystem.h"
#include "data/DataScan.h"
#include "support/TempFolder.h"

namespace drovane {
namespace {

using test::AdbRecordFile;
using test::LogCapture;
using test::TempFolder;
using test::WdbFile;
using test::WriteTestFile;

// The locale folders as the client lists them: directories of exactly four characters.
void ListLocalesHere(const std::string& folder, CacheFolderKind kind,
                     std::vector<std::string>& out) {
  const char* sub = kind == CacheFolderKind::WDB ? "\\Cache\\WDB" : "\\Cache\\ADB";
  for (const FolderEntry& entry : ListFolder(folder + sub)) {
    if (entry.isDirectory && entry.name.size() == 4) out.push_back(entry.name);
  }
}

class CacheScanTest : public ::testing::Test {
 protected:
  CacheScanSources Sources() {
    CacheScanSources sources;
    sources.gameFolders[Live] = live_.path();
    sources.listLocales = ListLocalesHere;
    sources.loadIdSet = StateFolderIdSetLoader(state_.path() + "\\");
    return sources;
  }
  std::string Wdb(const std::string& locale, const std::string& file) const {
    return live_ / ("Cache\\WDB\\" + locale + "\\" + file);
  }
  std::string Adb(const std::string& locale, const std::string& file) const {
    return live_ / ("Cache\\ADB\\" + locale + "\\" + file);
  }
  void Upload(const std::string& file, const std::string& locale, int32_t build,
              std::initializer_list<int32_t> ids) {
    UploadedIdSet set(file, locale, build);
    set.Load(state_.path() + "\\");
    for (int32_t id : ids) set.Add(id);
    ASSERT_TRUE(set.Save(state_.path() + "\\"));
  }
  TempFolder live_;
  TempFolder state_;
};

TEST_F(CacheScanTest, CountsEveryKindAndLogsOneLinePerFile) {
  const std::string creatures = WdbFile(22810, {{1, "aa"}, {2, "bbb"}});
  const std::string quests = WdbFile(22810, {{9, "q"}});
  const std::string items = AdbRecordFile("WCH2", 22810, 8, {5, 6}, "s");
  WriteTestFile(Wdb("enUS", "creaturecache.wdb"), creatures);
  WriteTestFile(Wdb("enUS", "questcache.wdb"), quests);
  WriteTestFile(Adb("enUS", "item.adb"), items);
  WriteTestFile(Adb("enUS", "itembonus.adb"), std::string(10, 'x'));
  Upload("questcache.wdb", "enUS", 22810, {9});
  Upload("item.adb", "enUS", 22810, {5});

  CacheCounters counters;
  counters.wdb[2].records = 99;  // zeroed by the scan
  LogCapture log;
  EXPECT_EQ(ScanCaches(Sources(), counters), 2);

  const std::string folder = live_.path();
  EXPECT_EQ(log.Lines(),
            "Refreshing ADB/WDB data...\n"
            " - Scanning '" +
                folder +
                "' (Live):\n"
                "  > '" +
                Wdb("enUS", "creaturecache.wdb") +
                "': Data available for upload.\n"
                "  > '" +
                Wdb("enUS", "questcache.wdb") +
                "': Fully uploaded.\n"
                "  > '" +
                Adb("enUS", "item.adb") +
                "': Data available for upload.\n"
                "\tError: Header not found.\n"
                "  > '" +
                Adb("enUS", "itembonus.adb") + "': Fully uploaded.\n");
  EXPECT_EQ(counters.wdb[0].records, 2);
  EXPECT_EQ(counters.wdb[0].bytes, static_cast<int64_t>(creatures.size()));
  EXPECT_EQ(counters.wdb[2].records, 0);
  EXPECT_EQ(counters.wdb[3].records, 1);
  EXPECT_EQ(counters.wdb[3].uploadedRecords, 1);
  EXPECT_EQ(counters.adb[0].files, 1);
  EXPECT_EQ(counters.adb[0].records, 2);
  EXPECT_EQ(counters.adb[0].uploadedRecords, 1);
  EXPECT_EQ(counters.adb[5].files, 1) << "an ADB file without a header still counts as a file";
  EXPECT_EQ(counters.adb[5].bytes, 0);
  EXPECT_EQ(counters.adb[1].files, 0);
}

TEST_F(CacheScanTest, TwoLocalesKeepSeparateStateAndANewBuildStartsOver) {
  WriteTestFile(Wdb("enUS", "creaturecache.wdb"), WdbFile(22810, {{1, "a"}, {2, "b"}}));
  WriteTestFile(Wdb("enGB", "creaturecache.wdb"), WdbFile(22810, {{1, "a"}, {2, "b"}}));
  Upload("creaturecache.wdb", "enUS", 22810, {1, 2});

  CacheCounters counters;
  EXPECT_EQ(ScanCaches(Sources(), counters), 1);
  EXPECT_EQ(counters.wdb[0].records, 4);
  EXPECT_EQ(counters.wdb[0].uploadedRecords, 2);

  WriteTestFile(Wdb("enUS", "creaturecache.wdb"), WdbFile(22900, {{1, "a"}, {2, "b"}}));
  EXPECT_EQ(ScanCaches(Sources(), counters), 2);
  EXPECT_EQ(counters.wdb[0].uploadedRecords, 0);
}

TEST_F(CacheScanTest, EditionsInOrderAndUnconfiguredOnesSkippedSilently) {
  TempFolder beta;
  WriteTestFile(beta / "Cache\\WDB\\enUS\\pagetextcache.wdb", WdbFile(1, {{3, "p"}}));
  WriteTestFile(Wdb("enUS", "pagetextcache.wdb"), WdbFile(1, {{3, "p"}, {4, "p"}}));
  CacheScanSources sources = Sources();
  sources.gameFolders[Beta] = beta.path();
  CacheCounters counters;
  LogCapture log;
  EXPECT_EQ(ScanCaches(sources, counters), 2);
  EXPECT_EQ(counters.wdb[2].records, 3);
  const std::string lines = log.Lines();
  EXPECT_LT(lines.find("' (Live):"), lines.find("' (Beta):"));
  EXPECT_EQ(lines.find("(PTR)"), std::string::npos);
}

TEST_F(CacheScanTest, CutFileOnDiskCountsTheRecordsBeforeTheCut) {
  std::string file = WdbFile(
      5, {{1, std::string(5000, 'a')}, {2, std::string(70000, 'b')}, {3, std::string(10, 'c')}});
  file.resize(file.size() - 3);
  WriteTestFile(Wdb("enUS", "gameobjectcache.wdb"), file);
  CacheCounters counters;
  EXPECT_EQ(ScanCaches(Sources(), counters), 1);
  EXPECT_EQ(counters.wdb[1].records, 2);
  EXPECT_EQ(counters.wdb[1].bytes, static_cast<int64_t>(file.size()));
}

// With the client's own locale listing: only folders named with exactly four characters count.
TEST_F(CacheScanTest, LocaleFoldersOfOtherLengthsAreIgnored) {
  for (const char* locale : {"enUS", "en", "enUS_old"}) {
    WriteTestFile(Wdb(locale, "questcache.wdb"), WdbFile(1, {{3, "q"}}));
  }
  CacheScanSources sources = Sources();
  sources.listLocales = ListCacheLocales;
  CacheCounters counters;
  LogCapture log;
  EXPECT_EQ(ScanCaches(sources, counters), 1);
  EXPECT_EQ(counters.wdb[3].records, 1);
  EXPECT_EQ(log.Lines().find("enUS_old"), std::string::npos);
}

TEST_F(CacheScanTest, NoFoldersNoLinesButTheFirst) {
  CacheScanSources sources;
  sources.listLocales = ListLocalesHere;
  CacheCounters counters;
  LogCapture log;
  EXPECT_EQ(ScanCaches(sources, counters), 0);
  EXPECT_EQ(log.Lines(), "Refreshing ADB/WDB data...\n");
}

}  // namespace
}  // namespace drovane
