// What a confirmed upload leaves behind: statistics, the "LastUpload" time and the add-on files'
// "dlUploaded = " lines, rewritten without ever losing the player's data.
#include <windows.h>

#include <gtest/gtest.h>

#include "UploadTestData.h"
#include "app/Application.h"
#include "base/DataFile.h"
#include "base/Registry.h"
#include "data/AccountData.h"
#include "support/CleanSettings.h"
#include "upload/UploadBookkeeping.h"

namespace drovane {
namespace {

using test::LogLines;
using test::ReadTestFile;
using test::TempFolder;
using test::WriteTestFile;

class UploadStatisticsTest : public test::CleanSettingsTest {
 protected:
  UploadStatisticsTest() : CleanSettingsTest(false) {}
};

uint32_t StoredDword(const char* name) {
  uint32_t value = 0;
  EXPECT_TRUE(RegistryReadDword(kStatisticsKey, name, value)) << name;
  return value;
}

TEST_F(UploadStatisticsTest, UploadsAreCountedFromTheStoredValueThenFromTheCachedOne) {
  Application application;
  RegistryWriteDword(kStatisticsKey, "#Uploads", 5);
  EXPECT_EQ(CountUpload(application), 6u);
  EXPECT_EQ(StoredDword("#Uploads"), 6u);
  // The second count in the same run does not read the registry again.
  RegistryWriteDword(kStatisticsKey, "#Uploads", 100);
  EXPECT_EQ(CountUpload(application), 7u);
  EXPECT_EQ(StoredDword("#Uploads"), 7u);
}

TEST_F(UploadStatisticsTest, TheTotalAddsTheBytesSentAndStopsAtTheLargestValue) {
  Application application;
  EXPECT_EQ(AddUploadedBytes(application, 1500), 1500u);
  EXPECT_EQ(StoredDword("TotalUploaded"), 1500u);
  EXPECT_EQ(AddUploadedBytes(application, 0xFFFFFFFFull), 0xFFFFFFFFu);
  EXPECT_EQ(StoredDword("TotalUploaded"), 0xFFFFFFFFu);
}

TEST_F(UploadStatisticsTest, LastUploadIsEightRawLittleEndianBytes) {
  ASSERT_TRUE(WriteLastUpload(0x0000000165A1B2C3LL));
  std::string bytes;
  unsigned long type = 0;
  ASSERT_TRUE(test::ReadRawValue(kStatisticsKey, "LastUpload", bytes, type));
  EXPECT_EQ(type, static_cast<unsigned long>(REG_BINARY));
  EXPECT_EQ(bytes, std::string("\xC3\xB2\xA1\x65\x01\x00\x00\x00", 8));
  const int64_t now = CurrentUnixTime();
  EXPECT_GT(now, 1500000000);
}

class UploadedLinesTest : public ::testing::Test {
 protected:
  std::string Path(const std::string& account) const {
    return SavedVariablesPath(game_.path(), account);
  }
  void Write(const std::string& account, const std::string& text, int state) {
    WriteTestFile(Path(account), text);
    states_[Path(account)] = state;
  }
  void Run(const std::function<bool()>& gameRunning = {}) {
    std::string folders[kEditionCount];
    folders[Live] = game_.path();
    WriteUploadedLines(folders, states_, gameRunning);
  }

