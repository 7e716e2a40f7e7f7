// PrepareUpload's walk over real game folders: which files go into the package, under which
// names, and what the request reports beside them.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "UploadTestData.h"
#include "UploadTestGame.h"
#include "data/AccountData.h"
#include "data/SavedVariables.h"
#include "upload/Gzip.h"
#include "upload/UploadPackage.h"

namespace drovane {
namespace {

using test::IdRecord;
using test::Le32;
using test::LogLines;
using test::Record;
using test::TempFolder;
using test::WdbFile;
using test::WdbHeader;
using test::WdbRecordBytes;
using test::WriteTestFile;

const std::string kAddon =
    "dlVersion = 5\n"
    "dlUploaded = 0\n"
    "dlStats = \"1^2^3^4^5^6\"\n"
    "dlExportData = \"Aldor^Thrall^60\"\n"
    "dlLoot = {\n}\n";

class UploadPackageTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test::InstallGame(live_.path()));
    sources_.gameFolders[Live] = live_.path();
    sources_.exclusions = &exclusions_;
    sources_.states = &states_;
    wdb_.load = adb_.load = [this](UploadedIdSet& set) {
      for (int32_t id : uploaded_[set.StateFileName()]) set.Add(id);
    };
  }

  void Write(const std::string& relative, const std::string& content) {
    WriteTestFile(live_ / relative, content);
  }
  std::string AddonPath(const std::string& account) const {
    return SavedVariablesPath(live_.path(), account);
  }
  void WriteAddon(const std::string& account, const std::string& content) {
    WriteTestFile(AddonPath(account), content);
  }

  // Runs the walk; the package's files come back unpacked, by name.
  std::map<std::string, std::string> Build() {
    std::map<std::string, std::string> files;
    count_ = BuildUploadPackage(
        sources_, wdb_, adb_,
        [&files](const std::string& name, const std::string& content) {
          EXPECT_EQ(files.count(name), 0u) << name;
          files[name] = test::Gunzip(content);
        },
        settings_);
    EXPECT_EQ(count_, static_cast<int>(files.size()));
    return files;
  }

  TempFolder live_;
  PackageSources sources_;
  AccountExclusionMap exclusions_;
  UploadStateMap states_;
  std::map<std::string, std::vector<int32_t>> uploaded_;
  IdSetList wdb_, adb_;
  PackageSettings settings_;
  int count_ = -1;
};

TEST_F(UploadPackageTest, EveryKindOfFileUnderItsPackageName) {
  const std::string creatures = WdbFile(22522, {{1, "one"}, {2, "two"}});
  Write("Cache\\WDB\\enUS\\creaturecache.wdb", creatures);
  Write("Cache\\WDB\\enUS\\questcache.wdb", WdbFile(22522, {{9, "quest"}}));
  const std::string bonus = test::AdbHeader("WCH2", 1, 8, 0, 22522) + IdRecord(4, 8);
  Write("Cache\\ADB\\enUS\\itembonus.adb", bonus);
  Write("Data\\enUS\\realmlist.wtf", "set realmlist us.logon.worldofwarcraft.com\n");
  Write("WTF\\Config.wtf", "SET locale \"enUS\"\nSET portal \"US\"\n");
  WriteAddon("MY MAIN", kAddon);
  LogLines log;

  const auto files = Build();
  EXPECT_EQ(files, (std::map<std::string, std::string>{
                       {"LIVE_7.0.3.22522_MY MAIN_SavedVariables.lua.gz", kAddon},
                       {"LIVE_7.0.3.22522_enUS_creaturecache.wdb.gz", creatures},
                       {"LIVE_7.0.3.22522_enUS_itembonus.adb.gz", bonus},
                       {"LIVE_7.0.3.22522_enUS_questcache.wdb.gz", WdbFile(22522, {{9, "quest"}})},
                   }));
  EXPECT_EQ(settings_.realmlist, "us.logon.worldofwarcraft.com");
  EXPECT_EQ(settings_.portal, "US");
  EXPECT_EQ(settings_.addonVersion, 5);
  EXPECT_EQ(states_[AddonPath("MY MAIN")], UPLOADED_BASE | UPLOADED_EXPORT);
  EXPECT_TRUE(log.Has("Preparing '" + AddonPath("MY MAIN") + "' (" + std::to_string(kAddon.size()) +
                      " bytes)."));
  // The sets of this upload, each in its list.
  ASSERT_EQ(wdb_.sets.size(), 2u);
  EXPECT_TRUE(wdb_.sets[0].Contains(1) && wdb_.sets[0].Contains(2));
  ASSERT_EQ(adb_.sets.size(), 1u);
  EXPECT_TRUE(adb_.sets[0].Contains(4));
}

