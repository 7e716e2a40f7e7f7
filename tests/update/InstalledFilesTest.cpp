// The local side of an update: comparing entries with the installations, copying a current file
// between them, and writing files so that no half-written or read-only file is left.
#include <windows.h>

#include <gtest/gtest.h>

#include "UpdateTestSupport.h"
#include "base/DataFile.h"
#include "base/Digests.h"
#include "base/Md5.h"
#include "update/InstalledFiles.h"

namespace drovane {
namespace {

using test::IsReadOnly;
using test::ReadTestFile;
using test::TempFolder;
using test::WriteTestFile;

constexpr char kAddon[] = "Interface\\AddOns\\Drovane_Looter\\core.lua";

class InstalledFilesTest : public ::testing::Test {
 protected:
  UpdateEntry GameEntry(const std::string& target, const std::string& content) {
    UpdateEntry entry;
    entry.serverPath = "addon/core.lua";
    entry.fileName = "core.lua";
    SetDigests(entry, content);
    ClassifyTarget(target, entry);
    return entry;
  }
  // What the list and its signature block say of a file with this content.
  static void SetDigests(UpdateEntry& entry, const std::string& content) {
    entry.md5 = Md5Hex(content);
    entry.size = static_cast<uint32_t>(content.size());
    ASSERT_TRUE(Sha256Of(content, entry.sha256));
  }
  std::string Live() const { return root_ / "Live"; }
  std::string Ptr() const { return root_ / "PTR"; }
  std::string Beta() const { return root_ / "Beta"; }
  GameFolders AllThree() const { return {Live(), Ptr(), Beta()}; }

