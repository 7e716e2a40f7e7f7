#include "data/UploadedIdSet.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "app/StateFileUpgrade.h"
#include "base/DataFile.h"
#include "base/FileSystem.h"
#include "base/Md5.h"
#include "support/TempFolder.h"

namespace drovane {
namespace {

using test::ReadTestFile;
using test::TempFolder;
using test::WriteTestFile;

TEST(UploadedIdSet, OneBitPerIdLeastSignificantFirst) {
  UploadedIdSet set("creaturecache.wdb", "enUS", 22810);
  EXPECT_FALSE(set.Contains(9));
  set.Add(9);
  set.Add(1);
  set.Add(327679);
  EXPECT_TRUE(set.Contains(9));
  EXPECT_TRUE(set.Contains(1));
  EXPECT_TRUE(set.Contains(327679));
  EXPECT_FALSE(set.Contains(8));
  EXPECT_FALSE(set.Contains(10));
  ASSERT_EQ(set.Bytes().size(), 40960u);
  EXPECT_EQ(set.Bytes()[0], 0x02);
  EXPECT_EQ(set.Bytes()[1], 0x02);
  EXPECT_EQ(set.Bytes()[40959], 0x80);
}

TEST(UploadedIdSet, IdsOutsideTheTrackedRangeCountAsUploadedAndAreNeverRecorded) {
  UploadedIdSet set("questcache.wdb", "enUS", 1);
  for (int32_t id : {0, -1, -2147483647 - 1, 327680, 327681, 2147483647}) {
    EXPECT_TRUE(set.Contains(id)) << id;
    set.Add(id);
  }
  for (unsigned char byte : set.Bytes()) ASSERT_EQ(byte, 0);
}

TEST(UploadedIdSet, StateFileNameIsFileLocaleAndBuild) {
  EXPECT_EQ(UploadedIdSet("creaturecache.wdb", "enUS", 22810).StateFileName(),
            "creaturecache.wdb_enUS_22810");
  EXPECT_EQ(UploadedIdSet("item.adb", "ruRU", -5).StateFileName(), "item.adb_ruRU_-5");
  EXPECT_EQ(UploadedIdSet(std::string(300, 'n'), "enUS", 1).StateFileName(), std::string(255, 'n'));
}

TEST(UploadedIdSet, SaveWritesTheBitmapUnderThePlainNameAndLoadReadsItBack) {
  TempFolder temp;
  const std::string folder = temp / "data\\cache\\";  // created by Save
  UploadedIdSet saved("gameobjectcache.wdb", "deDE", 23420);
  saved.Add(100);
  saved.Add(327000);
  ASSERT_TRUE(saved.Save(folder));
  const std::string content = ReadTestFile(folder + "gameobjectcache.wdb_deDE_23420");
  ASSERT_EQ(content.size(), 40960u);
  EXPECT_EQ(content[12], '\x10');
  EXPECT_FALSE(FileExists(folder + "gameobjectcache.wdb_deDE_23420.tmp"));

  UploadedIdSet loaded("gameobjectcache.wdb", "deDE", 23420);
  ASSERT_TRUE(loaded.Load(folder));
  EXPECT_EQ(loaded.Bytes(), saved.Bytes());
}

TEST(UploadedIdSet, WithoutAKeyNothingIsReadOrWritten) {
  TempFolder temp;
  const std::string folder = temp.path() + "\\";
  WriteTestFile(folder + "creaturecache.wdb_enUS_-1", std::string(40960, '\xFF'));
  WriteTestFile(folder + "creaturecache.wdb__5", std::string(40960, '\xFF'));
  WriteTestFile(folder + "_enUS_5", std::string(40960, '\xFF'));
  for (UploadedIdSet set :
       {UploadedIdSet("creaturecache.wdb", "enUS", -1), UploadedIdSet("creaturecache.wdb", "", 5),
        UploadedIdSet("", "enUS", 5)}) {
    set.Add(3);
    EXPECT_FALSE(set.Load(folder));
    EXPECT_FALSE(set.Contains(3)) << "a failed load leaves the set empty";
    EXPECT_FALSE(set.Contains(4));
    EXPECT_FALSE(set.Save(folder + "other\\"));
  }
  EXPECT_FALSE(DirectoryExists(temp / "other"));
}

TEST(UploadedIdSet, MissingFileGivesAnEmptySet) {
  TempFolder temp;
  UploadedIdSet set("questcache.wdb", "enUS", 1);
  EXPECT_FALSE(set.Load(temp.path() + "\\"));
  EXPECT_FALSE(set.Contains(1));
}

TEST(UploadedIdSet, ShortFileFillsOnlyItsFirstBytesAndLongFileIsCut) {
  TempFolder temp;
  const std::string folder = temp.path() + "\\";
  WriteTestFile(folder + "pagetextcache.wdb_enUS_1", std::string(3, '\xFF'));
  UploadedIdSet shortSet("pagetextcache.wdb", "enUS", 1);
  ASSERT_TRUE(shortSet.Load(folder));
  EXPECT_TRUE(shortSet.Contains(1));
  EXPECT_TRUE(shortSet.Contains(23));
  EXPECT_FALSE(shortSet.Contains(24));

  WriteTestFile(folder + "pagetextcache.wdb_enUS_2",
                std::string(40959, '\0') + "\x80" + std::string(9000, '\xFF'));
  UploadedIdSet longSet("pagetextcache.wdb", "enUS", 2);
  ASSERT_TRUE(longSet.Load(folder));
  EXPECT_TRUE(longSet.Contains(327679));
  EXPECT_FALSE(longSet.Contains(327678));
  EXPECT_EQ(longSet.Bytes().size(), 40960u);
}

TEST(UploadedIdSet, StateOfAnOlderVersionUnderItsMd5NameIsReadUntilThePlainNameExists) {
  TempFolder temp;
  const std::string folder = temp.path() + "\\";
  const std::string plain = "questcache.wdb_enGB_22900";
  WriteTestFile(folder + Md5Hex(plain), std::string(1, '\x04'));

  UploadedIdSet set("questcache.wdb", "enGB", 22900);
  ASSERT_TRUE(set.Load(folder));
  EXPECT_TRUE(set.Contains(2));
  set.Add(3);
  ASSERT_TRUE(set.Save(folder));
  EXPECT_EQ(ReadTestFile(folder + plain).substr(0, 1), "\x0C");
  EXPECT_EQ(ReadTestFile(folder + Md5Hex(plain)), "\x04") << "the older file is left alone";

  // With both present, the plain name wins.
  UploadedIdSet again("questcache.wdb", "enGB", 22900);
  ASSERT_TRUE(again.Load(folder));
  EXPECT_TRUE(again.Contains(3));
}

// The upgrade names state files found directly in the data folder by MD5; nothing is lost.
TEST(UploadedIdSet, StateCarriedOverByTheUpgradeIsRead) {
  TempFolder temp;
  const std::string data = temp.path() + "\\";
  WriteTestFile(data + "creaturecache.wdb_enUS_21000.dat", std::string(2, '\x01'));
  WriteTestFile(data + "cache\\questcache.wdb_enUS_21000.dat", std::string(1, '\x02'));
  MoveOldStateFiles(data);
  UploadedIdSet creatures("creaturecache.wdb", "enUS", 21000);
  ASSERT_TRUE(creatures.Load(data + "cache\\"));
  EXPECT_TRUE(creatures.Contains(8));
  UploadedIdSet quests("questcache.wdb", "enUS", 21000);
  ASSERT_TRUE(quests.Load(data + "cache\\"));
  EXPECT_TRUE(quests.Contains(1));
}

// The scans keep what they read; a file changed by anything but the client is read again.
TEST(UploadedIdSet, AKeptStateFileIsReadAgainWhenItChangesOnDisk) {
  TempFolder temp;
  const std::string folder = temp.path() + "\\";
  UploadedIdSet saved("itemcache.wdb", "enUS", 22522);
  saved.Add(7);
  ASSERT_TRUE(saved.Save(folder));
  UploadedIdSet first("itemcache.wdb", "enUS", 22522);
  ASSERT_TRUE(first.LoadKept(folder));
  EXPECT_TRUE(first.Contains(7));

  // Rewritten from outside with the same size, and a later time.
  const std::string path = folder + saved.StateFileName();
  UploadedIdSet other("itemcache.wdb", "enUS", 22522);
  other.Add(8);
  WriteTestFile(path, std::string(other.Bytes().begin(), other.Bytes().end()));
  {
    HANDLE file = CreateFileA(path.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    FILETIME written;
    ASSERT_TRUE(GetFileTime(file, nullptr, nullptr, &written));
    ULARGE_INTEGER later;
    later.LowPart = written.dwLowDateTime;
    later.HighPart = written.dwHighDateTime;
    later.QuadPart += 3600ull * 10000000ull;
    written.dwLowDateTime = later.LowPart;
    written.dwHighDateTime = later.HighPart;
    EXPECT_TRUE(SetFileTime(file, nullptr, nullptr, &written));
    CloseHandle(file);
  }
  UploadedIdSet again("itemcache.wdb", "enUS", 22522);
  ASSERT_TRUE(again.LoadKept(folder));
  EXPECT_TRUE(again.Contains(8));
  EXPECT_FALSE(again.Contains(7));

  // What the client saves is what the next scan sees; a removed file is no state.
  ASSERT_TRUE(saved.Save(folder));
  ASSERT_TRUE(again.LoadKept(folder));
  EXPECT_TRUE(again.Contains(7));
  ClearStateFolder(folder);
  EXPECT_FALSE(again.LoadKept(folder));
  EXPECT_FALSE(again.Contains(7));
}

TEST(UploadedIdSet, LocalesAndBuildsAreSeparateKeys) {
  TempFolder temp;
  const std::string folder = temp.path() + "\\";
  UploadedIdSet us("creaturecache.wdb", "enUS", 22810);
  us.Add(50);
  ASSERT_TRUE(us.Save(folder));
  UploadedIdSet gb("creaturecache.wdb", "enGB", 22810);
  EXPECT_FALSE(gb.Load(folder));
  EXPECT_FALSE(gb.Contains(50));
  gb.Add(51);
  ASSERT_TRUE(gb.Save(folder));
  UploadedIdSet newBuild("creaturecache.wdb", "enUS", 22900);
  EXPECT_FALSE(newBuild.Load(folder));
  EXPECT_FALSE(newBuild.Contains(50));

  UploadedIdSet usAgain("creaturecache.wdb", "enUS", 22810);
  ASSERT_TRUE(usAgain.Load(folder));
  EXPECT_TRUE(usAgain.Contains(50));
  EXPECT_FALSE(usAgain.Contains(51));
}

TEST(ClearStateFolder, DeletesFilesButNotFolders) {
  TempFolder temp;
  const std::string folder = temp / "cache\\";
  WriteTestFile(folder + "creaturecache.wdb_enUS_1", "a");
  WriteTestFile(folder + "other.txt", "b");
  WriteTestFile(folder + "sub\\kept", "c");
  ClearStateFolder(folder);
  EXPECT_FALSE(FileExists(folder + "creaturecache.wdb_enUS_1"));
  EXPECT_FALSE(FileExists(folder + "other.txt"));
  EXPECT_EQ(ReadTestFile(folder + "sub\\kept"), "c");
  ClearStateFolder(temp / "missing\\");  // nothing to do, no failure
}

TEST(StateFolder, IsTheCacheFolderOfTheApplicationData) {
  EXPECT_EQ(StateFolder(), AppDataDir() + "cache\\");
}

}  // namespace
}  // namespace drovane