// A file that cannot be compressed is not in the package: its records and add-on bits must stay
// unsent, or the bookkeeping would mark them sent when the upload is confirmed.
TEST_F(UploadPackageTest, AFileLeftOutOfThePackageMarksNothingAsSent) {
  Write("Cache\\WDB\\enUS\\creaturecache.wdb", WdbFile(22522, {{1, "one"}, {2, "two"}}));
  Write("Cache\\WDB\\enUS\\questcache.wdb", WdbFile(22522, {{9, "quest"}}));
  Write("Cache\\ADB\\enUS\\itembonus.adb",
        test::AdbHeader("WCH2", 1, 8, 0, 22522) + IdRecord(4, 8));
  WriteAddon("MY MAIN", kAddon);
  int calls = 0;
  // Every file but the second WDB file (questcache) fails to compress.
  sources_.compress = [&calls](const char* data, size_t size, std::string& out) {
    return ++calls == 2 && GzipCompress(data, size, out);
  };
  const auto files = Build();
  ASSERT_EQ(calls, 4);
  EXPECT_EQ(files.size(), 1u);
  EXPECT_EQ(files.count("LIVE_7.0.3.22522_enUS_questcache.wdb.gz"), 1u);
  bool questSent = false;
  for (const UploadedIdSet& set : wdb_.sets) {
    EXPECT_FALSE(set.Contains(1) || set.Contains(2));
    questSent = questSent || set.Contains(9);
  }
  EXPECT_TRUE(questSent);
  for (const UploadedIdSet& set : adb_.sets) EXPECT_FALSE(set.Contains(4));
  EXPECT_EQ(states_[AddonPath("MY MAIN")], 0);
}

TEST_F(UploadPackageTest, AWdbFileWhoseRecordsWereAllSentIsLeftOut) {
  Write("Cache\\WDB\\enUS\\creaturecache.wdb", WdbFile(22522, {{1, "one"}, {2, "two"}}));
  uploaded_["creaturecache.wdb_enUS_22522"] = {1, 2};
  LogLines log;
  EXPECT_TRUE(Build().empty());
  EXPECT_TRUE(log.Has("\t2 done + 0 = 2 row(s)"));
}

TEST_F(UploadPackageTest, ConfigIsReadOncePerWdbLocaleFolder) {
  Write("Cache\\WDB\\enUS\\creaturecache.wdb", WdbHeader(1));
  Write("Cache\\WDB\\enGB\\creaturecache.wdb", WdbHeader(1));
  Write("Cache\\WDB\\deDE_old\\creaturecache.wdb", WdbHeader(1));  // not a locale folder
  Write("Data\\enUS\\realmlist.wtf", "set realmlist us.logon\n");
  Write("Data\\enGB\\realmlist.wtf", "SET realmList eu.logon\r\n");
  Write("WTF\\Config.wtf", "SET portal \"US\"\n");
  Build();
  EXPECT_EQ(settings_.portal, "US\nUS");
  // Wine lists folders sorted by name, Windows in the order of the file system: either order.
  EXPECT_TRUE(settings_.realmlist == "us.logon\neu.logon" ||
              settings_.realmlist == "eu.logon\nus.logon")
      << settings_.realmlist;
}

TEST_F(UploadPackageTest, PortalInDoubleQuotesWithMixedCase) {
  Write("Cache\\WDB\\enUS\\creaturecache.wdb", WdbHeader(1));
  Write("WTF\\Config.wtf", "SET Portal \"EU\"\r\n");
  Build();
  EXPECT_EQ(settings_.portal, "EU");
  EXPECT_EQ(settings_.realmlist, "");
}

TEST_F(UploadPackageTest, AnExcludedAccountWhoseBaseWasSentGoesAsAnEmptyCopy) {
  // The exclusion list holds upper-case names, the folder has its own case.
  exclusions_["MY MAIN"] = "MY MAIN";
  WriteAddon("My Main", kAddon);
  states_[AddonPath("My Main")] = UPLOADED_BASE;
  const auto files = Build();
  EXPECT_EQ(
      files,
      (std::map<std::string, std::string>{{"LIVE_7.0.3.22522_My Main_SavedVariables.lua.gz", ""}}));
  EXPECT_EQ(states_[AddonPath("My Main")], UPLOADED_BASE);
}

TEST_F(UploadPackageTest, AnExcludedAccountSendsItsBaseWithoutTheExportLine) {
  exclusions_["ВОИН"] = "ВОИН";
  WriteAddon("Воин", kAddon);
  WriteAddon("Other", kAddon);
  const auto files = Build();
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files.at("LIVE_7.0.3.22522_Воин_SavedVariables.lua.gz"),
            "dlVersion = 5\ndlUploaded = 0\ndlStats = \"1^2^3^4^5^6\"\ndlLoot = {\n}\n");
  EXPECT_EQ(files.at("LIVE_7.0.3.22522_Other_SavedVariables.lua.gz"), kAddon);
  EXPECT_EQ(states_[AddonPath("Воин")], UPLOADED_BASE);
  EXPECT_EQ(states_[AddonPath("Other")], UPLOADED_BASE | UPLOADED_EXPORT);
}