  TempFolder root_;
};

TEST_F(InstalledFilesTest, CurrentFileInLiveIsCopiedToTheOthersAndNotDownloaded) {
  WriteTestFile(Live() + "\\" + kAddon, "current");
  WriteTestFile(Beta() + "\\" + kAddon, "old");
  UpdateEntry entry = GameEntry("%WoW%\\Interface\\AddOns\\Drovane_Looter\\", "current");
  CheckEntry(entry, AllThree(), "");
  EXPECT_EQ(entry.installMask & kNeedsDownload, 0u);
  EXPECT_EQ(ReadTestFile(Ptr() + "\\" + kAddon), "current");  // folders created
  EXPECT_EQ(ReadTestFile(Beta() + "\\" + kAddon), "current");
  EXPECT_TRUE(test::FilesMatching(Beta() + "\\Interface\\AddOns\\Drovane_Looter", "*.tmp").empty());
}

TEST_F(InstalledFilesTest, GoodCopyIsLookedForInLivePtrBetaOrder) {
  WriteTestFile(Live() + "\\" + kAddon, "old live");
  WriteTestFile(Ptr() + "\\" + kAddon, "old ptr");
  WriteTestFile(Beta() + "\\" + kAddon, "current");
  UpdateEntry entry = GameEntry("%WoW%\\Interface\\AddOns\\Drovane_Looter\\", "current");
  CheckEntry(entry, AllThree(), "");
  EXPECT_EQ(entry.installMask & kNeedsDownload, 0u);
  EXPECT_EQ(ReadTestFile(Live() + "\\" + kAddon), "current");
  EXPECT_EQ(ReadTestFile(Ptr() + "\\" + kAddon), "current");
}

TEST_F(InstalledFilesTest, ACurrentCopyAfterTheGoodOneIsNotRewritten) {
  WriteTestFile(Live() + "\\" + kAddon, "current");
  WriteTestFile(Ptr() + "\\" + kAddon, "current");
  SetFileAttributesA((Ptr() + "\\" + kAddon).c_str(), FILE_ATTRIBUTE_READONLY);
  UpdateEntry entry = GameEntry("%WoW%\\Interface\\AddOns\\Drovane_Looter\\", "current");
  CheckEntry(entry, {Live(), Ptr(), ""}, "");
  EXPECT_EQ(entry.installMask & kNeedsDownload, 0u);
  // Left as it was: a rewrite would have cleared its attributes.
  EXPECT_TRUE(IsReadOnly(Ptr() + "\\" + kAddon));
}

TEST_F(InstalledFilesTest, ACopyFromAReadOnlyGoodCopyIsNotReadOnly) {
  WriteTestFile(Live() + "\\" + kAddon, "current");
  WriteTestFile(Ptr() + "\\" + kAddon, "old");
  SetFileAttributesA((Live() + "\\" + kAddon).c_str(), FILE_ATTRIBUTE_READONLY);
  SetFileAttributesA((Ptr() + "\\" + kAddon).c_str(), FILE_ATTRIBUTE_READONLY);
  UpdateEntry entry = GameEntry("%WoW%\\Interface\\AddOns\\Drovane_Looter\\", "current");
  CheckEntry(entry, {Live(), Ptr(), ""}, "");
  EXPECT_EQ(ReadTestFile(Ptr() + "\\" + kAddon), "current");
  EXPECT_FALSE(IsReadOnly(Ptr() + "\\" + kAddon));
}

TEST_F(InstalledFilesTest, NoCurrentCopyAnywhereMeansDownload) {
  WriteTestFile(Live() + "\\" + kAddon, "old");
  UpdateEntry entry = GameEntry("%WoW%\\Interface\\AddOns\\Drovane_Looter\\", "current");
  CheckEntry(entry, AllThree(), "");
  EXPECT_NE(entry.installMask & kNeedsDownload, 0u);
  EXPECT_EQ(ReadTestFile(Live() + "\\" + kAddon), "old");
}

TEST_F(InstalledFilesTest, UnknownInstallationsAreSkippedAndNoneKnownDropsTheEntry) {
  UpdateEntry ptrOnly = GameEntry("%WoW-PTR%\\Interface\\AddOns\\Drovane_Looter\\", "current");
  CheckEntry(ptrOnly, {Live(), "", Beta()}, "");
  EXPECT_EQ(ptrOnly.installMask, 2u);  // nothing counted: not downloaded
  EXPECT_FALSE(FileExists(Live() + "\\" + kAddon));

  UpdateEntry general = GameEntry("%WoW%\\Interface\\AddOns\\Drovane_Looter\\", "current");
  CheckEntry(general, {"", "", ""}, "");
  EXPECT_EQ(general.installMask & kNeedsDownload, 0u);
}

TEST_F(InstalledFilesTest, OtherFilesAreComparedInTheirReplacedFolderBySizeAndBothDigests) {
  const std::string app = root_ / "AppData\\";
  WriteTestFile(app + "\\readme.txt", "current");
  UpdateEntry entry;
  entry.fileName = "readme.txt";
  SetDigests(entry, "current");
  ClassifyTarget("%AppPath%\\", entry);
  CheckEntry(entry, AllThree(), app);
  EXPECT_EQ(entry.targetDir, app + "\\");
  EXPECT_EQ(entry.installMask & kNeedsDownload, 0u);

  // The MD5 alone does not make a file current: the SHA-256 of the signed list must match too.
  UpdateEntry forged;
  forged.fileName = "readme.txt";
  SetDigests(forged, "current");
  forged.sha256[0] ^= 1;
  ClassifyTarget("%AppPath%\\", forged);
  CheckEntry(forged, AllThree(), app);
  EXPECT_NE(forged.installMask & kNeedsDownload, 0u);

  UpdateEntry missing;
  missing.fileName = "helper.dll";
  SetDigests(missing, "dll");
  ClassifyTarget("%AppPath%\\sub\\", missing);
  CheckEntry(missing, AllThree(), app);
  EXPECT_EQ(missing.targetDir, app + "\\sub\\");
  EXPECT_NE(missing.installMask & kNeedsDownload, 0u);
}

TEST_F(InstalledFilesTest, StoreWritesEveryServedKnownInstallation) {
  UpdateEntry entry = GameEntry("%WoW%\\Interface\\AddOns\\Drovane_Looter\\", "new");
  entry.installMask = kInstallLive | kInstallBeta | kNeedsDownload;  // PTR has its own entry
  ASSERT_TRUE(StoreEntry(entry, "new", AllThree()));
  EXPECT_EQ(ReadTestFile(Live() + "\\" + kAddon), "new");
  EXPECT_FALSE(FileExists(Ptr() + "\\" + kAddon));
  EXPECT_EQ(ReadTestFile(Beta() + "\\" + kAddon), "new");
}

TEST_F(InstalledFilesTest, WriteReplacesAReadOnlyFileAndLeavesNoTemporaryFile) {
  const std::string path = root_ / "target.lua";
  WriteTestFile(path, "old content that is longer");
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY);
  ASSERT_TRUE(WriteFileInPlace(path, "new"));
  EXPECT_EQ(ReadTestFile(path), "new");
  EXPECT_FALSE(IsReadOnly(path));
  EXPECT_TRUE(test::FilesMatching(root_.path(), "*.tmp").empty());
}

TEST_F(InstalledFilesTest, AWriteThatCannotTakeThePlaceLeavesNoTemporaryFile) {
  // The target's name is taken by something a file cannot replace: a folder.
  const std::string folder = root_ / "taken";
  CreateDirectoryA(folder.c_str(), nullptr);
  EXPECT_FALSE(WriteFileInPlace(folder, "new"));
  EXPECT_TRUE(test::FilesMatching(root_.path(), "*.tmp").empty());

  // A target in a folder that does not exist: nothing is written anywhere.
  EXPECT_FALSE(WriteFileInPlace(root_ / "missing\\file.lua", "new"));
  EXPECT_TRUE(test::FilesMatching(root_.path(), "*.tmp").empty());
}

}  // namespace
}  // namespace drovane
