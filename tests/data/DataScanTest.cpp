#include "data/DataScan.h"

#include <gtest/gtest.h>

#include "CacheSamples.h"
#include "base/FileSystem.h"
#include "support/TempFolder.h"

namespace drovane {
namespace {

using test::LogCapture;
using test::TempFolder;
using test::WdbFile;
using test::WriteTestFile;

void ListLocalesHere(const std::string& folder, CacheFolderKind kind,
                     std::vector<std::string>& out) {
  const char* sub = kind == CacheFolderKind::WDB ? "\\Cache\\WDB" : "\\Cache\\ADB";
  for (const FolderEntry& entry : ListFolder(folder + sub)) {
    if (entry.isDirectory && entry.name.size() == 4) out.push_back(entry.name);
  }
}

TEST(ScanGameData, NoGameFolderGivesEmptyListsAndNothingToUpload) {
  DataScanSources sources;
  sources.listLocales = ListLocalesHere;
  UploadStateMap states;
  LogCapture log;
  const DataScanResult result = ScanGameData(sources, states);
  EXPECT_EQ(log.Lines(), "Refreshing data...\nRefreshing ADB/WDB data...\n");
  EXPECT_FALSE(result.hasDataToUpload);
  EXPECT_EQ(result.pendingCount, 0);
  EXPECT_TRUE(result.accounts.empty());
  EXPECT_TRUE(result.accountRows.empty());
  ASSERT_EQ(result.cacheRows.size(), 6u);
  EXPECT_EQ(result.cacheRows[5].count, "0 files");
  EXPECT_EQ(result.cacheRows[5].uploaded, "-");
}

TEST(ScanGameData, CachesThenAccountsAndTheRowsOfBoth) {
  TempFolder live, state;
  WriteTestFile(live / "Cache\\WDB\\enUS\\creaturecache.wdb", WdbFile(1, {{1, "a"}}));
  WriteTestFile(live / "WTF\\Account\\LONGACCOUNTNAME123\\SavedVariables\\+Drovane_Looter.lua",
                "dlUploaded = 1\ndlStats = \"1^2^3^4^5^6\"\n");
  AccountExclusionMap exclusions{{"LONGACCOUNTNAME123", "LONGACCOUNTNAME123"}};
  DataScanSources sources;
  sources.gameFolders[Live] = live.path();
  sources.exclusions = &exclusions;
  sources.listLocales = ListLocalesHere;
  sources.loadIdSet = StateFolderIdSetLoader(state.path() + "\\");
  UploadStateMap states;
  LogCapture log;
  const DataScanResult result = ScanGameData(sources, states);
  const std::string lines = log.Lines();
  EXPECT_EQ(lines.find("Refreshing data...\nRefreshing ADB/WDB data...\n"), 0u);
  EXPECT_LT(lines.find("creaturecache.wdb': Data available"), lines.find("Looter.lua': Not"));
  EXPECT_EQ(result.pendingCount, 1) << "the cache file; the account's export line is excluded";
  EXPECT_TRUE(result.hasDataToUpload);
  ASSERT_EQ(result.accountRows.size(), 1u);
  EXPECT_EQ(result.accountRows[0].name, "Longaccountname1");
  EXPECT_EQ(result.accountRows[0].profiles, "Blocked");
  EXPECT_EQ(result.cacheRows[0].count, "1");
  EXPECT_EQ(result.cacheRows[0].uploaded, "0%");
}

TEST(ScanGameData, AnAccountAloneEnablesTheUpload) {
  TempFolder live;
  WriteTestFile(live / "WTF\\Account\\A\\SavedVariables\\+Drovane_Looter.lua",
                "dlUploaded = 2\ndlStats = \"1^2^3^4^5^6\"\n");
  DataScanSources sources;
  sources.gameFolders[Live] = live.path();
  sources.noCharacterData = true;
  sources.listLocales = ListLocalesHere;
  UploadStateMap states;
  const DataScanResult result = ScanGameData(sources, states);
  EXPECT_TRUE(result.hasDataToUpload);
  ASSERT_EQ(result.accountRows.size(), 1u);
  EXPECT_EQ(result.accountRows[0].profiles, "Disabled");
}

}  // namespace
}  // namespace drovane
