// What a private server leaves in the game folders is renamed out of the game's way, with the
// player's consent, and the upload state is forgotten.
#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

#include "base/DataFile.h"
#include "base/FileSystem.h"
#include "support/TempFolder.h"
#include "upload/PrivateServerCleanup.h"

namespace drovane {
namespace {

using test::ReadTestFile;
using test::TempFolder;
using test::WriteTestFile;

std::vector<std::string> Names(const std::string& folder) {
  std::vector<std::string> names;
  for (const FolderEntry& entry : ListFolder(folder)) names.push_back(entry.name);
  return names;
}

const std::regex kRenamedRealmlist("realmlist\\.wtf\\.[0-9a-f]{32}\\.DELETE_ME");
const std::regex kRenamedCache("Cache\\.[0-9a-f]{32}\\.DELETE_ME");

class PrivateServerCleanupTest : public ::testing::Test {
 protected:
  PrivateServerCleanupTest() { folders_[Live] = live_.path(); }

  // A game folder with WDB locale folders and, for some of them, realm list files.
  void Locale(const TempFolder& game, const std::string& locale, bool realmlist) {
    CreateDirectoryTree(game / ("Cache\\WDB\\" + locale + "\\"));
    if (realmlist)
      WriteTestFile(game / ("Data\\" + locale + "\\realmlist.wtf"), "set realmlist x\n");
  }

