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

using test::ReadRawValue;
using test::WriteRawValue;

class SettingsTest : public test::CleanSettingsTest {
 protected:
  static std::string Raw(const char* key, const char* name, unsigned long expectedType) {
    std::string bytes;
    unsigned long type = 0;
    EXPECT_TRUE(ReadRawValue(key, name, bytes, type)) << name;
    EXPECT_EQ(type, expectedType) << name;
    return bytes;
  }
  // Texts are handed to the registry without their terminator; the system itself adds one when the
  // byte after the given data is a NUL (Windows NT and Wine alike), so the stored text may end in
  // exactly one NUL and must hold nothing else.
  static std::string Text(const char* key, const char* name) {
    std::string bytes = Raw(key, name, REG_SZ);
    if (!bytes.empty() && bytes.back() == '\0') bytes.pop_back();
    EXPECT_EQ(bytes.find('\0'), std::string::npos) << name;
    return bytes;
  }
  static bool Exists(const char* key, const char* name) {
    std::string bytes;
    unsigned long type = 0;
    return ReadRawValue(key, name, bytes, type);
  }
  static std::string Dword(uint32_t value) {
    return std::string(reinterpret_cast<const char*>(&value), 4);
  }
};

TEST_F(SettingsTest, FirstStartWritesDefaultPreferencesAndCountsTheStart) {
  Application app;
  ASSERT_TRUE(app.LoadSettingsAndUpgrade());
  EXPECT_EQ(app.GetPreferences(), 12u);
  EXPECT_EQ(Raw(kOptionsKey, "Preferences", REG_DWORD), Dword(12));
  EXPECT_EQ(Raw(kStatisticsKey, "#TimesStarted", REG_DWORD), Dword(1));
  EXPECT_FALSE(Exists(kClientKey, "Version"));  // no stored version: no upgrade, none written
  EXPECT_FALSE(app.GetStartWithWindows());
  EXPECT_EQ(app.GetUsername(), "");

  Application second;
  ASSERT_TRUE(second.LoadSettingsAndUpgrade());
  EXPECT_EQ(second.timesStarted, 2u);
  EXPECT_EQ(Raw(kStatisticsKey, "#TimesStarted", REG_DWORD), Dword(2));
}

TEST_F(SettingsTest, StoredValuesAreLoadedWithoutWritingBack) {
  WriteRawValue(kOptionsKey, "Preferences", Dword(0x51), REG_DWORD);
  WriteRawValue(kOptionsKey, "Username", "Player01", REG_SZ);
  WriteRawValue(kOptionsKey, "Password", Md5Hex("secret"), REG_SZ);
  WriteRawValue(kRunKey, kRunValueName, "anything", REG_SZ);
  Application app;
  ASSERT_TRUE(app.LoadSettingsAndUpgrade());
  EXPECT_EQ(app.GetPreferences(), 0x51u);
  EXPECT_EQ(app.GetUsername(), "Player01");
  EXPECT_EQ(app.GetPassword(), Md5Hex("secret"));
  EXPECT_TRUE(app.GetStartWithWindows());
}

TEST_F(SettingsTest, InvalidOrOversizedStoredCredentialsLeaveFieldsEmpty) {
  const char* badNames[] = {"abc", "abcdefghijklmnopq", "ab_cd", "12345678901234567890"};
  for (const char* name : badNames) {
    WriteRawValue(kOptionsKey, "Username", name, REG_SZ);
    Application app;
    ASSERT_TRUE(app.LoadSettingsAndUpgrade());
    EXPECT_EQ(app.GetUsername(), "") << name;
  }
  const std::string digest = Md5Hex("x");
  for (const std::string& stored : {digest.substr(0, 31), digest + "a", digest + digest}) {
    WriteRawValue(kOptionsKey, "Password", stored, REG_SZ);
    Application app;
    ASSERT_TRUE(app.LoadSettingsAndUpgrade());
    EXPECT_EQ(app.GetPassword(), "") << stored;
  }
  // Sixteen characters is the longest name; it still fits its buffer.
  WriteRawValue(kOptionsKey, "Username", "abcdefghijklmnop", REG_SZ);
  Application app;
  ASSERT_TRUE(app.LoadSettingsAndUpgrade());
  EXPECT_EQ(app.GetUsername(), "abcdefghijklmnop");
}

TEST_F(SettingsTest, SettersValidateAndStoreTextWithoutTerminator) {
  Application app;
  EXPECT_FALSE(app.SetUsername("abc"));
  EXPECT_FALSE(app.SetUsername("abcdefghijklmnopq"));
  EXPECT_FALSE(app.SetUsername("ab cd"));
  EXPECT_TRUE(app.SetUsername("Abcd"));
  EXPECT_EQ(Text(kOptionsKey, "Username"), "Abcd");
  EXPECT_TRUE(app.SetUsername("Abcd"));  // equal: nothing to do
  EXPECT_FALSE(app.SetUsername(""));     // a stored name cannot be emptied
  EXPECT_EQ(app.GetUsername(), "Abcd");

  EXPECT_FALSE(app.SetPassword(std::string(31, 'a')));
  EXPECT_FALSE(app.SetPassword(std::string(32, '-')));
  EXPECT_TRUE(app.SetPassword(Md5Hex("pw")));
  EXPECT_EQ(Text(kOptionsKey, "Password"), Md5Hex("pw"));

  EXPECT_TRUE(app.SetPreferences(0x1C));
  EXPECT_EQ(Raw(kOptionsKey, "Preferences", REG_DWORD), Dword(0x1C));
  EXPECT_TRUE(app.SetPreferences(0x40, true));  // noWrite changes only the field
  EXPECT_EQ(app.GetPreferences(), 0x40u);
  EXPECT_EQ(Raw(kOptionsKey, "Preferences", REG_DWORD), Dword(0x1C));

  EXPECT_TRUE(app.SetGameFolder(PTR, "C:\\Games\\WoW PTR"));
  EXPECT_EQ(Text(kOptionsKey, "WoW Folder PTR"), "C:\\Games\\WoW PTR");
  EXPECT_TRUE(app.SetGameFolder(Beta, "D:\\Beta", true));
  EXPECT_EQ(app.GetGameFolder(Beta), "D:\\Beta");
  EXPECT_FALSE(Exists(kOptionsKey, "WoW Folder Beta"));
}

