// The requests' URLs, the package names, the game settings sent, the answer lines and what the
// end of each request means.
#include <gtest/gtest.h>

#include "base/TextHelpers.h"
#include "upload/GameConfigLines.h"
#include "upload/UploadDecisions.h"
#include "upload/UploadProtocol.h"

namespace drovane {
namespace {

TEST(UploadRequests, AuthenticationUrl) {
  EXPECT_EQ(AuthenticationUrl("http://127.0.0.1:8123/", "Dr Who", "0a1b", "deDE"),
            "http://127.0.0.1:8123/auth.php?username=Dr+Who&password=0a1b&locale=deDE");
}

TEST(UploadRequests, UploadUrlWithEveryParameterEncoded) {
  UploadParameters parameters;
  parameters.username = "Zo\xEB";
  parameters.password = "5ebe2294ecd0e0f08eab7690d2a6ee69";
  parameters.addonVersion = 12;
  parameters.osVersion = "6.1.7601.1.256";
  parameters.realmlist = "us.logon.example.com\nlogon.other";
  parameters.portal = "US\nUS";
  parameters.locale = "enUS";
  EXPECT_EQ(UploadUrl("http://client.drovane.com/", parameters),
            "http://client.drovane.com/upload.php?username=Zo%EB"
            "&password=5ebe2294ecd0e0f08eab7690d2a6ee69&clientversion=1.9.01&looterversion=12"
            "&os=windows&osversion=6.1.7601.1.256&realmlist=us.logon.example.com%0Alogon.other"
            "&portal=US%0AUS&locale=enUS");
  parameters.ignoreCharacterData = true;
  parameters.realmlist.clear();
  parameters.portal.clear();
  EXPECT_EQ(UploadUrl("http://h/", parameters),
            "http://h/upload.php?username=Zo%EB&password=5ebe2294ecd0e0f08eab7690d2a6ee69"
            "&clientversion=1.9.01&looterversion=12&os=windows&osversion=6.1.7601.1.256"
            "&realmlist=&portal=&locale=enUS&ignorecharacterdata=true");
}

TEST(UploadRequests, PackageFileNames) {
  EXPECT_EQ(CachePackageFileName(Live, "7.0.3.22522", "enUS", "creaturecache.wdb"),
            "LIVE_7.0.3.22522_enUS_creaturecache.wdb.gz");
  EXPECT_EQ(CachePackageFileName(PTR, "7.1.0.22810", "deDE", "item-sparse.adb"),
            "PTR_7.1.0.22810_deDE_item-sparse.adb.gz");
  EXPECT_EQ(AddonPackageFileName(Beta, "7.2.0.23436", "MY MAIN"),
            "BETA_7.2.0.23436_MY MAIN_SavedVariables.lua.gz");
}

TEST(UploadRequests, OsVersionText) {
  EXPECT_EQ(FormatOsVersion(6, 1, 1, 0, 256), "6.1.1.0.256");
  EXPECT_EQ(FormatOsVersion(10, 0, 0, 0, 0x300), "10.0.0.0.768");
}

TEST(UploadRequests, ResponseLocaleIsTheFirstFolderOfTheLastCheckedInstallation) {
  EXPECT_EQ(ResponseLocaleOf({}), "enUS");
  EXPECT_EQ(ResponseLocaleOf({{"deDE", "frFR"}}), "deDE");
  EXPECT_EQ(ResponseLocaleOf({{"deDE"}, {"ruRU", "enGB"}}), "ruRU");
  // The last installation has no locale folder: its empty list wins.
  EXPECT_EQ(ResponseLocaleOf({{"deDE"}, {}}), "enUS");
}

TEST(GameSettings, RealmlistLine) {
  EXPECT_EQ(RealmlistSetting("set realmlist us.logon.worldofwarcraft.com\n"),
            "us.logon.worldofwarcraft.com");
  EXPECT_EQ(RealmlistSetting("SET REALMLIST   logon.private.example  \r\nset patchlist x\r\n"),
            "logon.private.example");
  EXPECT_EQ(RealmlistSetting("set realmlist a\nset realmlist b\n"), "a");
  EXPECT_EQ(RealmlistSetting("set realmlist    \n"), "");
  EXPECT_EQ(RealmlistSetting("set realmlistx\n"), "");
  EXPECT_EQ(RealmlistSetting(std::string("\0set realmlist z", 16)), "z");
}

TEST(GameSettings, PortalLineWithQuotesAndCase) {
  EXPECT_EQ(PortalSetting("SET Portal \"EU\"\n"), "EU");
  EXPECT_EQ(PortalSetting("SET locale \"enUS\"\r\nSET portal \"US\"\r\nSET x \"1\"\r\n"), "US");
  EXPECT_EQ(PortalSetting("SET portal \" \"\n"), " ");  // trimmed before the quotes go
  EXPECT_EQ(PortalSetting("SET accountName \"x\"\n"), "");
}

TEST(GameSettings, ValuesAreListedOnePerLine) {
  std::string list;
  AppendListValue(list, "US");
  AppendListValue(list, "");
  AppendListValue(list, "US");
  EXPECT_EQ(list, "US\nUS");
}

TEST(ResponseLines, KeysAndValuesAlternateAndAreDecoded) {
  ResponseMap answer;
  ASSERT_TRUE(
      ParseResponseLines("uploadResult\n0\nuploadCount\n12\nuploadMore\nThanks%21\n", answer));
  EXPECT_EQ(answer,
            (ResponseMap{{"uploadResult", "0"}, {"uploadCount", "12"}, {"uploadMore", "Thanks!"}}));
  // A repeated key keeps its last value; a last key without value is dropped; one carriage
  // return before a line feed is not part of the line (an encoded one is).
  ASSERT_TRUE(ParseResponseLines("a\n1\na\n2\nb\r\nx%0D\r\nlonely\n", answer));
  EXPECT_EQ(answer, (ResponseMap{{"a", "2"}, {"b", "x\r"}}));
  EXPECT_FALSE(ParseResponseLines("", answer));
  EXPECT_FALSE(ParseResponseLines("onlykey\n", answer));
  EXPECT_TRUE(answer.empty());
}

TEST(ResponseLines, ResultsAreWholeDecimalNumbersOrNothing) {
  const ResponseMap answer = {{"r1", "3"},   {"r2", "-4"},  {"r3", "0"},         {"s1", " 3"},
                              {"s2", "-4x"}, {"s3", "abc"}, {"s4", ""},          {"s5", "+1"},
                              {"s6", "-"},   {"s7", "3 "},  {"s8", "2147483648"}, {"s9", "0x1"}};
  int32_t result = 99;
  EXPECT_TRUE(ResponseResult(answer, "r1", result));
  EXPECT_EQ(result, 3);
  EXPECT_TRUE(ResponseResult(answer, "r2", result));
  EXPECT_EQ(result, -4);
  EXPECT_TRUE(ResponseResult(answer, "r3", result));
  EXPECT_EQ(result, 0);
  for (const char* key : {"s1", "s2", "s3", "s4", "s5", "s6", "s7", "s8", "s9", "missing"}) {
    result = 99;
    EXPECT_FALSE(ResponseResult(answer, key, result)) << key;
    EXPECT_EQ(result, 99) << key;
  }
  EXPECT_EQ(ResponseText(answer, "missing"), "");
}

DoneFacts Answer(UploadPhase phase, const std::string& body) {
  DoneFacts facts;
  facts.phase = phase;
  facts.statusCode = 200;
  facts.body = body;
  return facts;
}

TEST(DoneDecisions, AuthenticationAnswers) {
  const UploadPhase auth = UploadPhase::Authenticating;
  // Four lines with an empty last one: two pairs.
  EXPECT_EQ(DecideDone(Answer(auth, "authResult\n0\nauthMore\n\n")).action,
            DoneAction::Authenticated);
  const DoneDecision single = DecideDone(Answer(auth, "authResult\n0\n"));
  EXPECT_EQ(single.action, DoneAction::AuthenticationInvalid);
  EXPECT_EQ(single.errorMessage, "Authentication failed.\n\nInvalid server response.");
  // An answer that does not state its result is invalid, never an acceptance: two pairs without
  // authResult, a result that is not a number, a captive portal's page. Lines may end in CR LF.
  for (const char* body : {"a\n1\nb\n2\n", "authResult\n\nauthMore\n\n",
                           "authResult\n0 OK\nauthMore\n\n", "authMore\nauthResult\n0\n\n",
                           "<html>\n<head><title>Sign in</title></head>\n<body>\n"
                           "<form action=\"/login\">\n</form>\n</body>\n</html>\n"}) {
    const DoneDecision decision = DecideDone(Answer(auth, body));
    EXPECT_EQ(decision.action, DoneAction::AuthenticationInvalid) << body;
    EXPECT_EQ(decision.errorMessage, "Authentication failed.\n\nInvalid server response.");
  }
  EXPECT_EQ(DecideDone(Answer(auth, "authResult\r\n0\r\nauthMore\r\n\r\n")).action,
            DoneAction::Authenticated);
  const DoneDecision privateServer = DecideDone(Answer(auth, "authResult\n3\nauthMore\nNo%21\n"));
  EXPECT_EQ(privateServer.action, DoneAction::AuthenticationPrivateServer);
  EXPECT_EQ(privateServer.result, 3);
  EXPECT_EQ(privateServer.message, "No!");
  EXPECT_EQ(DecideDone(Answer(auth, "authResult\n4\nauthMore\n\n")).action,
            DoneAction::AuthenticationPrivateServer);
  const DoneDecision rejected = DecideDone(Answer(auth, "authResult\n1\nauthMore\nBad+login\n"));
  EXPECT_EQ(rejected.action, DoneAction::AuthenticationRejected);
  EXPECT_EQ(rejected.message, "Bad login");
}

TEST(DoneDecisions, UploadAnswers) {
  const UploadPhase upload = UploadPhase::Uploading;
  const DoneDecision stored =
      DecideDone(Answer(upload, "uploadResult\n0\nuploadCount\n12\nuploadMore\nThanks%21\n"));
  EXPECT_EQ(stored.action, DoneAction::UploadStored);
  EXPECT_EQ(stored.message, "Thanks!");
  const DoneDecision invalid = DecideDone(Answer(upload, "uploadResult\n0\nuploadMore\nx\n"));
  EXPECT_EQ(invalid.action, DoneAction::UploadInvalid);
  EXPECT_EQ(invalid.errorMessage, "Upload failed.\n\nInvalid server response.");
  // Three pairs that do not say the upload was stored are not a success.
  EXPECT_EQ(DecideDone(Answer(upload, "uploadCount\n12\nuploadMore\nok\nstatus\n0\n")).action,
            DoneAction::UploadInvalid);
  EXPECT_EQ(DecideDone(Answer(upload, "uploadResult\nOK\nuploadCount\n1\nuploadMore\n\n")).action,
            DoneAction::UploadInvalid);
  EXPECT_EQ(DecideDone(Answer(upload, "uploadResult\n4\nuploadCount\n0\nuploadMore\n\n")).action,
            DoneAction::UploadPrivateServer);
  EXPECT_EQ(DecideDone(Answer(upload, "uploadResult\n5\nuploadCount\n0\nuploadMore\n\n")).action,
            DoneAction::UploadRejected);
  EXPECT_EQ(DecideDone(Answer(UploadPhase::Finished, "anything")).action, DoneAction::Nothing);
}

TEST(DoneDecisions, TransportFailuresAndTimeouts) {
  DoneFacts facts =
      Answer(UploadPhase::Uploading, "uploadResult\n0\nuploadCount\n1\nuploadMore\n\n");
  facts.statusCode = 500;
  DoneDecision decision = DecideDone(facts);
  EXPECT_EQ(decision.action, DoneAction::TransportFailure);
  EXPECT_EQ(decision.errorMessage, "Invalid status code: 500.");

  facts.statusCode = 0;
  facts.error = "Connection refused";
  EXPECT_EQ(DecideDone(facts).errorMessage, "Connection refused");

  facts.stallTicks = kStallTickLimit;
  decision = DecideDone(facts);
  EXPECT_EQ(decision.action, DoneAction::DataTransferTimeout);
  EXPECT_EQ(decision.errorMessage, "Data transfer timeout.");
  facts.receiving = true;
  decision = DecideDone(facts);
  EXPECT_EQ(decision.action, DoneAction::ServerTimeout);
  EXPECT_EQ(decision.errorMessage, "Server timeout.");
}

TEST(Watchdog, TwentyTicksWithoutProgressStopTheRequestOnce) {
  int32_t last = 0, ticks = 0;
  EXPECT_FALSE(WatchdogTick(500, last, ticks));  // progress: starts counting afresh
  EXPECT_EQ(last, 500);
  for (int i = 1; i < kStallTickLimit; ++i) EXPECT_FALSE(WatchdogTick(500, last, ticks)) << i;
  EXPECT_TRUE(WatchdogTick(500, last, ticks));
  EXPECT_FALSE(WatchdogTick(500, last, ticks));  // already stopped
  EXPECT_FALSE(WatchdogTick(501, last, ticks));
  EXPECT_EQ(ticks, 0);
}

TEST(Progress, SendingNeverShowsMoreThan99Percent) {
  EXPECT_DOUBLE_EQ(SendingPercent(0, 0), 0.0);
  EXPECT_DOUBLE_EQ(SendingPercent(1000, 1000), 99.0);
  EXPECT_EQ(ProgressText(SendingPercent(512, 2048), 2048), "25% of 2.0 KB");
  EXPECT_EQ(ProgressText(100, 0), "100% of 0 bytes");
  EXPECT_EQ(OnOneLine("a\n\nb"), "a  b");
}

}  // namespace
}  // namespace drovane
