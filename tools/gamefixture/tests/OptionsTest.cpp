#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fakegame/FakeGameOptions.h"
#include "gamefixture/FixtureOptions.h"
#include "gamefixture/Installation.h"

namespace drovane::fixture {
namespace {

FixtureOptions Parse(const std::vector<std::string>& args) {
  FixtureOptions options;
  std::string error;
  EXPECT_TRUE(ParseFixtureOptions(args, options, error)) << error;
  return options;
}

std::string ParseError(const std::vector<std::string>& args) {
  FixtureOptions options;
  std::string error;
  EXPECT_FALSE(ParseFixtureOptions(args, options, error));
  return error;
}

std::vector<std::string> Targets(const FixtureOptions& options) {
  std::vector<std::string> names;
  for (const ExecutableCopy& copy : ExecutablesFor(options))
    names.push_back(copy.source + ">" + copy.target);
  return names;
}

using Names = std::vector<std::string>;

TEST(FixtureOptions, Defaults) {
  const FixtureOptions options = Parse({"C:\\game"});
  EXPECT_EQ(options.folder, "C:\\game");
  EXPECT_EQ(options.edition, Live);
  EXPECT_EQ(options.locales, Names{"enUS"});
  ASSERT_EQ(options.accounts.size(), 3u);
  EXPECT_EQ(options.accounts[0].name, "MY MAIN");
  EXPECT_EQ(options.accounts[1].name, "\xD0\x92\xD0\x9E\xD0\x98\xD0\x9D");  // ВОИН in UTF-8
  EXPECT_GT(options.accounts[2].name.size(), 16u);
  EXPECT_EQ(options.wdbRecords, 20);
  EXPECT_EQ(options.adbRecords, 20);
  EXPECT_EQ(options.offsetMapStart, 52u);
  EXPECT_FALSE(options.registerInstall);
  EXPECT_FALSE(options.registry32);
  EXPECT_EQ(Targets(options),
            (Names{"Wow.exe>Wow.exe", "Wow-64.exe>Wow-64.exe",
                   "World of Warcraft Launcher.exe>World of Warcraft Launcher.exe"}));
  EXPECT_EQ(BuildSourceFor(options), "Wow.exe");
}

TEST(FixtureOptions, Values) {
  const FixtureOptions options = Parse({"--edition",
                                        "beta",
                                        "--locales=enUS,deDE",
                                        "--accounts",
                                        "A:1,B,C:3",
                                        "--records",
                                        "7",
                                        "--adb-records=9",
                                        "--first-id",
                                        "5",
                                        "--padding",
                                        "64",
                                        "--adb-record-size",
                                        "12",
                                        "--adb-format",
                                        "WCH8,wch2",
                                        "--offset-map-at",
                                        "44",
                                        "--no-wdb-end-marker",
                                        "--build",
                                        "12345",
                                        "--seed",
                                        "9",
                                        "--realmlist",
                                        "",
                                        "--portal",
                                        "EU",
                                        "--crlf",
                                        "--loot",
                                        "0",
                                        "--register",
                                        "--registry-view",
                                        "32",
                                        "--install-path",
                                        "C:\\x\\",
                                        "--verbose",
                                        "dir"});
  EXPECT_EQ(options.folder, "dir");
  EXPECT_EQ(options.edition, Beta);
  EXPECT_EQ(options.locales, (Names{"enUS", "deDE"}));
  ASSERT_EQ(options.accounts.size(), 3u);
  EXPECT_EQ(options.accounts[0].uploaded, 1);
  EXPECT_EQ(options.accounts[1].name, "B");
  EXPECT_EQ(options.accounts[1].uploaded, 0);
  EXPECT_EQ(options.accounts[2].uploaded, 3);
  EXPECT_EQ(options.wdbRecords, 7);
  EXPECT_EQ(options.adbRecords, 9);
  EXPECT_EQ(options.firstId, 5);
  EXPECT_EQ(options.padding, 64u);
  EXPECT_EQ(options.adbRecordSize, 12u);
  EXPECT_EQ(options.AdbFormatFor(0), AdbMagic::WCH8);
  EXPECT_EQ(options.AdbFormatFor(1), AdbMagic::WCH2);
  EXPECT_EQ(options.offsetMapStart, 44u);
  EXPECT_FALSE(options.wdbEndMarker);
  EXPECT_TRUE(options.buildGiven);
  EXPECT_EQ(options.build, 12345u);
  EXPECT_EQ(options.seed, 9u);
  EXPECT_EQ(options.realmlist, "");
  EXPECT_EQ(options.portal, "EU");
  EXPECT_TRUE(options.crlf);
  EXPECT_EQ(options.lootEntries, 0);
  EXPECT_TRUE(options.registerInstall);
  EXPECT_TRUE(options.registry32);
  EXPECT_EQ(options.installPath, "C:\\x\\");
  EXPECT_TRUE(options.verbose);
  EXPECT_TRUE(Parse({"--accounts", "", "d"}).accounts.empty());
  EXPECT_TRUE(Parse({"--unregister"}).unregister);
}

TEST(FixtureOptions, Executables) {
  EXPECT_EQ(Targets(Parse({"--edition", "ptr", "d"})),
            (Names{"WowT.exe>WowT.exe", "WowT-64.exe>WowT-64.exe"}));
  EXPECT_EQ(Targets(Parse({"--edition", "beta", "--executables", "64", "d"})),
            (Names{"WowB-64.exe>WowB-64.exe"}));
  EXPECT_EQ(Targets(Parse({"--game-version", "6", "--executables", "32", "--no-launcher", "d"})),
            (Names{"Wow-6x.exe>Wow.exe"}));
  EXPECT_EQ(Targets(Parse({"--edition", "ptr", "--game-version", "retail", "d"})),
            (Names{"Wow-retail.exe>WowT.exe", "Wow-retail.exe>WowT-64.exe"}));
  EXPECT_EQ(Targets(Parse({"--executables", "none", "d"})),
            (Names{"World of Warcraft Launcher.exe>World of Warcraft Launcher.exe"}));
  EXPECT_TRUE(Targets(Parse({"--skip", "executables", "d"})).empty());
  EXPECT_EQ(BuildSourceFor(Parse({"--edition", "beta", "d"})), "WowB.exe");
  EXPECT_EQ(BuildSourceFor(Parse({"--game-version", "6", "d"})), "Wow-6x.exe");
}

TEST(FixtureOptions, Errors) {
  EXPECT_EQ(ParseError({}), "no installation folder given (see --help)");
  EXPECT_EQ(ParseError({"a", "b"}), "only one installation folder may be given (\"b\")");
  EXPECT_EQ(ParseError({"--frobnicate", "d"}), "unknown option --frobnicate (see --help)");
  EXPECT_EQ(ParseError({"d", "--records"}), "--records needs a value");
  EXPECT_EQ(ParseError({"--records", "-1", "d"}),
            "--records needs a whole number from 0 to 10000000, not \"-1\"");
  EXPECT_EQ(ParseError({"--edition", "classic", "d"}),
            "--edition must be one of live, ptr, beta, not \"classic\"");
  EXPECT_EQ(ParseError({"--accounts", "A/B", "d"}), "--accounts: \"A/B\" cannot be a folder name");
  EXPECT_EQ(ParseError({"--accounts", "A:x", "d"}),
            "--accounts needs a whole number from 0 to 2147483647, not \"x\"");
  EXPECT_EQ(ParseError({"--locales", "enUS,..", "d"}), "--locales: \"..\" cannot be a folder name");
  EXPECT_EQ(ParseError({"--adb-format", "WCH8,WCH2", "d"}),
            "--adb-format needs one value, or one for each of the 1 locales");
  EXPECT_EQ(ParseError({"--adb-format", "WCH3", "d"}),
            "--adb-format must list WCH8 or WCH2, not \"WCH3\"");
  EXPECT_EQ(ParseError({"--crlf=1", "d"}), "--crlf takes no value");
  EXPECT_EQ(ParseError({"--skip", "cache", "d"}),
            "--skip: unknown part \"cache\" (executables, addon, wdb, adb, config)");
  EXPECT_EQ(ParseError({"--first-id", "2147483647", "--records", "2", "d"}),
            "--first-id plus the record count runs past the largest id 2147483647");
  EXPECT_EQ(ParseError({"--adb-record-size", "4", "d"}),
            "--adb-record-size needs a whole number from 8 to 65536, not \"4\"");
}

TEST(FixtureOptions, PlannedFiles) {
  const FixtureOptions options =
      Parse({"--locales", "enUS,deDE", "--accounts", "ONE,TWO", "--skip", "adb", "d"});
  std::vector<std::string> paths;
  for (const PlannedFile& file : PlanInstallation(options)) paths.push_back(file.relativePath);
  EXPECT_EQ(
      paths,
      (Names{"WTF\\Account\\ONE\\SavedVariables\\+Drovane_Looter.lua",
             "WTF\\Account\\TWO\\SavedVariables\\+Drovane_Looter.lua",
             "Cache\\WDB\\enUS\\creaturecache.wdb", "Cache\\WDB\\enUS\\gameobjectcache.wdb",
             "Cache\\WDB\\enUS\\pagetextcache.wdb", "Cache\\WDB\\enUS\\questcache.wdb",
             "Data\\enUS\\realmlist.wtf", "Cache\\WDB\\deDE\\creaturecache.wdb",
             "Cache\\WDB\\deDE\\gameobjectcache.wdb", "Cache\\WDB\\deDE\\pagetextcache.wdb",
             "Cache\\WDB\\deDE\\questcache.wdb", "Data\\deDE\\realmlist.wtf", "WTF\\Config.wtf"}));
  EXPECT_EQ(PlanInstallation(Parse({"--skip", "addon,wdb,adb,config", "d"})).size(), 0u);
}

TEST(FixtureOptions, ConfigurationFiles) {
  const FixtureOptions options = Parse({"--portal", "EU", "--realmlist", "eu.logon.test", "d"});
  const PlannedFile realmlist{"Data\\enUS\\realmlist.wtf", PlannedFile::Kind::Realmlist, 0, 0};
  const PlannedFile config{"WTF\\Config.wtf", PlannedFile::Kind::Config, 0, 0};
  EXPECT_EQ(BuildPlannedFile(options, realmlist, 1),
            "set realmlist eu.logon.test\nset patchlist us.version.worldofwarcraft.com\n");
  EXPECT_EQ(BuildPlannedFile(options, config, 1),
            "SET readTOS \"1\"\nSET readEULA \"1\"\nSET locale \"enUS\"\nSET portal \"EU\"\n"
            "SET accountName \"MY MAIN\"\nSET gxWindow \"1\"\nSET gxMaximize \"0\"\n");
  const FixtureOptions bare = Parse({"--portal=", "--realmlist=", "--accounts=", "d"});
  EXPECT_EQ(BuildPlannedFile(bare, realmlist, 1), "set patchlist us.version.worldofwarcraft.com\n");
  EXPECT_EQ(BuildPlannedFile(bare, config, 1).find("portal"), std::string::npos);
}

fakegame::FakeGameOptions ParseGame(const std::vector<std::string>& args) {
  fakegame::FakeGameOptions options;
  std::string error;
  EXPECT_TRUE(fakegame::ParseFakeGameOptions(args, options, error)) << error;
  return options;
}

std::string ParseGameError(const std::vector<std::string>& args) {
  fakegame::FakeGameOptions options;
  std::string error;
  EXPECT_FALSE(fakegame::ParseFakeGameOptions(args, options, error));
  return error;
}

TEST(FakeGameOptions, DefaultsEndByThemselves) {
  const fakegame::FakeGameOptions options = ParseGame({});
  EXPECT_EQ(options.runMs, 3000u);
  EXPECT_TRUE(options.HasTimeLimit());
  EXPECT_EQ(options.title, "World of Warcraft");
  EXPECT_EQ(options.locale, "enUS");
  EXPECT_EQ(options.writeAt, fakegame::WriteAt::Exit);
  EXPECT_FALSE(ParseGame({"--until-closed"}).HasTimeLimit());
  EXPECT_TRUE(ParseGame({"--until-closed", "--run-ms", "100"}).HasTimeLimit());
}

TEST(FakeGameOptions, Values) {
  const fakegame::FakeGameOptions options = ParseGame({"--run-ms",
                                                       "250",
                                                       "--exit-code",
                                                       "7",
                                                       "--game-folder",
                                                       "C:\\g",
                                                       "--locale",
                                                       "deDE",
                                                       "--title",
                                                       "Game",
                                                       "--write-at",
                                                       "start",
                                                       "--append-wdb",
                                                       "creatures:5",
                                                       "--append-wdb",
                                                       "questcache.wdb:2:900",
                                                       "--write-adb",
                                                       "item-sparse:3",
                                                       "--adb-format",
                                                       "WCH2",
                                                       "--collect",
                                                       "MY MAIN=4",
                                                       "--set-stats",
                                                       "A=B=1^2^3^4^5^6",
                                                       "--set-uploaded",
                                                       "X=3",
                                                       "--padding",
                                                       "10",
                                                       "--seed",
                                                       "5",
                                                       "--build",
                                                       "777",
                                                       "--no-wdb-end-marker"});
  EXPECT_EQ(options.runMs, 250u);
  EXPECT_EQ(options.exitCode, 7);
  EXPECT_EQ(options.gameFolder, "C:\\g");
  EXPECT_EQ(options.locale, "deDE");
  EXPECT_EQ(options.title, "Game");
  EXPECT_EQ(options.writeAt, fakegame::WriteAt::Start);
  ASSERT_EQ(options.wdbAppends.size(), 2u);
  EXPECT_EQ(options.wdbAppends[0].kind, WdbKind::Creatures);
  EXPECT_EQ(options.wdbAppends[0].count, 5);
  EXPECT_EQ(options.wdbAppends[0].firstId, 0);
  EXPECT_EQ(options.wdbAppends[1].kind, WdbKind::Quests);
  EXPECT_EQ(options.wdbAppends[1].firstId, 900);
  ASSERT_EQ(options.adbWrites.size(), 1u);
  EXPECT_EQ(options.adbWrites[0].kindIndex, 1);
  EXPECT_EQ(options.adbWrites[0].count, 3);
  EXPECT_EQ(options.adbFormat, AdbMagic::WCH2);
  ASSERT_EQ(options.addonChanges.size(), 3u);
  EXPECT_EQ(options.addonChanges[0].account, "MY MAIN");
  EXPECT_EQ(options.addonChanges[0].value, 4);
  EXPECT_EQ(options.addonChanges[1].account, "A=B");
  EXPECT_EQ(options.addonChanges[1].stats[5], 6);
  EXPECT_EQ(options.addonChanges[2].what, fakegame::AddonChange::What::Uploaded);
  EXPECT_EQ(options.addonChanges[2].value, 3);
  EXPECT_EQ(options.padding, 10u);
  EXPECT_EQ(options.seed, 5u);
  EXPECT_EQ(options.build, 777u);
  EXPECT_FALSE(options.wdbEndMarker);
}

TEST(FakeGameOptions, Errors) {
  EXPECT_EQ(ParseGameError({"extra"}), "unexpected argument \"extra\" (see --help)");
  EXPECT_EQ(ParseGameError({"--run-ms", "x"}),
            "--run-ms needs a whole number from 0 to 86400000, not \"x\"");
  EXPECT_EQ(ParseGameError({"--append-wdb", "creatures"}),
            "--append-wdb needs KIND:COUNT or KIND:COUNT:FIRSTID, not \"creatures\"");
  EXPECT_EQ(ParseGameError({"--append-wdb", "items:1"}),
            "--append-wdb: unknown kind \"items\" (creatures, objects, pages, quests)");
  EXPECT_EQ(ParseGameError({"--write-adb", "foo.adb:1"}), "--write-adb: unknown file \"foo.adb\"");
  EXPECT_EQ(ParseGameError({"--collect", "NOACCOUNT"}),
            "--collect needs ACCOUNT=VALUE, not \"NOACCOUNT\"");
  EXPECT_EQ(ParseGameError({"--set-stats", "A=1^2^3"}),
            "--set-stats needs six counters joined by '^', not \"1^2^3\"");
  EXPECT_EQ(ParseGameError({"--write-at", "never"}),
            "--write-at must be exit or start, not \"never\"");
  EXPECT_EQ(ParseGameError({"--locale", "a\\b"}), "--locale: \"a\\b\" cannot be a folder name");
}

}  // namespace
}  // namespace drovane::fixture