TEST_F(SettingsTest, StartWithWindowsWritesQuotedModulePathAndDeletes) {
  Application app;
  std::string module;
  ASSERT_TRUE(GetModulePath(module));
  EXPECT_TRUE(app.SetStartWithWindows(true));
  EXPECT_EQ(Text(kRunKey, kRunValueName), "\"" + module + "\"");
  // A second call finds nothing to do and writes nothing.
  WriteRawValue(kRunKey, kRunValueName, "marker", REG_SZ);
  EXPECT_TRUE(app.SetStartWithWindows(true));
  EXPECT_EQ(Text(kRunKey, kRunValueName), "marker");
  EXPECT_TRUE(app.SetStartWithWindows(false));
  EXPECT_FALSE(Exists(kRunKey, kRunValueName));
  EXPECT_FALSE(app.GetStartWithWindows());
}

TEST_F(SettingsTest, CountStartReadsStoredCountOnce) {
  WriteRawValue(kStatisticsKey, "#TimesStarted", Dword(41), REG_DWORD);
  Application app;
  EXPECT_EQ(app.CountStart(), 42u);
  WriteRawValue(kStatisticsKey, "#TimesStarted", Dword(7), REG_DWORD);
  EXPECT_EQ(app.CountStart(), 43u);  // the cached count goes on
  EXPECT_EQ(Raw(kStatisticsKey, "#TimesStarted", REG_DWORD), Dword(43));
}

TEST_F(SettingsTest, RegistryReadTreatsValuesLongerThanTheBufferAsAbsent) {
  WriteRawValue(kClientKey, "Version", "1.10.001", REG_SZ);  // 8 characters: no room
  std::string text;
  EXPECT_FALSE(RegistryReadString(HKEY_CURRENT_USER, kClientKey, "Version", 8, text));
  WriteRawValue(kClientKey, "Version", "1.8.05", REG_SZ);
  EXPECT_TRUE(RegistryReadString(HKEY_CURRENT_USER, kClientKey, "Version", 8, text));
  EXPECT_EQ(text, "1.8.05");
  WriteRawValue(kOptionsKey, "WoW Folder", std::string(300, 'x'), REG_SZ);
  EXPECT_FALSE(RegistryReadString(HKEY_CURRENT_USER, kOptionsKey, "WoW Folder", 4096, text));
  EXPECT_FALSE(RegistryValueExists(HKEY_CURRENT_USER, kClientKey, "Missing"));
}

TEST_F(SettingsTest, OptionalFoldersNeedTheirExecutableAndAreNotRewritten) {
  test::TempFolder games;
  test::WriteTestFile(games / "ptr\\WowT-64.exe", "MZ");
  test::WriteTestFile(games / "beta\\Wow.exe", "MZ");  // not a beta executable
  WriteRawValue(kOptionsKey, "WoW Folder PTR", games / "ptr\\\\", REG_SZ);
  WriteRawValue(kOptionsKey, "WoW Folder Beta", games / "beta", REG_SZ);
  Application app;
  ASSERT_TRUE(app.LoadSettingsAndUpgrade());
  EXPECT_EQ(app.GetGameFolder(PTR), games / "ptr");
  EXPECT_EQ(app.GetGameFolder(Beta), "");
  EXPECT_EQ(Text(kOptionsKey, "WoW Folder PTR"), games / "ptr\\\\");
  EXPECT_EQ(Text(kOptionsKey, "WoW Folder Beta"), games / "beta");
}

TEST_F(SettingsTest, AFolderNamedOutsideTheCodePageIsStoredAndLoadedWhole) {
  // Greek and Cyrillic are both outside the tests' code page (1252).
  test::TempFolder games;
  test::WriteTestFile(games / "ptr\\WowT-64.exe", "MZ");
  const std::string folder = test::RenameToWideName(games / "ptr", L"\u03A9 \u0418\u0433\u0440\u044B");
  ASSERT_EQ(folder, games / u8"\u03A9 \u0418\u0433\u0440\u044B");
  {
    Application app;
    ASSERT_TRUE(app.SetGameFolder(PTR, folder, false));
  }
  EXPECT_EQ(Text(kOptionsKey, "WoW Folder PTR"), folder);
  Application again;
  ASSERT_TRUE(again.LoadSettingsAndUpgrade());
  EXPECT_EQ(again.GetGameFolder(PTR), folder);
}

}  // namespace
}  // namespace drovane