  TempFolder live_;
  std::string folders_[kEditionCount];
};

TEST_F(PrivateServerCleanupTest, EachRealmlistFileOfAWdbLocaleGetsItsOwnName) {
  Locale(live_, "enUS", true);
  Locale(live_, "enGB", true);
  Locale(live_, "deDE", false);                                     // no realm list: nothing
  WriteTestFile(live_ / "Data\\frFR\\realmlist.wtf", "untouched");  // no WDB locale folder
  RenameRealmlistFiles(folders_);

  std::vector<std::string> renamed;
  for (const char* locale : {"enUS", "enGB"}) {
    const std::vector<std::string> names = Names(live_ / "Data\\" + locale);
    ASSERT_EQ(names.size(), 1u) << locale;
    EXPECT_TRUE(std::regex_match(names[0], kRenamedRealmlist)) << names[0];
    EXPECT_EQ(ReadTestFile(live_ / "Data\\" + locale + "\\" + names[0]), "set realmlist x\n");
    renamed.push_back(names[0].substr(14, 32));
  }
  EXPECT_NE(renamed[0], renamed[1]);
  EXPECT_EQ(ReadTestFile(live_ / "Data\\frFR\\realmlist.wtf"), "untouched");
}

TEST_F(PrivateServerCleanupTest, EditionsWithoutFolderOrWithoutWdbCacheAreSkipped) {
  TempFolder beta;
  WriteTestFile(beta / "Data\\enUS\\realmlist.wtf", "kept");  // no Cache\WDB at all
  folders_[Live].clear();
  folders_[Beta] = beta.path();
  RenameRealmlistFiles(folders_);
  RenameGameCacheFolders(folders_);
  EXPECT_EQ(ReadTestFile(beta / "Data\\enUS\\realmlist.wtf"), "kept");
}

TEST_F(PrivateServerCleanupTest, TheCacheFolderIsRenamedWithEverythingInIt) {
  TempFolder ptr;
  folders_[PTR] = ptr.path();
  WriteTestFile(live_ / "Cache\\WDB\\enUS\\creaturecache.wdb", "records");
  WriteTestFile(ptr / "Cache\\ADB\\enUS\\item.adb", "items");
  RenameGameCacheFolders(folders_);
  for (const TempFolder* game : {&live_, &ptr}) {
    const std::vector<std::string> names = Names(game->path());
    ASSERT_EQ(names.size(), 1u);
    EXPECT_TRUE(std::regex_match(names[0], kRenamedCache)) << names[0];
  }
  EXPECT_EQ(ReadTestFile(live_ / Names(live_.path())[0] + "\\WDB\\enUS\\creaturecache.wdb"),
            "records");

  // A later run (whose C library draws the same sequence as this one did: srand alike) moves
  // the new Cache folder aside too, beside the earlier run's.
  folders_[PTR].clear();
  std::srand(7);
  RenameGameCacheFolders(folders_);
  WriteTestFile(live_ / "Cache\\WDB\\enUS\\creaturecache.wdb", "newer records");
  std::srand(7);
  RenameGameCacheFolders(folders_);
  WriteTestFile(live_ / "Cache\\WDB\\enUS\\creaturecache.wdb", "newest records");
  std::srand(7);
  RenameGameCacheFolders(folders_);
  const std::vector<std::string> names = Names(live_.path());
  EXPECT_EQ(names.size(), 3u);
  for (const std::string& name : names) EXPECT_TRUE(std::regex_match(name, kRenamedCache)) << name;
}

TEST_F(PrivateServerCleanupTest, ResultThreeAsksAboutTheRealmlistFirstThenTheCache) {
  Locale(live_, "enUS", true);
  TempFolder state;
  WriteTestFile(state / "creaturecache.wdb_enUS_1", "bits");
  std::vector<std::string> asked;
  HandlePrivateServerRefusal(
      folders_, 3,
      [&asked](const std::string& question) {
        asked.push_back(question);
        return true;
      },
      state.path() + "\\");
  EXPECT_EQ(asked, (std::vector<std::string>{kRealmlistRenameQuestion, kCacheRenameQuestion}));
  EXPECT_EQ(asked[0],
            "Will you allow Drovane Client to rename your 'realmlist.wtf' file to "
            "'realmlist.wtf.<random_MD5>.DELETE_ME'?\r\n\r\nDoing this will allow the WoW client "
            "to connect to its default realmlist server.");
  EXPECT_EQ(asked[1],
            "Will you allow Drovane Client to rename your World of Warcraft cache directory to "
            "'Cache.<random_MD5>.DELETE_ME'?\r\n\r\nDoing this will remove any incorrect data the "
            "client may have seen while connected to a private server.\r\nThis will not alter the "
            "performance or behavior of WoW.");
  EXPECT_TRUE(Names(state.path()).empty());
  EXPECT_FALSE(FileExists(live_ / "Data\\enUS\\realmlist.wtf"));
  EXPECT_FALSE(DirectoryExists(live_ / "Cache"));
}

TEST_F(PrivateServerCleanupTest, ResultFourAsksOnlyAboutTheCache) {
  Locale(live_, "enUS", true);
  TempFolder state;
  std::vector<std::string> asked;
  HandlePrivateServerRefusal(
      folders_, 4,
      [&asked](const std::string& question) {
        asked.push_back(question);
        return true;
      },
      state.path() + "\\");
  EXPECT_EQ(asked, std::vector<std::string>{kCacheRenameQuestion});
  EXPECT_TRUE(FileExists(live_ / "Data\\enUS\\realmlist.wtf"));
  EXPECT_FALSE(DirectoryExists(live_ / "Cache"));
}

TEST_F(PrivateServerCleanupTest, DecliningBothStillForgetsTheUploadState) {
  Locale(live_, "enUS", true);
  TempFolder state;
  WriteTestFile(state / "item.adb_enUS_1", "bits");
  WriteTestFile(state / "sub\\kept", "folders are not state files");
  int questions = 0;
  HandlePrivateServerRefusal(
      folders_, 3,
      [&questions](const std::string&) {
        ++questions;
        return false;
      },
      state.path() + "\\");
  EXPECT_EQ(questions, 2);
  EXPECT_EQ(Names(state.path()), std::vector<std::string>{"sub"});
  EXPECT_TRUE(FileExists(live_ / "Data\\enUS\\realmlist.wtf"));
  EXPECT_TRUE(DirectoryExists(live_ / "Cache"));
}

}  // namespace
}  // namespace drovane
