#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/DataFolderAccess.h"
#include "base/DataFile.h"
#include "base/FileSystem.h"
#include "base/Md5.h"
#include "support/TempFolder.h"

namespace drovane {
namespace {

using test::ReadTestFile;
using test::TempFolder;
using test::WriteTestFile;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

TEST(FindFiles, MatchesPatternSkipsDotNamesAndPrefixesWithSlash) {
  TempFolder folder;
  WriteTestFile(folder / "a.dat", "a");
  WriteTestFile(folder / "b.DAT", "b");
  WriteTestFile(folder / ".x.dat", "x");
  WriteTestFile(folder / "c.txt", "c");
  WriteTestFile(folder / "sub\\d.dat", "d");
  std::vector<std::string> found = {"stale"};
  EXPECT_EQ(FindFiles(false, "*.dat", found, folder.path()), 2u);
  EXPECT_THAT(found, UnorderedElementsAre("/a.dat", "/b.DAT"));

  FindFiles(true, "*.dat", found, folder.path());
  EXPECT_THAT(found, UnorderedElementsAre("/a.dat", "/b.DAT", "/sub/d.dat"));
}

TEST(FindFiles, MissingFolderGivesNothing) {
  TempFolder folder;
  std::vector<std::string> found = {"stale"};
  EXPECT_EQ(FindFiles(false, "*", found, folder / "missing"), 0u);
  EXPECT_TRUE(found.empty());
}

TEST(DirectoryExists, FoldersOnly) {
  TempFolder folder;
  WriteTestFile(folder / "file", "x");
  EXPECT_TRUE(DirectoryExists(folder.path()));
  EXPECT_FALSE(DirectoryExists(folder / "file"));
  EXPECT_FALSE(DirectoryExists(folder / "missing"));
}

TEST(CreateDirectoryTree, CreatesEveryLevelAndAcceptsExistingOnes) {
  TempFolder folder;
  EXPECT_TRUE(CreateDirectoryTree(folder / "a\\b/c\\\\"));
  EXPECT_TRUE(DirectoryExists(folder / "a\\b\\c"));
  EXPECT_TRUE(CreateDirectoryTree(folder / "a\\b"));
  WriteTestFile(folder / "blocker", "x");
  EXPECT_FALSE(CreateDirectoryTree(folder / "blocker\\inside"));
}

TEST(DataFile, AppendWithCreateDirsMakesFoldersAndExtends) {
  TempFolder folder;
  const std::string path = folder / "log\\deeper\\file.txt";
  {
    DataFile file;
    ASSERT_TRUE(file.Open(path, FileMode::Append | FileMode::CreateDirs));
    EXPECT_EQ(file.Path(), path);
    file.Write("one\n");
  }
  {
    DataFile file;
    ASSERT_TRUE(file.Open(path, FileMode::Append));
    file.Write("two\n");
  }
  EXPECT_EQ(ReadTestFile(path), "one\ntwo\n");
}

TEST(DataFile, OpenNeedsAModeAndReadWinsOverWrite) {
  TempFolder folder;
  WriteTestFile(folder / "keep", "content");
  DataFile file;
  EXPECT_FALSE(file.Open(folder / "keep", FileMode::CreateDirs));
  // Read and Write together opens for reading: the content stays.
  ASSERT_TRUE(file.Open(folder / "keep", FileMode::Read | FileMode::Write));
  file.Close();
  EXPECT_EQ(ReadTestFile(folder / "keep"), "content");
  EXPECT_FALSE(file.Open(folder / "missing", FileMode::Read));
}

TEST(DataFile, ReadAllCachesWholeFileAndKeepsPosition) {
  TempFolder folder;
  WriteTestFile(folder / "data", std::string("ab\0cd", 5));
  DataFile file;
  ASSERT_TRUE(file.Open(folder / "data", FileMode::Read));
  EXPECT_EQ(file.Size(), 5);
  char first[2] = {};
  ASSERT_EQ(file.Read(first, 2), 2u);
  const char* all = file.ReadAll();
  ASSERT_NE(all, nullptr);
  EXPECT_EQ(std::string(all, file.ReadAllSize()), std::string("ab\0cd", 5));
  EXPECT_EQ(all[5], '\0');
  EXPECT_EQ(file.ReadAll(), all);  // cached
  char rest[3] = {};
  EXPECT_EQ(file.Read(rest, 3), 3u);  // position kept after ReadAll
  EXPECT_EQ(std::string(rest, 3), std::string("\0cd", 3));
  EXPECT_TRUE(file.AtEnd());

  WriteTestFile(folder / "empty", "");
  DataFile empty;
  ASSERT_TRUE(empty.Open(folder / "empty", FileMode::Read));
  EXPECT_EQ(empty.ReadAll(), nullptr);
  EXPECT_TRUE(empty.AtEnd());
}

TEST(FileExists, ReadableFilesOnly) {
  TempFolder folder;
  WriteTestFile(folder / "present", "");
  EXPECT_TRUE(FileExists(folder / "present"));
  EXPECT_FALSE(FileExists(folder / "absent"));
}

TEST(ReplaceFileContent, ReplacesWholeFileAndLeavesNoTemporary) {
  TempFolder folder;
  WriteTestFile(folder / "user.lua", "old content that is longer");
  ASSERT_TRUE(ReplaceFileContent(folder / "user.lua", "new"));
  EXPECT_EQ(ReadTestFile(folder / "user.lua"), "new");
  std::vector<std::string> found;
  EXPECT_EQ(FindFiles(false, "*", found, folder.path()), 1u);
  // A folder that cannot take the temporary file leaves the original alone.
  EXPECT_FALSE(ReplaceFileContent(folder / "missing\\user.lua", "x"));
}

TEST(Md5Hex, KnownDigests) {
  EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(Md5Hex("The quick brown fox jumps over the lazy dog"),
            "9e107d9d372bb6826bd81d3542a419d6");
  EXPECT_EQ(Md5Hex(std::string("\0\xff", 2)), "d07d34efac6328007ad67c7e0a985e00");
}

TEST(RandomMd5Hex, DigestOfFifteenLowercaseLetters) {
  const std::string first = RandomMd5Hex();
  const std::string second = RandomMd5Hex();
  EXPECT_EQ(first.size(), 32u);
  EXPECT_EQ(first.find_first_not_of("0123456789abcdef"), std::string::npos);
  EXPECT_NE(first, second);
}

TEST(SpecialFolders, AppDataDirEndsWithClientFolder) {
  const std::string folder = AppDataDir();
  const std::string tail = "\\Drovane\\Drovane Client\\";
  ASSERT_GT(folder.size(), tail.size());
  EXPECT_EQ(folder.substr(folder.size() - tail.size()), tail);
  std::string startup;
  EXPECT_TRUE(GetSpecialFolderPath(SpecialFolder::Startup, startup));
  EXPECT_FALSE(GetSpecialFolderPath(static_cast<SpecialFolder>(6), startup));
  std::string module;
  ASSERT_TRUE(GetModulePath(module));
  EXPECT_NE(module.find("base_tests.exe"), std::string::npos);
}

// A second Windows user's client must be able to replace the state files the first one wrote:
// the folder's owner adds an entry that lets the Users group change them, inherited by what the
// folder holds. (Wine keeps no access lists on files, so the list is checked in memory.)
TEST(DataFolderAccess, TheUsersEntryIsAddedOnceInheritableAndKeepsTheOwnersEntry) {
  SID_IDENTIFIER_AUTHORITY authority = SECURITY_NT_AUTHORITY;
  PSID users = nullptr;
  PSID system = nullptr;
  ASSERT_TRUE(AllocateAndInitializeSid(&authority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                       DOMAIN_ALIAS_RID_USERS, 0, 0, 0, 0, 0, 0, &users));
  ASSERT_TRUE(AllocateAndInitializeSid(&authority, 1, SECURITY_LOCAL_SYSTEM_RID, 0, 0, 0, 0, 0,
                                       0, 0, &system));
  constexpr DWORD kModify =
      FILE_GENERIC_READ | FILE_GENERIC_WRITE | FILE_GENERIC_EXECUTE | DELETE;
  constexpr BYTE kInherit = OBJECT_INHERIT_ACE | CONTAINER_INHERIT_ACE;
  // As a folder made under the shared application data folder: its maker and SYSTEM may do
  // everything, the Users group may read, and may change only what is not inherited.
  alignas(DWORD) unsigned char buffer[512];
  auto* owned = reinterpret_cast<ACL*>(buffer);
  ASSERT_TRUE(InitializeAcl(owned, sizeof buffer, ACL_REVISION));
  ASSERT_TRUE(AddAccessAllowedAceEx(owned, ACL_REVISION, kInherit, FILE_ALL_ACCESS, system));
  ASSERT_TRUE(AddAccessAllowedAceEx(owned, ACL_REVISION, kInherit, FILE_GENERIC_READ, users));
  ASSERT_TRUE(AddAccessAllowedAceEx(owned, ACL_REVISION, 0, kModify, users));
  EXPECT_FALSE(GrantsUsersModify(owned));
  EXPECT_TRUE(GrantsUsersModify(nullptr));

  ACL* shared = WithUsersModify(owned);
  ASSERT_NE(shared, nullptr);
  EXPECT_TRUE(GrantsUsersModify(shared));
  bool usersMayChangeRights = false;
  bool systemKept = false;
  for (DWORD i = 0; i < shared->AceCount; ++i) {
    void* entry = nullptr;
    ASSERT_TRUE(GetAce(shared, i, &entry));
    auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
    if (EqualSid(&allowed->SidStart, users)) {
      usersMayChangeRights = usersMayChangeRights || (allowed->Mask & (WRITE_DAC | WRITE_OWNER));
    }
    systemKept = systemKept || (EqualSid(&allowed->SidStart, system) &&
                                allowed->Mask == FILE_ALL_ACCESS);
  }
  EXPECT_FALSE(usersMayChangeRights);
  EXPECT_TRUE(systemKept);
  LocalFree(shared);
  FreeSid(system);
  FreeSid(users);

  // A folder that does not exist is reported, not shared.
  TempFolder folder;
  EXPECT_EQ(ShareDataFolder(folder / "missing"), DataFolderAccess::Failed);
}

}  // namespace
}  // namespace drovane
