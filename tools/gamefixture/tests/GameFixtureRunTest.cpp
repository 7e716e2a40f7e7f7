// gamefixture.exe run as the client's tests run it: the installation it writes, byte by byte
// where the client reads bytes.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "CacheWalks.h"
#include "ProcessHelpers.h"
#include "base/DataFile.h"
#include "base/FileSystem.h"
#include "game/GameEdition.h"
#include "support/TempFolder.h"

namespace drovane::fixture {
namespace {

using drovane::test::ReadTestFile;
using drovane::test::TempFolder;
using test::Field;

constexpr DWORD kRunLimitMs = 60000;
const char kCyrillicAccount[] = "\xD0\x92\xD0\x9E\xD0\x98\xD0\x9D";  // ВОИН

int RunFixture(const std::vector<std::string>& args, std::string* output = nullptr) {
  return test::RunProgram(test::BinFolder() + "\\gamefixture.exe", args, kRunLimitMs, output);
}

std::vector<int32_t> Ids(int32_t first, int32_t count) {
  std::vector<int32_t> ids;
  for (int32_t i = 0; i < count; ++i) ids.push_back(first + i);
  return ids;
}

std::vector<int32_t> WdbIds(const std::string& file) {
  std::vector<int32_t> ids;
  for (const auto& record : test::WalkWdb(file)) ids.push_back(record.id);
  return ids;
}

std::vector<int32_t> UploadIds(const std::string& file, uint32_t flags) {
  std::vector<int32_t> ids;
  for (const auto& record : test::UploadAdbRecords(file, flags).records)
    ids.push_back(record.first);
  return ids;
}

// Removes the edition's records in both views before and after a test.
class InstallPathRecords {
 public:
  explicit InstallPathRecords(GameEdition edition) : edition_(edition) { Clear(); }
  ~InstallPathRecords() { Clear(); }
  void Clear() {
    for (const char* view : {"64", "32"}) {
      EXPECT_EQ(RunFixture({"--unregister", "--edition",
                            edition_ == PTR    ? "ptr"
                            : edition_ == Beta ? "beta"
                                               : "live",
                            "--registry-view", view}),
                0);
    }
  }

