#include "data/AccountScan.h"

#include <gtest/gtest.h>

#include <map>

#include "CacheSamples.h"
#include "support/TempFolder.h"

namespace drovane {
namespace {

using test::LogCapture;
using test::TempFolder;
using test::WriteTestFile;

const std::string kCounters = "dlStats = \"1^2^3^4^5^6\"\n";

class AccountScanTest : public ::testing::Test {
 protected:
  std::string AddOnFile(const std::string& account) const {
    return SavedVariablesPath(live_.path(), account);
  }
  void Write(const std::string& account, const std::string& text) const {
    WriteTestFile(AddOnFile(account), text);
  }
  int Scan(std::vector<AccountDataEntry>& rows) {
    AccountScanSources sources;
    sources.gameFolders[Live] = live_.path();
    sources.noCharacterData = noCharacterData_;
    sources.exclusions = &exclusions_;
    return ScanAccounts(sources, states_, rows);
  }
  TempFolder live_;
  UploadStateMap states_;
  AccountExclusionMap exclusions_;
  bool noCharacterData_ = false;
};

TEST_F(AccountScanTest, RowsLogLinesAndStates) {
  Write("MY MAIN", "dlUploaded = 2\n" + kCounters);
  Write("OTHER", "dlUploaded = 3\nno counters");
  Write("THIRD", "dlUploaded = 0\ndlStats = \"1^2\"\n-- padding to 26 bytes");
  std::vector<AccountDataEntry> rows;
  LogCapture log;
  EXPECT_EQ(Scan(rows), 1);
  // Wine lists folders sorted by their upper-cased names.
  EXPECT_EQ(log.Lines(), " - Scanning '" + live_.path() +
                             "' (Live):\n"
                             "  > '" +
                             AddOnFile("MY MAIN") +
                             "': Not uploaded.\n"
                             "  > '" +
                             AddOnFile("OTHER") +
                             "': Already uploaded.\n"
                             "  > '" +
                             AddOnFile("THIRD") + "': Error in file.\n");
  ASSERT_EQ(rows.size(), 1u);
  const AccountDataEntry& row = rows[0];
  EXPECT_EQ(row.edition, Live);
  EXPECT_EQ(row.accountFolder, "MY MAIN");
  EXPECT_EQ(row.displayName, "My Main");
  EXPECT_EQ(row.filePath,
            live_.path() + "\\WTF\\Account\\MY MAIN\\SavedVariables\\+Drovane_Looter.lua");
  EXPECT_EQ(row.fileSize, static_cast<int64_t>(15 + kCounters.size()));
  EXPECT_EQ(row.uploadState, 2);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(row.stats[i], i + 1);
  EXPECT_EQ(states_[AddOnFile("MY MAIN")], 2);
  EXPECT_EQ(states_[AddOnFile("OTHER")], 3);
  EXPECT_EQ(states_[AddOnFile("THIRD")], 0);
}

TEST_F(AccountScanTest, ExportLineOnlyCountsWhenAllowed) {
  Write("ACCOUNT", "dlUploaded = 1\n" + kCounters);
  std::vector<AccountDataEntry> rows;
  EXPECT_EQ(Scan(rows), 1);
  exclusions_["ACCOUNT"] = "ACCOUNT";
  EXPECT_EQ(Scan(rows), 0) << "excluded";
  exclusions_.clear();
  noCharacterData_ = true;
  EXPECT_EQ(Scan(rows), 0) << "character data switched off";
  EXPECT_EQ(rows.size(), 3u) << "listed every time, pending or not";
}

TEST_F(AccountScanTest, FilesUnder26BytesAreSkippedSilently) {
  const std::string text26 = "dlStats = \"1^2^3^4^5^6\"\n--";
  ASSERT_EQ(text26.size(), 26u);
  Write("A26", text26);
  Write("B25", text26.substr(0, 25));
  WriteTestFile(live_ / "WTF\\Account\\NOTAFOLDER", "file, not a folder");
  WriteTestFile(live_ / "WTF\\Account\\NOFILE\\SavedVariables\\other.lua", kCounters);
  std::vector<AccountDataEntry> rows;
  LogCapture log;
  EXPECT_EQ(Scan(rows), 1);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].accountFolder, "A26");
  EXPECT_EQ(log.Lines(), " - Scanning '" + live_.path() +
                             "' (Live):\n"
                             "  > '" +
                             AddOnFile("A26") + "': Not uploaded.\n");
  EXPECT_EQ(states_.count(AddOnFile("B25")), 0u);
}

TEST_F(AccountScanTest, LongFolderNameIsShownCutButReadWhole) {
  const std::string name = "ABCDEFGHIJKLMNOPQRSTU";
  Write(name, kCounters + "-- more");
  std::vector<AccountDataEntry> rows;
  Scan(rows);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].displayName, "Abcdefghijklmnop");
  EXPECT_EQ(rows[0].accountFolder, name);
  EXPECT_EQ(rows[0].filePath, AddOnFile(name));
}

TEST_F(AccountScanTest, EachScanResetsTheStateFromTheFile) {
  Write("ACCOUNT", "dlUploaded = 1\n" + kCounters);
  states_[AddOnFile("ACCOUNT")] = 2;  // as left by a prepared upload that failed
  std::vector<AccountDataEntry> rows;
  Scan(rows);
  EXPECT_EQ(states_[AddOnFile("ACCOUNT")], 1);
}

