#include "settings/AccountExclusions.h"

#include <gtest/gtest.h>

#include "base/DataFile.h"
#include "base/FileSystem.h"
#include "support/CleanSettings.h"
#include "support/TempFolder.h"

namespace drovane {
namespace {

using test::ReadTestFile;
using test::TempFolder;
using test::WriteTestFile;

// A line ending in CR LF (a file saved by a Windows editor) or typed in lower case still
// excludes its account: its character data must never be uploaded.
TEST(AccountExclusionLines, SplitAtLineEndsWithoutTheCarriageReturnAndUpperCased) {
  AccountExclusionMap map{{"KEPT", "KEPT"}};
  AddAccountExclusionLines("MAIN\n\nALT\r\nlower\n\r\n\n", map);
  const AccountExclusionMap expected{
      {"ALT", "ALT"}, {"KEPT", "KEPT"}, {"LOWER", "LOWER"}, {"MAIN", "MAIN"}};
  EXPECT_EQ(map, expected);
  EXPECT_TRUE(IsAccountExcluded(map, "Alt"));
  EXPECT_TRUE(IsAccountExcluded(map, "lower"));
  AddAccountExclusionLines("", map);
  AddAccountExclusionLines("\n\n", map);
  EXPECT_EQ(map, expected);
}

TEST(AccountExclusionLines, FileTextInMapOrderWithoutEmptyKeys) {
  const AccountExclusionMap map{{"ZED", "ZED"}, {"", ""}, {"ALPHA", "ALPHA"}, {"OFF", ""}};
  EXPECT_EQ(AccountExclusionFileText(map), "ALPHA\nOFF\nZED\n");
  EXPECT_EQ(AccountExclusionFileText({}), "");
}

TEST(IsAccountExcluded, UpperCasedLookupOfAnEntryWithAValue) {
  const AccountExclusionMap map{
      {"MY MAIN", "MY MAIN"}, {"ВОИН", "ВОИН"}, {"lower", "lower"}, {"OFF", ""}};
  EXPECT_TRUE(IsAccountExcluded(map, "my main"));
  EXPECT_TRUE(IsAccountExcluded(map, "My Main"));
  EXPECT_TRUE(IsAccountExcluded(map, "воин"));
  EXPECT_FALSE(IsAccountExcluded(map, "lower")) << "a lower-case entry never matches";
  EXPECT_FALSE(IsAccountExcluded(map, "off")) << "an empty value excludes nothing";
  EXPECT_FALSE(IsAccountExcluded(map, "MY"));
}

TEST(AccountExclusionsFile, LoadAddsToTheMapAndSaveRewritesItWhole) {
  TempFolder temp;
  const std::string path = temp / "account.block";
  AccountExclusionMap map{{"OLD", "OLD"}};
  EXPECT_FALSE(LoadAccountExclusions(path, map));
  EXPECT_EQ(map.size(), 1u);

  WriteTestFile(path, "BETA\r\nalpha\r\n");  // as a Windows editor saves it
  ASSERT_TRUE(LoadAccountExclusions(path, map));
  EXPECT_EQ(map.size(), 3u);
  EXPECT_EQ(map["ALPHA"], "ALPHA");
  EXPECT_TRUE(IsAccountExcluded(map, "Beta"));

  ASSERT_TRUE(SaveAccountExclusions(path, map));
  EXPECT_EQ(ReadTestFile(path), "ALPHA\nBETA\nOLD\n");
  EXPECT_FALSE(FileExists(path + ".tmp"));

  ASSERT_TRUE(SaveAccountExclusions(path, {}));
  EXPECT_EQ(ReadTestFile(path), "");
  WriteTestFile(path, "");
  EXPECT_FALSE(LoadAccountExclusions(path, map));
}

TEST(AccountExclusionsFile, MissingFolderIsNotCreated) {
  TempFolder temp;
  EXPECT_FALSE(SaveAccountExclusions(temp / "missing\\account.block", {{"A", "A"}}));
  EXPECT_FALSE(DirectoryExists(temp / "missing"));
}

// The process-wide list lives in the application data folder; saving it asks for a refresh
// whether or not the file could be written.
TEST(AccountExclusionsFile, ProcessWideSaveCreatesTheDataFolderAndCallsTheHandler) {
  test::RemoveClientDataFolder();
  int calls = 0;
  SetAccountExclusionsSavedHandler([&calls] { ++calls; });
  AccountExclusions() = {{"MAIN", "MAIN"}};
  EXPECT_EQ(AccountExclusionsPath(), AppDataDir() + "account.block");

  // Before the client ever wrote a file: the choice is still kept.
  SaveAccountExclusions();
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(ReadTestFile(AccountExclusionsPath()), "MAIN\n");

  AccountExclusions().clear();
  LoadAccountExclusions();
  EXPECT_TRUE(IsAccountExcluded("main"));

  SetAccountExclusionsSavedHandler(nullptr);
  AccountExclusions().clear();
  test::RemoveClientDataFolder();
}

}  // namespace
}  // namespace drovane
