// Game installations: the game's registry record, executable checks through real version
// resources (the fakegame variants), the start-up dialog for the Live folder, locale folders and
// the running-game check.
#include <windows.h>
#include <shlwapi.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/Application.h"
#include "base/DataFile.h"
#include "base/FileLog.h"
#include "base/Registry.h"
#include "base/TextHelpers.h"
#include "base/Version.h"
#include "game/GameDiscovery.h"
#include "support/CleanSettings.h"
#include "support/DialogAnswerer.h"
#include "support/GameInstall.h"
#include "support/Process.h"
#include "support/TempFolder.h"

namespace drovane {
namespace {

using test::DialogAnswerer;
using test::TempFolder;
using ::testing::ElementsAre;
using ::testing::UnorderedElementsAre;

constexpr char kLiveKey[] = "SOFTWARE\\Blizzard Entertainment\\World of Warcraft";
constexpr char kPtrKey[] = "SOFTWARE\\Blizzard Entertainment\\World of Warcraft\\PTR";

using test::FakeGamePath;

class GameDiscoveryTest : public test::CleanSettingsTest {
 protected:
  GameDiscoveryTest() : CleanSettingsTest(false) {}
  TempFolder games_;
};

TEST_F(GameDiscoveryTest, ExecutableInfoReadsDescriptionAndVersion) {
  std::string description, version;
  ASSERT_TRUE(ReadExecutableInfo(FakeGamePath("Wow.exe"), &description, &version));
  EXPECT_EQ(description, "World of Warcraft");
  EXPECT_EQ(version.substr(0, 2), "7.");
  ASSERT_TRUE(ReadExecutableInfo(FakeGamePath("Wow-6x.exe"), nullptr, &version));
  EXPECT_EQ(version, "6.2.4.21742");
  EXPECT_FALSE(ReadExecutableInfo(games_ / "missing.exe", &description, nullptr));
  test::WriteTestFile(games_ / "plain.exe", "not a program");
  EXPECT_FALSE(ReadExecutableInfo(games_ / "plain.exe", &description, &version));
}

TEST_F(GameDiscoveryTest, ValidFolderNeedsAcceptedDescriptionAndMajorVersionSeven) {
  ASSERT_TRUE(test::InstallFakeGame("Wow.exe", games_ / "live\\Wow.exe"));
  ASSERT_TRUE(test::InstallFakeGame("Wow-6x.exe", games_ / "old\\Wow.exe"));
  ASSERT_TRUE(test::InstallFakeGame("Wow-retail.exe", games_ / "retail\\Wow-64.exe"));
  ASSERT_TRUE(test::InstallFakeGame("Wow-retail.exe", games_ / "ptr-retail\\WowT.exe"));
  ASSERT_TRUE(test::InstallFakeGame("WowT.exe", games_ / "ptr\\WowT-64.exe"));
  ASSERT_TRUE(test::InstallFakeGame("Wow.exe",
                                    games_ / "any\\WowB.exe"));  // the common description fits all

  EXPECT_TRUE(IsValidGameFolder(Live, games_ / "live"));
  EXPECT_FALSE(IsValidGameFolder(Live, games_ / "old"));
  EXPECT_TRUE(IsValidGameFolder(Live, games_ / "retail"));
  EXPECT_FALSE(IsValidGameFolder(PTR, games_ / "ptr-retail"));
  EXPECT_TRUE(IsValidGameFolder(PTR, games_ / "ptr"));
  EXPECT_FALSE(IsValidGameFolder(Beta, games_ / "ptr"));
  EXPECT_TRUE(IsValidGameFolder(Beta, games_ / "any"));
  EXPECT_FALSE(IsValidGameFolder(static_cast<GameEdition>(3), games_ / "live"));
}

TEST_F(GameDiscoveryTest, InstallPathTriesThe64BitViewThenThe32BitView) {
  test::WriteTestFile(games_ / "live\\Wow-64.exe", "MZ");
  test::WriteTestFile(games_ / "ptr\\WowT.exe", "MZ");
  EXPECT_EQ(InstallPathFor(Live), "");
  test::WriteGameRecord(kLiveKey, games_ / "live\\", KEY_WOW64_32KEY);
  EXPECT_EQ(InstallPathFor(Live), games_ / "live");
  test::WriteGameRecord(kPtrKey, games_ / "ptr", KEY_WOW64_64KEY);
  EXPECT_EQ(InstallPathFor(PTR), games_ / "ptr");
  // A record of a folder without the edition's executable counts as no installation.
  test::WriteGameRecord(kPtrKey, games_ / "live", KEY_WOW64_64KEY);
  EXPECT_EQ(InstallPathFor(PTR), "");
}

TEST_F(GameDiscoveryTest, ListsOnlyFourCharacterLocaleFolders) {
  for (const char* name : {"enUS", "enGB", "temp", "ab", "deDE5"}) {
    CreateDirectoryTree(games_ / ("Cache\\WDB\\" + std::string(name)));
  }
  test::WriteTestFile(games_ / "Cache\\WDB\\frFR", "a file, not a folder");
  CreateDirectoryTree(games_ / "Cache\\ADB\\ruRU");
  std::vector<std::string> locales = {"stale"};
  ListCacheLocales(games_.path(), CacheFolderKind::WDB, locales);
  EXPECT_THAT(locales, UnorderedElementsAre("enUS", "enGB", "temp"));
  ListCacheLocales(games_.path(), CacheFolderKind::ADB, locales);
  EXPECT_THAT(locales, ElementsAre("ruRU"));
  ListCacheLocales(games_ / "missing", CacheFolderKind::ADB, locales);
  EXPECT_TRUE(locales.empty());
}

// The path a test's browse step returns, and the titles it was asked with.
std::string g_browseResult;
std::vector<std::string> g_browseTitles;
bool FakeChooser(const std::string& title, const std::string& filter, std::string& chosen) {
  g_browseTitles.push_back(title);
  EXPECT_EQ(filter,
            std::string("World of Warcraft (Wow.exe or Wow-64.exe)\0Wow.exe;Wow-64.exe\0", 61));
  if (g_browseResult.empty()) return false;
  chosen = g_browseResult;
  return true;
}

class ObtainLiveFolderTest : public GameDiscoveryTest {
 protected:
  void SetUp() override {
    GameDiscoveryTest::SetUp();
    g_browseResult.clear();
    g_browseTitles.clear();
  }
  static std::string StoredLiveFolder() {
    std::string folder;
    RegistryReadString(HKEY_CURRENT_USER, kOptionsKey, "WoW Folder", MAX_PATH, folder);
    return folder;
  }
  static constexpr char kNotFound[] =
      "Could not find your World of Warcraft folder.\nIt might not be installed on your "
      "computer.\n\nWould you like to browse for it?";
  Application app_;
};

TEST_F(ObtainLiveFolderTest, StoredFolderWithTrailingBackslashIsTakenWithoutRewriting) {
  test::WriteTestFile(games_ / "Wow-64.exe", "MZ");
  test::WriteRawValue(kOptionsKey, "WoW Folder", games_.path() + "\\", REG_SZ);
  DialogAnswerer answerer(kClientName, {IDCANCEL});
  EXPECT_TRUE(ObtainLiveFolder(app_, FakeChooser));
  EXPECT_EQ(app_.GetGameFolder(Live), games_.path());
  EXPECT_EQ(StoredLiveFolder(), games_.path() + "\\");
  EXPECT_TRUE(answerer.Texts().empty());
}

TEST_F(ObtainLiveFolderTest, NothingFoundAndNoBrowsingEndsWithoutAFolder) {
  DialogAnswerer answerer(kClientName, {IDNO});
  EXPECT_FALSE(ObtainLiveFolder(app_, FakeChooser));
  EXPECT_THAT(answerer.Texts(), ElementsAre(kNotFound));
  EXPECT_TRUE(g_browseTitles.empty());
  EXPECT_EQ(app_.GetGameFolder(Live), "");
}

TEST_F(ObtainLiveFolderTest, NothingFoundThenBrowsingToCapitalisedWowExeStoresItsFolder) {
  ASSERT_TRUE(test::InstallFakeGame("Wow.exe", games_ / "Games\\WoW\\WOW.EXE"));
  g_browseResult = games_ / "Games\\WoW\\WOW.EXE";
  DialogAnswerer answerer(kClientName, {IDYES});
  EXPECT_TRUE(ObtainLiveFolder(app_, FakeChooser));
  EXPECT_THAT(g_browseTitles, ElementsAre("Browse for your World of Warcraft folder"));
  EXPECT_EQ(app_.GetGameFolder(Live), games_ / "Games\\WoW");
  EXPECT_EQ(StoredLiveFolder(), games_ / "Games\\WoW");
}

TEST_F(ObtainLiveFolderTest, DetectedFolderConfirmedWithYesIsStored) {
  ASSERT_TRUE(test::InstallFakeGame("Wow.exe", games_ / "Wow.exe"));
  test::WriteGameRecord(kLiveKey, games_.path(), KEY_WOW64_64KEY);
  DialogAnswerer answerer(kClientName, {IDYES});
  EXPECT_TRUE(ObtainLiveFolder(app_, FakeChooser));
  EXPECT_THAT(answerer.Texts(),
              ElementsAre("Is this the folder where you installed World of Warcraft?\n" +
                          games_.path() + "\n\nIf not, click 'No' to browse for it."));
  EXPECT_EQ(StoredLiveFolder(), games_.path());
  EXPECT_TRUE(g_browseTitles.empty());
}

TEST_F(ObtainLiveFolderTest, DetectedFolderCancelledEndsWithoutAFolder) {
  ASSERT_TRUE(test::InstallFakeGame("Wow.exe", games_ / "Wow.exe"));
  test::WriteGameRecord(kLiveKey, games_.path(), KEY_WOW64_64KEY);
  DialogAnswerer answerer(kClientName, {IDCANCEL});
  EXPECT_FALSE(ObtainLiveFolder(app_, FakeChooser));
  EXPECT_EQ(answerer.Texts().size(), 1u);
  EXPECT_EQ(StoredLiveFolder(), "");
}

TEST_F(ObtainLiveFolderTest, DetectedFolderRefusedThenBrowsingCancelled) {
  ASSERT_TRUE(test::InstallFakeGame("Wow.exe", games_ / "Wow.exe"));
  test::WriteGameRecord(kLiveKey, games_.path(), KEY_WOW64_64KEY);
  DialogAnswerer answerer(kClientName, {IDNO});
  EXPECT_FALSE(ObtainLiveFolder(app_, FakeChooser));
  EXPECT_EQ(g_browseTitles.size(), 1u);
  EXPECT_EQ(app_.GetGameFolder(Live), "");
}

TEST_F(ObtainLiveFolderTest, BrowsingToAnotherFileOrAnOldGameIsRefusedWithItsMessage) {
  ASSERT_TRUE(test::InstallFakeGame("Wow-6x.exe", games_ / "old\\Wow-64.exe"));
  {
    g_browseResult = games_ / "old\\Wow-64.exe";
    DialogAnswerer answerer(kClientName, {IDYES, IDOK});
    EXPECT_FALSE(ObtainLiveFolder(app_, FakeChooser));
    EXPECT_THAT(answerer.Texts(),
                ElementsAre(kNotFound, "This is not a valid World of Warcraft application."));
  }
  {
    g_browseResult = games_ / "old\\Launcher.exe";
    DialogAnswerer answerer(kClientName, {IDYES, IDOK});
    EXPECT_FALSE(ObtainLiveFolder(app_, FakeChooser));
    EXPECT_THAT(answerer.Texts(),
                ElementsAre(kNotFound, "Could not find your World of Warcraft folder."));
  }
  EXPECT_EQ(StoredLiveFolder(), "");
}

TEST_F(GameDiscoveryTest, LoadingSettingsDetectsPtrAndBetaOnce) {
  ASSERT_TRUE(test::InstallFakeGame("Wow.exe", games_ / "live\\Wow.exe"));
  ASSERT_TRUE(test::InstallFakeGame("WowT.exe", games_ / "ptr\\WowT.exe"));
  test::WriteRawValue(kOptionsKey, "WoW Folder", games_ / "live", REG_SZ);
  test::WriteGameRecord(kPtrKey, games_ / "ptr", KEY_WOW64_64KEY);
  {
    Application app;
    ASSERT_TRUE(app.LoadSettingsAndUpgrade());
    EXPECT_EQ(app.GetGameFolder(PTR), games_ / "ptr");
    EXPECT_EQ(app.GetGameFolder(Beta), "");
  }
  uint32_t done = 0;
  EXPECT_TRUE(RegistryReadDword(kStatisticsKey, "AutoDetectedPTR", done));
  EXPECT_EQ(done, 1u);
  EXPECT_FALSE(RegistryValueExists(HKEY_CURRENT_USER, kStatisticsKey, "AutoDetectedBeta"));

  // Once done, a folder forgotten by the player is not detected again.
  SHDeleteValueA(HKEY_CURRENT_USER, kOptionsKey, "WoW Folder PTR");
  Application again;
  ASSERT_TRUE(again.LoadSettingsAndUpgrade());
  EXPECT_EQ(again.GetGameFolder(PTR), "");
}

TEST_F(GameDiscoveryTest, GameRunsFromAConfiguredFolderWhateverTheLetterCase) {
  ASSERT_TRUE(test::InstallFakeGame("Wow.exe", games_ / "Game Folder\\Wow.exe"));
  Application app;
  app.SetGameFolder(Live, Utf8ToUpper(games_ / "game folder"), true);
  EXPECT_FALSE(IsGameRunning(app));
  {
    test::ChildProcess game(test::Quoted(games_ / "Game Folder\\Wow.exe") + " --seconds 30");
    ASSERT_TRUE(game.started());
    bool seen = false;
    for (int i = 0; i < 100 && !seen; ++i) {
      seen = IsGameRunning(app);
      if (!seen) Sleep(100);
    }
    EXPECT_TRUE(seen);
    Application other;  // another folder: not this client's game
    other.SetGameFolder(Live, games_ / "elsewhere", true);
    EXPECT_FALSE(IsGameRunning(other));
  }  // the game is ended here
  EXPECT_FALSE(IsGameRunning(app));
  // The two-second watch reads the process list itself: WMI's locator was never loaded.
  EXPECT_EQ(GetModuleHandleA("wbemprox.dll"), nullptr);
}

}  // namespace
}  // namespace drovane