TEST_F(AccountScanTest, MissingFoldersAndEditions) {
  std::vector<AccountDataEntry> rows;
  LogCapture log;
  EXPECT_EQ(Scan(rows), 0) << "no WTF\\Account folder";
  EXPECT_EQ(log.Lines(), " - Scanning '" + live_.path() + "' (Live):\n");
  AccountScanSources none;
  LogCapture nothing;
  EXPECT_EQ(ScanAccounts(none, states_, rows), 0);
  EXPECT_EQ(nothing.Lines(), "");
  EXPECT_TRUE(rows.empty());
}

TEST_F(AccountScanTest, FolderNamesOutsideTheCodePageAreListedReadAndExcludedWhole) {
  // Greek and Cyrillic are both outside the tests' code page (1252); the game names its folders in
  // UTF-16, so they are made with the wide function.
  WriteTestFile(live_ / "game\\WTF\\Account\\ONE\\SavedVariables\\+Drovane_Looter.lua",
                "dlUploaded = 1\n" + kCounters);
  WriteTestFile(live_ / "game\\WTF\\Account\\TWO\\SavedVariables\\+Drovane_Looter.lua",
                "dlUploaded = 1\n" + kCounters);
  ASSERT_NE(test::RenameToWideName(live_ / "game\\WTF\\Account\\ONE", L"\u03A9MEGA"), "");
  ASSERT_NE(test::RenameToWideName(live_ / "game\\WTF\\Account\\TWO", L"\u0412\u0410\u0421\u042F"),
            "");
  const std::string game = test::RenameToWideName(live_ / "game", L"\u0418\u0433\u0440\u044B \u03A9");
  ASSERT_EQ(game, live_.path() + "\\\u0418\u0433\u0440\u044B \u03A9");
  exclusions_[u8"\u0412\u0410\u0421\u042F"] = u8"\u0412\u0410\u0421\u042F";

  AccountScanSources sources;
  sources.gameFolders[Live] = game;
  sources.exclusions = &exclusions_;
  std::vector<AccountDataEntry> rows;
  LogCapture log;
  EXPECT_EQ(ScanAccounts(sources, states_, rows), 1) << "the excluded account is not counted";
  ASSERT_EQ(rows.size(), 2u);
  std::map<std::string, AccountDataEntry> byName;
  for (const AccountDataEntry& row : rows) byName[row.accountFolder] = row;
  const AccountDataEntry& omega = byName[u8"\u03A9MEGA"];
  EXPECT_EQ(omega.displayName, u8"\u03A9mega");
  EXPECT_EQ(omega.filePath, SavedVariablesPath(game, u8"\u03A9MEGA"));
  EXPECT_EQ(omega.uploadState, 1);
  EXPECT_EQ(omega.stats[5], 6) << "the file under both names was read";
  EXPECT_EQ(byName[u8"\u0412\u0410\u0421\u042F"].displayName, u8"\u0412\u0430\u0441\u044F");
  EXPECT_NE(log.Lines().find(" > '" + omega.filePath + "': "), std::string::npos)
      << log.Lines();
}

TEST(AccountDisplayName, TitleCaseOfTheFirst16Bytes) {
  EXPECT_EQ(AccountDisplayName("MY MAIN"), "My Main");
  EXPECT_EQ(AccountDisplayName("ВОИН"), "Воин");
  EXPECT_EQ(AccountDisplayName("ABCDEFGHIJKLMNOPQ"), "Abcdefghijklmnop");
  // Eight two-byte letters fill the 16 bytes; the ninth is cut away whole.
  EXPECT_EQ(AccountDisplayName("ВОИНВОИНВ"), "Воинвоин");
  // A letter cut in half is dropped.
  EXPECT_EQ(AccountDisplayName("AВОИНВОИНВОИН"), "Aвоинвои");
}

TEST(AccountRow, CountersAndTheProfilesColumn) {
  AccountDataEntry entry;
  entry.accountFolder = "MAIN";
  entry.displayName = "Main";
  entry.fileSize = 1536;
  for (int i = 0; i < 6; ++i) entry.stats[i] = i + 1;
  AccountExclusionMap exclusions;
  AccountRowTexts row = AccountRow(entry, false, exclusions);
  EXPECT_EQ(row.name, "Main");
  EXPECT_EQ(row.size, "1.5 KB");
  EXPECT_EQ(row.loots, "4");
  EXPECT_EQ(row.locations, "6");
  EXPECT_EQ(row.prices, "5");
  EXPECT_EQ(row.profiles, "6");
  EXPECT_EQ(AccountRow(entry, true, exclusions).profiles, "Disabled");
  exclusions["MAIN"] = "MAIN";
  EXPECT_EQ(AccountRow(entry, false, exclusions).profiles, "Blocked");
  EXPECT_EQ(AccountRow(entry, true, exclusions).profiles, "Disabled");
  entry.stats[0] = entry.stats[1] = entry.stats[2] = 2147483647;
  EXPECT_EQ(AccountRow(entry, false, {}).locations, "6442450941");
}

// The account is looked up by its whole folder name, not by the 16 bytes the list shows.
TEST(AccountRow, LongExcludedAccountIsBlocked) {
  AccountDataEntry entry;
  entry.accountFolder = "averylongaccountname1";
  entry.displayName = AccountDisplayName(entry.accountFolder);
  AccountExclusionMap exclusions{{"AVERYLONGACCOUNTNAME1", "AVERYLONGACCOUNTNAME1"}};
  EXPECT_EQ(AccountRow(entry, false, exclusions).profiles, "Blocked");
  AccountExclusionMap cut{{"AVERYLONGACCOUNT", "AVERYLONGACCOUNT"}};
  EXPECT_EQ(AccountRow(entry, false, cut).profiles, "0");
}

}  // namespace
}  // namespace drovane