  TempFolder game_;
  UploadStateMap states_;
};

TEST_F(UploadedLinesTest, TheLineChangesAndEveryOtherByteStays) {
  Write("A", "dlVersion = 7\ndlUploaded = 1\ndlStats = \"1^2^3^4^5^6\"\n", 3);
  Write("CRLF", "dlVersion = 7\r\ndlUploaded = 1\r\ndlLoot = {\r\n}\r\n", 3);
  Write("Last", "dlStats = \"1\"\ndlUploaded = 1", 3);
  Write("Seven", "dlUploaded = 7\n", 7);
  LogLines log;
  Run();
  EXPECT_EQ(ReadTestFile(Path("A")), "dlVersion = 7\ndlUploaded = 3\ndlStats = \"1^2^3^4^5^6\"\n");
  EXPECT_EQ(ReadTestFile(Path("CRLF")), "dlVersion = 7\r\ndlUploaded = 3\r\ndlLoot = {\r\n}\r\n");
  EXPECT_EQ(ReadTestFile(Path("Last")), "dlStats = \"1\"\ndlUploaded = 3");
  EXPECT_EQ(ReadTestFile(Path("Seven")), "dlUploaded = 7\n");
  EXPECT_TRUE(log.Has("Opening " + Path("A") + " to change dlUploaded SavedVariable."));
  EXPECT_FALSE(log.Has("\tFailure opening the file for reading."));
}

TEST_F(UploadedLinesTest, AFileWithoutTheLineGainsItOnTop) {
  Write("A", "dlStats = \"1^2^3^4^5^6\"\n", 1);
  LogLines log;
  Run();
  EXPECT_EQ(ReadTestFile(Path("A")), "dlUploaded = 1\ndlStats = \"1^2^3^4^5^6\"\n");
  EXPECT_TRUE(log.Has("\tFailure opening the file for reading."));
}

TEST_F(UploadedLinesTest, TheBackupBesideTheFileGoes) {
  Write("A", "dlUploaded = 0\n", 3);
  WriteTestFile(Path("A") + ".bak", "old copy");
  Run();
  EXPECT_FALSE(FileExists(Path("A") + ".bak"));
  EXPECT_FALSE(FileExists(Path("A") + ".tmp"));
}

TEST_F(UploadedLinesTest, AccountFoldersWithoutAddonFile) {
  // A SavedVariables folder without the add-on's file gets one; an account folder without that
  // folder gets nothing and says so.
  WriteTestFile(game_ / "WTF\\Account\\Fresh\\SavedVariables\\other.lua", "x");
  CreateDirectoryTree(game_ / "WTF\\Account\\Bare\\");
  WriteTestFile(game_ / "WTF\\Account\\notes.txt", "a file, not an account");
  LogLines log;
  Run();
  EXPECT_EQ(ReadTestFile(Path("Fresh")), "dlUploaded = 0");
  EXPECT_FALSE(FileExists(Path("Bare")));
  EXPECT_TRUE(log.Has("Unable to open " + Path("Bare") + " to change dlUploaded SavedVariable."));
  EXPECT_TRUE(
      log.Has("Unable to open " + Path("Bare") + " to the new dlUploaded SavedVariable value."));
  EXPECT_TRUE(log.Has("\tThe line in the file *should* read (w/o quotes): 'dlUploaded = 0'."));
}

TEST_F(UploadedLinesTest, AFileThatCannotBeReadKeepsItsContent) {
  const std::string text = "dlUploaded = 1\ndlLoot = { \"precious\" }\n";
  Write("Locked", text, 3);
  {
    // Held open without sharing, as a running game or an editor may hold it.
    HANDLE held = CreateFileA(Path("Locked").c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    LogLines log;
    Run();
    CloseHandle(held);
    EXPECT_TRUE(
        log.Has("Unable to open " + Path("Locked") + " to change dlUploaded SavedVariable."));
    EXPECT_TRUE(log.Has("\tThe line in the file *should* read (w/o quotes): 'dlUploaded = 3'."));
  }
  EXPECT_EQ(ReadTestFile(Path("Locked")), text);
}

TEST_F(UploadedLinesTest, AFileThatCannotBeReplacedStaysAsItWas) {
  const std::string text = "dlUploaded = 1\ndlLoot = { \"precious\" }\n";
  Write("Held", text, 3);
  WriteTestFile(Path("Held") + ".bak", "the game's copy");
  {
    // Open for reading by another program that does not let it be replaced meanwhile.
    HANDLE held = CreateFileA(Path("Held").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    LogLines log;
    Run();
    CloseHandle(held);
    EXPECT_FALSE(
        log.Has("Unable to open " + Path("Held") + " to change dlUploaded SavedVariable."));
    EXPECT_TRUE(
        log.Has("Unable to open " + Path("Held") + " to the new dlUploaded SavedVariable value."));
    EXPECT_TRUE(log.Has("\tThe line in the file *should* read (w/o quotes): 'dlUploaded = 3'."));
  }
  EXPECT_EQ(ReadTestFile(Path("Held")), text);
  EXPECT_FALSE(FileExists(Path("Held") + ".tmp"));
  // The game's backup is all that is left of the data if the file is damaged: it stays.
  EXPECT_TRUE(FileExists(Path("Held") + ".bak"));
}

// A game started while the upload ran writes its saved variables back when it exits: the file is
// left for the next upload, with its backup, from the moment the game runs.
TEST_F(UploadedLinesTest, WhileTheGameRunsTheFilesAreLeftForTheNextUpload) {
  Write("A", "dlUploaded = 0\n", 3);
  Write("B", "dlUploaded = 0\n", 3);
  WriteTestFile(Path("B") + ".bak", "old copy");
  int asked = 0;
  LogLines log;
  Run([&asked] { return ++asked > 1; });  // the game starts after the first file
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(ReadTestFile(Path("A")), "dlUploaded = 3\n");
  EXPECT_EQ(ReadTestFile(Path("B")), "dlUploaded = 0\n");
  EXPECT_EQ(ReadTestFile(Path("B") + ".bak"), "old copy");
  EXPECT_TRUE(log.Has("WoW is running: " + Path("B") +
                      " keeps its dlUploaded line; the next upload sends its data again."));
}

TEST(IdSetSaving, EverySetIsSavedAndTheListEmptied) {
  TempFolder state;
  IdSetList list;
  list.sets.emplace_back("creaturecache.wdb", "enUS", 22522);
  list.sets.back().Add(42);
  list.sets.emplace_back("item.adb", "deDE", 7);
  SaveIdSets(list, state.path() + "\\cache\\");
  EXPECT_TRUE(list.sets.empty());
  const std::string saved = ReadTestFile(state / "cache\\creaturecache.wdb_enUS_22522");
  ASSERT_EQ(saved.size(), UploadedIdSet::kBitmapSize);
  EXPECT_EQ(saved[5], '\x04');  // id 42: bit 2 of byte 5
  EXPECT_EQ(ReadTestFile(state / "cache\\item.adb_deDE_7"), std::string(40960, '\0'));
}

}  // namespace
}  // namespace drovane
