#include <windows.h>

#include <gtest/gtest.h>

#include "app/Application.h"
#include "base/DataFile.h"
#include "base/FileSystem.h"
#include "base/Md5.h"
#include "base/Registry.h"
#include "support/CleanSettings.h"
#include "support/TempFolder.h"

namespace drovane {
namespace {

using test::ReadTestFile;
using test::WriteTestFile;

class UpgradeTest : public test::CleanSettingsTest {
 protected:
  void SetUp() override {
    CleanSettingsTest::SetUp();
    ASSERT_TRUE(GetSpecialFolderPath(SpecialFolder::Startup, startup_));
    shortcut_ = startup_ + "\\Drovane Client.lnk";
    DeleteFileA(shortcut_.c_str());
  }
  void TearDown() override {
    DeleteFileA(shortcut_.c_str());
    CleanSettingsTest::TearDown();
  }
  static std::string StoredVersion() {
    std::string version;
    RegistryReadString(HKEY_CURRENT_USER, kClientKey, "Version", 8, version);
    return version;
  }
  std::string startup_;
  std::string shortcut_;
};

TEST_F(UpgradeTest, OlderVersionMovesStateFilesWithoutOverwritingAny) {
  const std::string data = AppDataDir();
  const std::string cache = data + "cache\\";
  WriteTestFile(data + "creaturecache.wdb_enUS_22522.dat", "old A");
  WriteTestFile(data + "itemcache.wdb_enUS_22522.DAT", "old B");
  WriteTestFile(data + "questcache.wdb_enUS_22522.dat", "old C");
  WriteTestFile(cache + Md5Hex("questcache.wdb_enUS_22522"), "newer C");
  WriteTestFile(data + "sub\\nested.dat", "not moved");
  WriteTestFile(cache + "gameobjectcache.wdb_deDE_22522.dat", "old D");
  WriteTestFile(cache + "pagetextcache.wdb_deDE_22522.dat", "old E");
  WriteTestFile(cache + "pagetextcache.wdb_deDE_22522", "newer E");
  test::WriteRawValue(kClientKey, "Version", "1.8.05", REG_SZ);

  Application app;
  ASSERT_TRUE(app.LoadSettingsAndUpgrade());

  EXPECT_EQ(StoredVersion(), "1.9.01");
  EXPECT_EQ(ReadTestFile(cache + Md5Hex("creaturecache.wdb_enUS_22522")), "old A");
  EXPECT_EQ(ReadTestFile(cache + Md5Hex("itemcache.wdb_enUS_22522")), "old B");
  EXPECT_EQ(ReadTestFile(cache + Md5Hex("questcache.wdb_enUS_22522")), "newer C");
  EXPECT_FALSE(FileExists(data + "creaturecache.wdb_enUS_22522.dat"));
  EXPECT_FALSE(FileExists(data + "questcache.wdb_enUS_22522.dat"));
  EXPECT_EQ(ReadTestFile(data + "sub\\nested.dat"), "not moved");
  EXPECT_EQ(ReadTestFile(cache + "gameobjectcache.wdb_deDE_22522"), "old D");
  EXPECT_EQ(ReadTestFile(cache + "pagetextcache.wdb_deDE_22522"), "newer E");
  EXPECT_FALSE(FileExists(cache + "gameobjectcache.wdb_deDE_22522.dat"));
  EXPECT_FALSE(FileExists(cache + "pagetextcache.wdb_deDE_22522.dat"));
}

TEST_F(UpgradeTest, StartupShortcutIsReplacedByTheRunValue) {
  WriteTestFile(shortcut_, "shortcut");
  test::WriteRawValue(kClientKey, "Version", "1.9.00", REG_SZ);
  Application app;
  ASSERT_TRUE(app.LoadSettingsAndUpgrade());
  EXPECT_FALSE(FileExists(shortcut_));
  EXPECT_TRUE(app.GetStartWithWindows());
  std::string module, run;
  ASSERT_TRUE(GetModulePath(module));
  ASSERT_TRUE(RegistryReadString(HKEY_CURRENT_USER, kRunKey, kRunValueName, 260, run));
  EXPECT_EQ(run, "\"" + module + "\"");

  // A shortcut this user may not remove (read-only stands in for the shared folder's refusal)
  // keeps starting the client: no Run value is added beside it.
  ASSERT_TRUE(app.SetStartWithWindows(false));
  WriteTestFile(shortcut_, "shortcut");
  ASSERT_TRUE(SetFileAttributesA(shortcut_.c_str(), FILE_ATTRIBUTE_READONLY));
  test::WriteRawValue(kClientKey, "Version", "1.9.00", REG_SZ);
  Application again;
  ASSERT_TRUE(again.LoadSettingsAndUpgrade());
  EXPECT_TRUE(FileExists(shortcut_));
  EXPECT_FALSE(again.GetStartWithWindows());
  EXPECT_FALSE(RegistryValueExists(HKEY_CURRENT_USER, kRunKey, kRunValueName));
  SetFileAttributesA(shortcut_.c_str(), FILE_ATTRIBUTE_NORMAL);
}

TEST_F(UpgradeTest, NewerVersionUpgradesTooButTheCurrentOneDoesNot) {
  WriteTestFile(AppDataDir() + "x.dat", "state");
  test::WriteRawValue(kClientKey, "Version", "1.9.01", REG_SZ);
  WriteTestFile(shortcut_, "shortcut");
  {
    Application app;
    ASSERT_TRUE(app.LoadSettingsAndUpgrade());
  }
  EXPECT_TRUE(FileExists(AppDataDir() + "x.dat"));
  EXPECT_TRUE(FileExists(shortcut_));

  test::WriteRawValue(kClientKey, "Version", "2.0", REG_SZ);
  {
    Application app;
    ASSERT_TRUE(app.LoadSettingsAndUpgrade());
  }
  EXPECT_EQ(StoredVersion(), "1.9.01");
  EXPECT_EQ(ReadTestFile(AppDataDir() + "cache\\" + Md5Hex("x")), "state");
  EXPECT_FALSE(FileExists(shortcut_));
}

}  // namespace
}  // namespace drovane