TEST_F(UploadPackageTest, WithoutCharacterDataNoExportLineGoesAndNoExportBitIsSet) {
  sources_.noCharacterData = true;
  WriteAddon("A", kAddon);
  WriteAddon("B", kAddon);
  states_[AddonPath("B")] = UPLOADED_BASE;
  const auto files = Build();
  ASSERT_EQ(files.size(), 2u);
  for (const auto& file : files) {
    EXPECT_EQ(file.second.find("dlExportData = "), std::string::npos) << file.first;
  }
  EXPECT_EQ(states_[AddonPath("A")], UPLOADED_BASE);
  EXPECT_EQ(states_[AddonPath("B")], UPLOADED_BASE);
}

TEST_F(UploadPackageTest, TheNewestAddonVersionAndTheFilesLeftOut) {
  WriteAddon("A", "dlVersion = 3\n");
  WriteAddon("B", "dlVersion = 5\n");
  WriteAddon("C", "dlVersion = 9\n");
  states_[AddonPath("C")] = 7;  // fully uploaded: neither sent nor looked at
  WriteAddon("Empty", "");
  WriteTestFile(live_ / "WTF\\Account\\NoAddon\\SavedVariables\\other.lua", "x");
  const auto files = Build();
  EXPECT_EQ(files.size(), 2u);
  EXPECT_EQ(settings_.addonVersion, 5);
}

TEST_F(UploadPackageTest, WithoutAnyVersionTheAddonVersionIsZero) {
  WriteAddon("A", "dlStats = \"1^2^3^4^5^6\"\n");
  Build();
  EXPECT_EQ(settings_.addonVersion, 0);
}

TEST_F(UploadPackageTest, AnInstallationThatFailsTheExecutableCheckSendsNothing) {
  TempFolder old;
  ASSERT_TRUE(test::InstallGame(old.path(), "Wow-6x.exe", "Wow.exe"));
  WriteTestFile(old / "Cache\\WDB\\enUS\\creaturecache.wdb", WdbFile(1, {{1, "x"}}));
  WriteTestFile(SavedVariablesPath(old.path(), "A"), kAddon);
  sources_.gameFolders[Live] = old.path();
  EXPECT_TRUE(Build().empty());
  EXPECT_EQ(count_, 0);
  EXPECT_TRUE(states_.empty());
}

TEST_F(UploadPackageTest, ARecordSeenInTwoInstallationsOfOneBuildGoesOnce) {
  TempFolder ptr;
  ASSERT_TRUE(test::InstallGame(ptr.path(), "Wow.exe", "WowT.exe"));
  const std::string creatures = WdbFile(22522, {{1, "one"}, {2, "two"}});
  Write("Cache\\WDB\\enUS\\creaturecache.wdb", creatures);
  WriteTestFile(ptr / "Cache\\WDB\\enUS\\creaturecache.wdb",
                WdbFile(22522, {{2, "two"}, {3, "three"}}));
  sources_.gameFolders[PTR] = ptr.path();
  const auto files = Build();
  EXPECT_EQ(files, (std::map<std::string, std::string>{
                       {"LIVE_7.0.3.22522_enUS_creaturecache.wdb.gz", creatures},
                       {"PTR_7.0.3.22522_enUS_creaturecache.wdb.gz",
                        WdbHeader(22522) + WdbRecordBytes({3, "three"}) + std::string(8, '\0')},
                   }));
  EXPECT_EQ(wdb_.sets.size(), 1u);
}

TEST_F(UploadPackageTest, ADamagedAdbFileIsLeftOutWithItsLine) {
  Write("Cache\\ADB\\enUS\\item.adb", test::AdbHeader("WCH8", 1000, 8, 0, 1) + "short");
  Write("Cache\\ADB\\enUS\\keychain.adb", std::string(49, 'x'));
  LogLines log;
  EXPECT_TRUE(Build().empty());
  EXPECT_TRUE(log.Has("\tError: Invalid header values. First values."));
  EXPECT_TRUE(log.Has("\tFile Empty."));
}

TEST_F(UploadPackageTest, ResponseLocaleOfTheInstallations) {
  std::string folders[kEditionCount];
  EXPECT_EQ(ResponseLocale(folders), "enUS");
  folders[Live] = live_.path();
  Write("Cache\\WDB\\ruRU\\creaturecache.wdb", WdbHeader(1));
  EXPECT_EQ(ResponseLocale(folders), "ruRU");
  // A PTR folder without its executable does not count; one with it and without locales does.
  TempFolder ptr;
  folders[PTR] = ptr.path();
  EXPECT_EQ(ResponseLocale(folders), "ruRU");
  ASSERT_TRUE(test::InstallGame(ptr.path(), "Wow.exe", "WowT.exe"));
  EXPECT_EQ(ResponseLocale(folders), "enUS");
}

TEST(OsVersion, FiveNumbers) {
  const std::string text = OsVersionText();
  EXPECT_EQ(std::count(text.begin(), text.end(), '.'), 4) << text;
}

}  // namespace
}  // namespace drovane