 private:
  GameEdition edition_;
};

TEST(FixtureRun, WritesASmallInstallation) {
  TempFolder temp;
  const std::string game = temp / "World of Warcraft";
  std::string output;
  ASSERT_EQ(
      RunFixture({"--locales", "enUS,deDE", "--records", "5", "--adb-format", "WCH8,WCH2", game},
                 &output),
      0)
      << output;
  EXPECT_NE(output.find("gamefixture: Live installation (build 22522) in " + game),
            std::string::npos)
      << output;

  // The executables are the fakegame variants, byte for byte.
  const std::string fakegame = test::BinFolder() + "\\fakegame\\";
  for (const char* name : {"Wow.exe", "Wow-64.exe", "World of Warcraft Launcher.exe"}) {
    EXPECT_EQ(ReadTestFile(game + "\\" + name), ReadTestFile(fakegame + name)) << name;
  }
  EXPECT_FALSE(FileExists(game + "\\WowT.exe"));

  // Account folders as the client lists them: the Cyrillic name comes back as its UTF-8 bytes.
  std::set<std::string> accounts;
  for (const FolderEntry& entry : ListFolder(game + "\\WTF\\Account")) {
    EXPECT_TRUE(entry.isDirectory);
    accounts.insert(entry.name);
    const std::string addon = ReadTestFile(game + "\\WTF\\Account\\" + entry.name +
                                           "\\SavedVariables\\+Drovane_Looter.lua");
    EXPECT_GE(addon.size(), 26u);
    EXPECT_NE(addon.find("dlStats = \""), std::string::npos);
    EXPECT_NE(addon.find("\ndlUploaded = 0\n"), std::string::npos);
    EXPECT_NE(addon.find("\ndlExportData = \""), std::string::npos);
  }
  EXPECT_EQ(accounts,
            (std::set<std::string>{"MY MAIN", kCyrillicAccount, "THISISAVERYLONGACCOUNTNAME#1"}));

  const char* wdbFiles[] = {"creaturecache.wdb", "gameobjectcache.wdb", "pagetextcache.wdb",
                            "questcache.wdb"};
  const char* wdbMagic[] = {"BOMW", "BOGW", "XTPW", "TSQW"};
  const struct {
    const char* file;
    uint32_t flags;
  } adbFiles[] = {{"item.adb", 4},
                  {"item-sparse.adb", 5},
                  {"keychain.adb", 4},
                  {"itemcurrencycost.adb", 4},
                  {"itemextendedcost.adb", 4},
                  {"itembonus.adb", 0},
                  {"spellreagents.adb", 4}};
  for (const std::string locale : {"enUS", "deDE"}) {
    for (int i = 0; i < 4; ++i) {
      SCOPED_TRACE(locale + " " + wdbFiles[i]);
      const std::string file = ReadTestFile(game + "\\Cache\\WDB\\" + locale + "\\" + wdbFiles[i]);
      ASSERT_GE(file.size(), 24u);
      EXPECT_EQ(file.substr(0, 4), wdbMagic[i]);
      EXPECT_EQ(Field(file, 4), 22522);
      EXPECT_EQ(WdbIds(file), Ids(1, 5));
    }
    const std::string magic = locale == "enUS" ? "WCH8" : "WCH2";
    for (const auto& adb : adbFiles) {
      SCOPED_TRACE(locale + " " + adb.file);
      const std::string file = ReadTestFile(game + "\\Cache\\ADB\\" + locale + "\\" + adb.file);
      ASSERT_GE(file.size(), 52u);
      EXPECT_EQ(file.substr(0, 4), magic);
      EXPECT_EQ(Field(file, 4), 5);
      EXPECT_EQ(Field(file, 24), 22522);
      EXPECT_EQ(test::ValidateAdbHeader(file, adb.flags), "");
      EXPECT_EQ(UploadIds(file, adb.flags), Ids(1, 5));
      if (magic == "WCH2" || !(adb.flags & 1)) {
        EXPECT_EQ(test::InventoryAdbIds(file, adb.flags), Ids(1, 5));
        if (magic == "WCH8") {
          EXPECT_GT(Field(file, 16), 0);
          EXPECT_EQ(file.size(),
                    52u + 5u * Field(file, 12) + (adb.flags & 4 ? 5u * 4u : 0u) + Field(file, 16));
        }
      }
    }
    EXPECT_EQ(ReadTestFile(game + "\\Data\\" + locale + "\\realmlist.wtf"),
              "set realmlist us.logon.worldofwarcraft.com\n"
              "set patchlist us.version.worldofwarcraft.com\n");
  }
  EXPECT_NE(ReadTestFile(game + "\\WTF\\Config.wtf").find("\nSET portal \"US\"\n"),
            std::string::npos);
}

TEST(FixtureRun, SameArgumentsGiveTheSameBytes) {
  TempFolder temp;
  const std::vector<std::string> args = {"--edition", "beta", "--locales", "ruRU,deDE",
                                         "--records", "40",   "--padding", "20",
                                         "--seed",    "3"};
  std::vector<std::string> first = args, second = args;
  first.push_back(temp / "a");
  second.push_back(temp / "b");
  ASSERT_EQ(RunFixture(first), 0);
  ASSERT_EQ(RunFixture(second), 0);
  const auto a = test::ReadTree(temp / "a");
  const auto b = test::ReadTree(temp / "b");
  // Two executables; WTF, Account, three accounts of folder, SavedVariables and file,
  // Config.wtf; Cache, WDB, ADB; per locale two cache folders with 4 + 7 files and a Data
  // folder with its realm list; Data.
  EXPECT_EQ(a.size(), 2u + (2u + 3u * 3u + 1u) + 3u + 2u * (2u + 4u + 7u + 2u) + 1u);
  ASSERT_EQ(a.size(), b.size());
  for (size_t i = 0; i < a.size(); ++i) {
    EXPECT_EQ(a[i].first, b[i].first);
    EXPECT_TRUE(a[i].second == b[i].second) << a[i].first;
  }
  // Another seed changes the data but not the layout.
  std::vector<std::string> third = args;
  third[third.size() - 1] = "4";
  third.push_back(temp / "c");
  ASSERT_EQ(RunFixture(third), 0);
  const auto c = test::ReadTree(temp / "c");
  ASSERT_EQ(c.size(), a.size());
  EXPECT_NE(c, a);
}

TEST(FixtureRun, RecordsInstallPathInTheChosenView) {
  const std::string key = InfoOf(PTR).gameRegistryKey;
  InstallPathRecords records(PTR);
  TempFolder temp;
  const std::string game = temp / "PTR";
  ASSERT_EQ(RunFixture({"--edition", "ptr", "--register", "--skip", "addon,wdb,adb,config", game}),
            0);
  std::string value;
  ASSERT_TRUE(test::ReadMachineValue(key, "InstallPath", false, value));
  EXPECT_EQ(value, game + "\\");
  EXPECT_FALSE(test::ReadMachineValue(key, "InstallPath", true, value));
  EXPECT_TRUE(FileExists(game + "\\WowT.exe"));

  ASSERT_EQ(RunFixture({"--edition", "ptr", "--unregister"}), 0);
  EXPECT_FALSE(test::ReadMachineValue(key, "InstallPath", false, value));

  ASSERT_EQ(RunFixture({"--edition", "ptr", "--register", "--registry-view", "32", "--install-path",
                        "C:\\Games\\PTR\\\\", "--skip", "executables,addon,wdb,adb,config", game}),
            0);
  EXPECT_FALSE(test::ReadMachineValue(key, "InstallPath", false, value));
  ASSERT_TRUE(test::ReadMachineValue(key, "InstallPath", true, value));
  EXPECT_EQ(value, "C:\\Games\\PTR\\\\");
}

TEST(FixtureRun, OlderAndRetailDescribedGames) {
  TempFolder temp;
  const std::string six = temp / "six";
  ASSERT_EQ(RunFixture({"--game-version", "6", "--executables", "32", "--records", "2", six}), 0);
  test::VersionInfo info;
  ASSERT_TRUE(test::ReadVersionInfo(six + "\\Wow.exe", info));
  EXPECT_EQ(info.version, "6.2.4.21742");
  EXPECT_EQ(info.description, "World of Warcraft");
  EXPECT_FALSE(FileExists(six + "\\Wow-64.exe"));
  // The caches carry the build of the game that wrote them.
  EXPECT_EQ(Field(ReadTestFile(six + "\\Cache\\WDB\\enUS\\questcache.wdb"), 4), 21742);
  EXPECT_EQ(Field(ReadTestFile(six + "\\Cache\\ADB\\enUS\\item.adb"), 24), 21742);

  const std::string retail = temp / "retail";
  ASSERT_EQ(RunFixture({"--edition", "ptr", "--game-version", "retail", "--executables", "64",
                        "--skip", "addon,wdb,adb,config", retail}),
            0);
  ASSERT_TRUE(test::ReadVersionInfo(retail + "\\WowT-64.exe", info));
  EXPECT_EQ(info.description, "World of Warcraft Retail");
  EXPECT_EQ(info.version, "7.0.3.22522");
  EXPECT_FALSE(FileExists(retail + "\\World of Warcraft Launcher.exe"));  // Live only
}

TEST(FixtureRun, PartsCanBeLeftOut) {
  TempFolder temp;
  const std::string game = temp / "g";
  ASSERT_EQ(RunFixture({"--skip", "executables,wdb,adb,config", "--accounts", "ONE:3", "--build",
                        "5", game}),
            0);
  EXPECT_FALSE(DirectoryExists(game + "\\Cache"));
  EXPECT_FALSE(DirectoryExists(game + "\\Data"));
  EXPECT_FALSE(FileExists(game + "\\WTF\\Config.wtf"));
  EXPECT_FALSE(FileExists(game + "\\Wow.exe"));
  EXPECT_NE(ReadTestFile(game + "\\WTF\\Account\\ONE\\SavedVariables\\+Drovane_Looter.lua")
                .find("\ndlUploaded = 3\n"),
            std::string::npos);

  const std::string none = temp / "none";
  ASSERT_EQ(
      RunFixture({"--accounts=", "--skip", "executables,wdb,adb,config", "--build", "5", none}), 0);
  EXPECT_TRUE(DirectoryExists(none + "\\WTF\\Account"));
  EXPECT_TRUE(ListFolder(none + "\\WTF\\Account").empty());
}

TEST(FixtureRun, BadCommandLineWritesNothing) {
  TempFolder temp;
  std::string output;
  EXPECT_EQ(RunFixture({"--bogus", temp / "g"}, &output), 2);
  // Console output has Windows line ends.
  EXPECT_EQ(output, "gamefixture: unknown option --bogus (see --help)\r\n");
  EXPECT_FALSE(DirectoryExists(temp / "g"));
  EXPECT_EQ(RunFixture({"--fakegame-dir", temp / "nowhere", temp / "g"}, &output), 1);
  EXPECT_EQ(output, "gamefixture: cannot read the version of " + temp.path() +
                        "\\nowhere\\Wow.exe; give --build or --fakegame-dir\r\n");
  EXPECT_FALSE(DirectoryExists(temp / "g"));
  EXPECT_EQ(RunFixture({"--help"}, &output), 0);
  EXPECT_EQ(output.rfind("usage: gamefixture [options] FOLDER\r\n", 0), 0u);
}

}  // namespace
}  // namespace drovane::fixture
