// The fakegame variants run as the client meets them: their version resources, their window,
// their time, and the data they write before they end.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CacheWalks.h"
#include "ProcessHelpers.h"
#include "base/DataFile.h"
#include "gamefixture/AddonFile.h"
#include "support/TempFolder.h"

namespace drovane::fixture {
namespace {

using drovane::test::ReadTestFile;
using drovane::test::TempFolder;
using test::ChildProcess;
using test::Field;

constexpr char kGameClass[] = "GxWindowClass";
constexpr DWORD kWindowLimitMs = 15000;
const char kCyrillicAccount[] = "\xD0\x92\xD0\x9E\xD0\x98\xD0\x9D";  // ВОИН

std::string Variant(const std::string& name) {
  return test::BinFolder() + "\\fakegame\\" + name;
}

std::string WindowTitle(HWND window) {
  wchar_t title[256] = {};
  GetWindowTextW(window, title, 256);
  char utf8[1024] = {};
  WideCharToMultiByte(CP_UTF8, 0, title, -1, utf8, sizeof utf8, nullptr, nullptr);
  return utf8;
}

TEST(FakeGameVersion, VariantsCarryTheirVersionResources) {
  const struct {
    const char* file;
    const char* description;
    const char* version;
  } variants[] = {
      {"Wow.exe", "World of Warcraft", "7.0.3.22522"},
      {"Wow-64.exe", "World of Warcraft", "7.0.3.22522"},
      {"WowT.exe", "World of Warcraft PTR", "7.1.0.22810"},
      {"WowT-64.exe", "World of Warcraft PTR", "7.1.0.22810"},
      {"WowB.exe", "World of Warcraft Beta", "7.2.0.23436"},
      {"WowB-64.exe", "World of Warcraft Beta", "7.2.0.23436"},
      {"Wow-6x.exe", "World of Warcraft", "6.2.4.21742"},
      {"Wow-retail.exe", "World of Warcraft Retail", "7.0.3.22522"},
      {"World of Warcraft Launcher.exe", "World of Warcraft Launcher", "1.0.0.1"},
  };
  for (const auto& variant : variants) {
    SCOPED_TRACE(variant.file);
    test::VersionInfo info;
    ASSERT_TRUE(test::ReadVersionInfo(Variant(variant.file), info));
    EXPECT_EQ(info.description, variant.description);
    EXPECT_EQ(info.version, variant.version);
    // English first; a second translation describes itself differently, so only a reader
    // that takes the first translation sees the edition's text.
    ASSERT_EQ(info.translations.size(), 2u);
    EXPECT_EQ(info.translations[0], (std::pair<WORD, WORD>(0x0409, 1200)));
    EXPECT_EQ(info.translations[1], (std::pair<WORD, WORD>(0x0407, 1200)));
    EXPECT_EQ(info.Describe(0x0407, 1200), std::string(variant.description) + " (deDE)");
  }
}

TEST(FakeGameRun, HoldsItsWindowAndEndsOnTime) {
  ChildProcess game;
  const ULONGLONG started = GetTickCount64();
  ASSERT_TRUE(game.Start(Variant("Wow-64.exe"), {"--run-ms", "2000"}));
  HWND window = test::WaitForProcessWindow(game.Id(), kGameClass, kWindowLimitMs);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(WindowTitle(window), "World of Warcraft");
  EXPECT_EQ(GetParent(window), nullptr);
  DWORD exitCode = 99;
  ASSERT_TRUE(game.Wait(kWindowLimitMs, exitCode));
  EXPECT_GE(GetTickCount64() - started, 2000u);
  EXPECT_EQ(exitCode, 0u);
  EXPECT_FALSE(IsWindow(window));
}

TEST(FakeGameRun, EndsByItselfWithoutOptions) {
  ChildProcess game;
  const ULONGLONG started = GetTickCount64();
  ASSERT_TRUE(game.Start(Variant("WowB.exe"), {}));
  ASSERT_NE(test::WaitForProcessWindow(game.Id(), kGameClass, kWindowLimitMs), nullptr);
  DWORD exitCode = 99;
  ASSERT_TRUE(game.Wait(30000, exitCode));
  EXPECT_GE(GetTickCount64() - started, 3000u);
  EXPECT_EQ(exitCode, 0u);
}

TEST(FakeGameRun, UntilClosedRunsUntilItsWindowIsClosed) {
  ChildProcess game;
  ASSERT_TRUE(
      game.Start(Variant("WowT.exe"), {"--until-closed", "--exit-code", "5", "--title", "Игра"}));
  HWND window = test::WaitForProcessWindow(game.Id(), kGameClass, kWindowLimitMs);
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(WindowTitle(window), "Игра");
  DWORD exitCode = 99;
  EXPECT_FALSE(game.Wait(3500, exitCode));  // past the default run time, still there
  ASSERT_TRUE(PostMessageA(window, WM_CLOSE, 0, 0));
  ASSERT_TRUE(game.Wait(kWindowLimitMs, exitCode));
  EXPECT_EQ(exitCode, 5u);
}

TEST(FakeGameRun, BadCommandLineEndsAtOnce) {
  std::string output;
  EXPECT_EQ(test::RunProgram(Variant("Wow.exe"), {"--bogus"}, kWindowLimitMs, &output), 2);
  EXPECT_EQ(output, "fakegame: unknown option --bogus (see --help)\r\n");
}

TEST(FakeGameRun, WritesCacheAndAddonDataBeforeItEnds) {
  TempFolder temp;
  const std::string game = temp / "game";
  ASSERT_EQ(test::RunProgram(test::BinFolder() + "\\gamefixture.exe",
                             {"--records", "3", "--skip", "config", game}, 60000),
            0);
  const std::string addonPath =
      game + "\\WTF\\Account\\" + kCyrillicAccount + "\\SavedVariables\\+Drovane_Looter.lua";
  const std::string addonBefore = ReadTestFile(addonPath);
  int32_t statsBefore[6] = {};
  ASSERT_TRUE(ReadAddonStats(addonBefore, statsBefore));

  ChildProcess run;
  ASSERT_TRUE(
      run.Start(game + "\\Wow.exe",
                {"--run-ms", "300", "--append-wdb", "creatures:4", "--append-wdb", "pages:2:50",
                 "--write-adb", "itembonus:6", "--collect", std::string(kCyrillicAccount) + "=3",
                 "--set-stats", "MY MAIN=1^2^3^4^5^6", "--set-uploaded", "MY MAIN=1"}));
  DWORD exitCode = 99;
  ASSERT_TRUE(run.Wait(kWindowLimitMs, exitCode));
  EXPECT_EQ(exitCode, 0u);

  // New records follow the old ones, closed by the end marker; the build is the game's own.
  const std::string creatures = ReadTestFile(game + "\\Cache\\WDB\\enUS\\creaturecache.wdb");
  std::vector<int32_t> ids;
  for (const auto& record : test::WalkWdb(creatures)) ids.push_back(record.id);
  EXPECT_EQ(ids, (std::vector<int32_t>{1, 2, 3, 4, 5, 6, 7}));
  EXPECT_EQ(Field(creatures, 4), 22522);
  EXPECT_EQ(creatures.substr(creatures.size() - 8), std::string(8, '\0'));
  ids.clear();
  for (const auto& record :
       test::WalkWdb(ReadTestFile(game + "\\Cache\\WDB\\enUS\\pagetextcache.wdb"))) {
    ids.push_back(record.id);
  }
  EXPECT_EQ(ids, (std::vector<int32_t>{1, 2, 3, 50, 51}));

  const std::string bonus = ReadTestFile(game + "\\Cache\\ADB\\enUS\\itembonus.adb");
  EXPECT_EQ(bonus.substr(0, 4), "WCH8");
  EXPECT_EQ(Field(bonus, 4), 6);
  EXPECT_EQ(test::InventoryAdbIds(bonus, 0), (std::vector<int32_t>{1, 2, 3, 4, 5, 6}));

  // The add-on's files, with the old content kept beside as the game keeps it.
  const std::string addonAfter = ReadTestFile(addonPath);
  EXPECT_EQ(ReadTestFile(addonPath + ".bak"), addonBefore);
  int32_t statsAfter[6] = {};
  ASSERT_TRUE(ReadAddonStats(addonAfter, statsAfter));
  EXPECT_EQ(statsAfter[3], statsBefore[3] + 3);
  EXPECT_NE(addonAfter.find("\ndlUploaded = 0\n"), std::string::npos);
  const std::string main =
      ReadTestFile(game + "\\WTF\\Account\\MY MAIN\\SavedVariables\\+Drovane_Looter.lua");
  EXPECT_NE(main.find("\ndlStats = \"1^2^3^4^5^6\"\n"), std::string::npos);
  EXPECT_NE(main.find("\ndlUploaded = 1\n"), std::string::npos);
}

TEST(FakeGameRun, WritesAtStartWhenAsked) {
  TempFolder temp;
  ChildProcess run;
  ASSERT_TRUE(run.Start(Variant("WowB-64.exe"),
                        {"--until-closed", "--write-at", "start", "--game-folder", temp / "g",
                         "--locale", "deDE", "--append-wdb", "quests:2"}));
  HWND window = test::WaitForProcessWindow(run.Id(), kGameClass, kWindowLimitMs);
  ASSERT_NE(window, nullptr);
  // Written while the game still runs: a fresh file with the Beta build.
  const std::string quests = ReadTestFile(temp / "g\\Cache\\WDB\\deDE\\questcache.wdb");
  EXPECT_EQ(quests.substr(0, 8), std::string("TSQW") + std::string("\x8C\x5B\0\0", 4));
  EXPECT_EQ(test::WalkWdb(quests).size(), 2u);
  PostMessageA(window, WM_CLOSE, 0, 0);
  DWORD exitCode = 99;
  ASSERT_TRUE(run.Wait(kWindowLimitMs, exitCode));
  EXPECT_EQ(exitCode, 0u);
  EXPECT_EQ(ReadTestFile(temp / "g\\Cache\\WDB\\deDE\\questcache.wdb"), quests);  // not twice
}

TEST(FakeGameRun, LauncherStartsTheGameBesideIt) {
  TempFolder temp;
  const std::string game = temp / "game";
  ASSERT_EQ(test::RunProgram(test::BinFolder() + "\\gamefixture.exe",
                             {"--skip", "addon,wdb,adb,config", game}, 60000),
            0);
  EXPECT_EQ(test::RunProgram(game + "\\World of Warcraft Launcher.exe",
                             {"--run-ms", "1500", "--title", "Launched game"}, kWindowLimitMs),
            0);
  // The game it started: Wow-64.exe of the same folder, with the arguments passed on.
  HWND window = nullptr;
  DWORD processId = 0;
  const ULONGLONG deadline = GetTickCount64() + kWindowLimitMs;
  while (!window && GetTickCount64() < deadline) {
    window = test::FindWindowOfClass(kGameClass, &processId);
    if (!window) Sleep(50);
  }
  ASSERT_NE(window, nullptr);
  EXPECT_EQ(WindowTitle(window), "Launched game");
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | SYNCHRONIZE, FALSE, processId);
  ASSERT_NE(process, nullptr);
  char path[MAX_PATH] = {};
  DWORD size = MAX_PATH;
  EXPECT_TRUE(QueryFullProcessImageNameA(process, 0, path, &size));
  EXPECT_EQ(std::string(path), game + "\\Wow-64.exe");
  EXPECT_EQ(WaitForSingleObject(process, kWindowLimitMs), WAIT_OBJECT_0);
  CloseHandle(process);
}

}  // namespace
}  // namespace drovane::fixture
