// Whole uploads against the service stand-in, without a window: the exchange's view is a
// recorder that answers the message boxes, and the test dispatches the exchange's messages and
// drives the watchdog's ticks itself.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <thread>
#include <cstdlib>
#include <deque>
#include <functional>
#include <new>
#include <random>
#include <set>

#include "UploadTestData.h"
#include "UploadTestGame.h"
#include "app/Application.h"
#include "base/FileSystem.h"
#include "base/Md5.h"
#include "base/Registry.h"
#include "data/AccountData.h"
#include "data/AccountScan.h"
#include "data/SavedVariables.h"
#include "net/HttpResponse.h"
#include "support/CleanSettings.h"
#include "support/DevService.h"
#include "support/Nginx.h"
#include "upload/Gzip.h"
#include "upload/PrivateServerCleanup.h"
#include "upload/UploadExchange.h"
#include "upload/UploadPackage.h"

// Memory that runs out on demand: while a FailLargeAllocation lives, the first allocation of at
// least its size, on any thread (the package is built on a worker), throws std::bad_alloc, as it
// does when a process's memory is used up. Every other allocation goes on as usual (operator new
// at the end of this file).
namespace {
std::atomic<bool> g_failArmed{false};
std::atomic<size_t> g_failSize{0};
std::atomic<bool> g_failed{false};
}  // namespace

namespace drovane {
namespace {

class FailLargeAllocation {
 public:
  explicit FailLargeAllocation(size_t size) {
    g_failed = false;
    g_failSize = size;
    g_failArmed = true;
  }
  ~FailLargeAllocation() { g_failArmed = false; }
  FailLargeAllocation(const FailLargeAllocation&) = delete;
  FailLargeAllocation& operator=(const FailLargeAllocation&) = delete;
  bool failed() const { return g_failed; }
};

using test::AdbHeader;
using test::BareRecord;
using test::Le32;
using test::LogLines;
using test::ReadTestFile;
using test::Record;
using test::TempFolder;
using test::WdbFile;
using test::WdbHeader;
using test::WdbRecordBytes;
using test::WriteTestFile;

std::string Narrow(const std::wstring& text) {
  std::string out;
  for (wchar_t c : text) out += c < 0x80 ? static_cast<char>(c) : '?';
  return out;
}

// The upload window as the exchange sees it, recording every call.
class RecordingView : public UploadView {
 public:
  struct Box {
    std::string text;
    unsigned type;
    bool wide;
  };

  void SetStatusText(const std::wstring& text) override { statusTexts.push_back(Narrow(text)); }
  void SetProgress(int percent, const std::string& text) override {
    progress.emplace_back(percent, text);
  }
  void ShowCloseButton() override { closeButton = true; }
  int ShowMessage(const std::string& text, unsigned type) override {
    boxes.push_back({text, type, false});
    if ((type & MB_YESNO) == 0) return IDOK;
    if (whileAsking) whileAsking();
    if (answers.empty()) {
      ADD_FAILURE() << "unexpected question: " << text;
      return IDNO;
    }
    const int answer = answers.front();
    answers.pop_front();
    return answer;
  }
  int ShowMessage(const std::wstring& text, unsigned type) override {
    boxes.push_back({Narrow(text), type, true});
    return IDOK;
  }
  void OpenWebPage(const std::string& url) override { pages.push_back(url); }
  void StartTimer(int id, unsigned) override { timers.insert(id); }
  void StopTimer(int id) override { timers.erase(id); }
  void RequestRefresh() override {
    ++refreshes;
    if (onRefresh) onRefresh();
  }
  void EndUpload(int result) override {
    ended = true;
    endResult = result;
  }

  std::vector<std::string> statusTexts;
  std::vector<std::pair<int, std::string>> progress;
  std::vector<Box> boxes;
  std::deque<int> answers;  // for the Yes/No questions, in order
  std::vector<std::string> pages;
  std::set<int> timers;
  int refreshes = 0;
  std::function<void()> onRefresh;
  std::function<void()> whileAsking;  // runs while a question is open, as its message loop does
  bool closeButton = false;
  bool ended = false;
  int endResult = -1;
};

constexpr char kAccount[] = "TESTER";
constexpr int32_t kBuild = 22522;
// The add-on file as the game writes it on Windows: lines end with a carriage return and a line
// feed.
const std::string kAddon =
    "dlVersion = 6\r\n"
    "dlUploaded = 0\r\n"
    "dlStats = \"1^2^3^4^5^6\"\r\n"
    "dlExportData = \"Aldor^Thrall^60\"\r\n"
    "dlLoot = {\r\n\t\"item:1234\",\r\n}\r\n";

class UploadExchangeTest : public test::CleanSettingsTest {
 protected:
  UploadExchangeTest() : CleanSettingsTest(false) {}

  void SetUp() override {
    CleanSettingsTest::SetUp();
    ASSERT_TRUE(test::InstallGame(game_.path()));
    application_.username = "Tester";
    application_.password = Md5Hex("secret");
    application_.gameFolders[Live] = game_.path();
    creatures_ = WdbFile(kBuild, {{1, "one"}, {2, "two"}, {3, "three"}});
    WriteTestFile(game_ / "Cache\\WDB\\enUS\\creaturecache.wdb", creatures_);
    item_ = AdbHeader("WCH8", 2, 8, 0, kBuild) + BareRecord(5, 8) + BareRecord(6, 8) + Le32(5) +
            Le32(6);
    WriteTestFile(game_ / "Cache\\ADB\\enUS\\item.adb", item_);
    WriteTestFile(game_ / "Data\\enUS\\realmlist.wtf", "set realmlist us.logon.example.com\r\n");
    WriteTestFile(game_ / "WTF\\Config.wtf", "SET locale \"enUS\"\r\nSET portal \"US\"\r\n");
    WriteTestFile(AddonPath(), kAddon);
    environment_.websiteUrl = "http://www.example.test";
    environment_.stateFolder = state_.path() + "\\";
    environment_.exclusions = &exclusions_;
    environment_.states = &states_;
  }

  std::string AddonPath() const { return SavedVariablesPath(game_.path(), kAccount); }

  // Starts the service stand-in; a configuration, when given, goes through a JSON file.
  void StartService(std::vector<std::string> options = {}, const std::string& config = "") {
    if (!config.empty()) {
      WriteTestFile(serviceConfig_ / "service.json", config);
      options.push_back("--config");
      options.push_back(test::HostPath(serviceConfig_ / "service.json"));
    }
    service_ = std::make_unique<test::DevService>(options);
    ASSERT_TRUE(service_->running());
    environment_.serviceUrl = service_->url();
  }

  // Dispatches messages until the upload ends or has its final answer, calling tick between
  // rounds (for driving the watchdog). False when the time ran out.
  bool Run(UploadExchange& exchange, RecordingView& view, unsigned timeoutMs = 60000,
           const std::function<void()>& tick = nullptr) {
    const DWORD start = GetTickCount();
    while (!view.ended && exchange.phase != UploadPhase::Finished) {
      if (GetTickCount() - start > timeoutMs) return false;
      MSG message;
      while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
      if (tick) tick();
      Sleep(10);
    }
    // Whatever the client still reports after the end must change nothing.
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    return true;
  }

  // One upload from the start to its end, as the upload window runs it.
  void Upload(RecordingView& view, bool automated = false) {
    UploadExchange exchange(application_, view, automated, environment_);
    ASSERT_TRUE(exchange.StartAuthentication());
    ASSERT_TRUE(Run(exchange, view)) << "the upload did not end";
    errorMessage_ = exchange.errorMessage;
  }

  std::string UploadFolder(int request) const {
    char name[16];
    std::snprintf(name, sizeof name, "%06d", request);
    return service_->data() + "\\uploads\\" + name;
  }
  std::string Uploaded(int request, const std::string& file) const {
    return ReadTestFile(UploadFolder(request) + "\\files\\" + file);
  }
  // In byte order.
  std::vector<std::string> UploadedFiles(int request) const {
    std::vector<std::string> names;
    for (const FolderEntry& entry : ListFolder(UploadFolder(request) + "\\files")) {
      names.push_back(entry.name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }

  std::string ExpectedUploadQuery(bool ignoreCharacterData = false) const {
    UploadParameters parameters;
    parameters.username = application_.username;
    parameters.password = application_.password;
    parameters.addonVersion = 6;
    parameters.osVersion = OsVersionText();
    parameters.realmlist = "us.logon.example.com";
    parameters.portal = "US";
    parameters.locale = "enUS";
    parameters.ignoreCharacterData = ignoreCharacterData;
    const std::string url = UploadUrl("", parameters);
    return url.substr(url.find('?') + 1);
  }

  static uint32_t StoredDword(const char* name) {
    uint32_t value = 0;
    RegistryReadDword(kStatisticsKey, name, value);
    return value;
  }

  TempFolder game_;
  TempFolder state_;
  TempFolder serviceConfig_;
  Application application_;
  AccountExclusionMap exclusions_;
  UploadStateMap states_;
  UploadEnvironment environment_;
  std::unique_ptr<test::DevService> service_;
  std::string creatures_;
  std::string item_;
  std::string errorMessage_ = "<not run>";
};

const char kWdbName[] = "LIVE_7.0.3.22522_enUS_creaturecache.wdb";
const char kAdbName[] = "LIVE_7.0.3.22522_enUS_item.adb";
const char kAddonName[] = "LIVE_7.0.3.22522_TESTER_SavedVariables.lua";

TEST_F(UploadExchangeTest, AcceptedUploadIsCommittedThenNothingIsLeftThenOnlyTheNewRecord) {
  StartService({"--upload-more", "Thanks!"});
  RecordingView view;
  // The main window's refresh reads the add-on files again, as the client does.
  view.onRefresh = [this] {
    AccountScanSources sources;
    sources.gameFolders[Live] = game_.path();
    std::vector<AccountDataEntry> rows;
    ScanAccounts(sources, states_, rows);
  };
  LogLines log;
  Upload(view);

  // The exchange, as the player saw it.
  EXPECT_EQ(errorMessage_, "");
  EXPECT_TRUE(view.boxes.empty());
  EXPECT_EQ(view.statusTexts, (std::vector<std::string>{"Authenticating...", "Preparing files...",
                                                        "Uploading files (compressed with gzip)...",
                                                        "Finalizing...", "Thanks!"}));
  EXPECT_TRUE(view.closeButton);
  EXPECT_FALSE(view.ended);  // a manual upload waits for the player to close the window
  EXPECT_EQ(view.refreshes, 1);
  EXPECT_TRUE(view.timers.empty());
  ASSERT_FALSE(view.progress.empty());
  EXPECT_EQ(view.progress.back().first, 100);
  EXPECT_TRUE(log.Has("Transfer successful!"));

  // What the service received.
  ASSERT_EQ(service_->RequestCount(), 2);
  EXPECT_EQ(service_->RawRequest(1),
            "GET /auth.php?username=Tester&password=" + application_.password +
                "&locale=enUS HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(service_->port()) +
                "\r\nAccept: */*\r\nConnection: close\r\nUser-Agent: DrovaneClient/1.9.01\r\n\r\n");
  EXPECT_EQ(ReadTestFile(UploadFolder(2) + "\\query.txt"), ExpectedUploadQuery());
  EXPECT_EQ(UploadedFiles(2), (std::vector<std::string>{kAddonName, kWdbName, kAdbName}));
  EXPECT_EQ(Uploaded(2, kWdbName), creatures_);
  EXPECT_EQ(Uploaded(2, kAdbName), AdbHeader("WCH8", 2, 12, 0, kBuild) + Le32(5) +
                                       BareRecord(5, 8) + Le32(6) + BareRecord(6, 8));
  EXPECT_EQ(Uploaded(2, kAddonName), kAddon);
  const std::string upload = service_->RawRequest(2);
  EXPECT_NE(
      upload.find("name=\"file0\"; filename=\"LIVE_7.0.3.22522_TESTER_SavedVariables.lua.gz\""),
      std::string::npos);

  // The bookkeeping: statistics, state files and the add-on's line, every other byte kept.
  EXPECT_EQ(StoredDword("#Uploads"), 1u);
  EXPECT_EQ(StoredDword("TotalUploaded"), upload.size());
  std::string lastUpload;
  unsigned long type = 0;
  ASSERT_TRUE(test::ReadRawValue(kStatisticsKey, "LastUpload", lastUpload, type));
  EXPECT_EQ(lastUpload.size(), 8u);
  std::string bits = ReadTestFile(state_ / "creaturecache.wdb_enUS_22522");
  ASSERT_EQ(bits.size(), 40960u);
  EXPECT_EQ(bits[0], '\x0E');  // ids 1, 2 and 3
  bits = ReadTestFile(state_ / "item.adb_enUS_22522");
  ASSERT_EQ(bits.size(), 40960u);
  EXPECT_EQ(bits[0], '\x60');  // ids 5 and 6
  std::string expectedAddon = kAddon;
  expectedAddon.replace(expectedAddon.find("dlUploaded = 0"), 14, "dlUploaded = 3");
  EXPECT_EQ(ReadTestFile(AddonPath()), expectedAddon);

  // A second upload finds nothing to send.
  RecordingView second;
  Upload(second);
  EXPECT_EQ(errorMessage_, "No data to upload at this time.");
  ASSERT_EQ(second.boxes.size(), 1u);
  EXPECT_EQ(second.boxes[0].text, "No data to upload at this time.");
  EXPECT_EQ(second.boxes[0].type, static_cast<unsigned>(MB_ICONERROR));
  EXPECT_TRUE(second.ended);
  EXPECT_TRUE(log.Has("Error preparing upload data: No data to upload at this time."));
  EXPECT_EQ(service_->RequestCount(), 3);  // the authentication only

  // One new record in one cache file: only that record goes.
  const Record fresh{4, "four"};
  WriteTestFile(game_ / "Cache\\WDB\\enUS\\creaturecache.wdb",
                WdbFile(kBuild, {{1, "one"}, {2, "two"}, {3, "three"}, fresh}));
  RecordingView third;
  Upload(third);
  EXPECT_EQ(errorMessage_, "");
  EXPECT_EQ(UploadedFiles(5), std::vector<std::string>{kWdbName});
  EXPECT_EQ(Uploaded(5, kWdbName),
            WdbHeader(kBuild) + WdbRecordBytes(fresh) + std::string(8, '\0'));
  EXPECT_EQ(StoredDword("#Uploads"), 2u);
  EXPECT_EQ(ReadTestFile(state_ / "creaturecache.wdb_enUS_22522")[0], '\x1E');
}

TEST_F(UploadExchangeTest, AnAutomaticUploadClosesByItself) {
  StartService();
  RecordingView view;
  Upload(view, true);
  EXPECT_EQ(errorMessage_, "");
  EXPECT_TRUE(view.ended);
  // The service's empty message is replaced by the client's own.
  EXPECT_EQ(view.statusTexts.back(), "Transfer successful. Thanks for your contribution!");
}

TEST_F(UploadExchangeTest, CharacterDataSwitchedOffIsSaidInTheQuery) {
  application_.preferences = PREF_NO_CHARACTER_DATA;
  StartService();
  RecordingView view;
  Upload(view);
  EXPECT_EQ(ReadTestFile(UploadFolder(2) + "\\query.txt"), ExpectedUploadQuery(true));
  EXPECT_EQ(Uploaded(2, kAddonName).find("dlExportData"), std::string::npos);
  // Only the base part counts as sent.
  EXPECT_NE(ReadTestFile(AddonPath()).find("dlUploaded = 1\r\n"), std::string::npos);
}

TEST_F(UploadExchangeTest, PrivateServerUploadRenamesWhatThePlayerAllows) {
  StartService({"--upload-result", "3", "--upload-more", "Private server data."});
  WriteTestFile(state_ / "questcache.wdb_enUS_1", "older upload state");
  RecordingView view;
  view.answers = {IDYES, IDNO};  // rename the realm list, keep the cache
  Upload(view);

  EXPECT_EQ(errorMessage_, "Private server data.");
  ASSERT_EQ(view.boxes.size(), 3u);
  EXPECT_EQ(view.boxes[0].text, "Private server data.");
  EXPECT_TRUE(view.boxes[0].wide);
  EXPECT_EQ(view.boxes[0].type, static_cast<unsigned>(MB_ICONERROR));
  EXPECT_EQ(view.boxes[1].text, kRealmlistRenameQuestion);
  EXPECT_EQ(view.boxes[1].type, static_cast<unsigned>(MB_YESNO | MB_ICONERROR));
  EXPECT_EQ(view.boxes[2].text, kCacheRenameQuestion);
  EXPECT_TRUE(view.ended);
  EXPECT_FALSE(FileExists(game_ / "Data\\enUS\\realmlist.wtf"));
  EXPECT_EQ(ListFolder(game_ / "Data\\enUS").size(), 1u);
  EXPECT_TRUE(DirectoryExists(game_ / "Cache"));
  // The upload state is forgotten and nothing of this upload was saved.
  EXPECT_TRUE(ListFolder(state_.path()).empty());
  EXPECT_EQ(ReadTestFile(AddonPath()), kAddon);
  EXPECT_EQ(StoredDword("#Uploads"), 0u);
}

TEST_F(UploadExchangeTest, PrivateServerAuthenticationResultFourAsksOnlyAboutTheCache) {
  StartService({"--auth-result", "4", "--auth-more", "Nope."});
  RecordingView view;
  view.answers = {IDYES};
  Upload(view);
  EXPECT_EQ(errorMessage_, "Nope.");
  ASSERT_EQ(view.boxes.size(), 2u);
  EXPECT_EQ(view.boxes[1].text, kCacheRenameQuestion);
  EXPECT_TRUE(FileExists(game_ / "Data\\enUS\\realmlist.wtf"));
  EXPECT_FALSE(DirectoryExists(game_ / "Cache"));
  EXPECT_EQ(service_->RequestCount(), 1);
}

TEST_F(UploadExchangeTest, PrivateServerUploadDeclinedKeepsTheGameFilesButForgetsTheState) {
  StartService({"--upload-result", "4", "--upload-more", "Private server data."});
  WriteTestFile(state_ / "questcache.wdb_enUS_1", "older upload state");
  RecordingView view;
  view.answers = {IDNO};
  Upload(view);
  EXPECT_EQ(errorMessage_, "Private server data.");
  ASSERT_EQ(view.boxes.size(), 2u);
  EXPECT_EQ(view.boxes[1].text, kCacheRenameQuestion);
  EXPECT_TRUE(FileExists(game_ / "Data\\enUS\\realmlist.wtf"));
  EXPECT_EQ(ReadTestFile(game_ / "Cache\\WDB\\enUS\\creaturecache.wdb"), creatures_);
  EXPECT_TRUE(ListFolder(state_.path()).empty());
  EXPECT_TRUE(view.ended);
}

// An upload the client started by itself (the game exited) never waits for a click: whatever
// the end, no box and no question; the reason goes to the log pane as the failed upload's. The
// player's game files are not renamed without the player's answer.
TEST_F(UploadExchangeTest, AnAutomaticUploadShowsNoBoxWhateverItsEnd) {
  StartService({"--upload-result", "3", "--upload-more", "Private server data."});
  RecordingView privateServer;
  Upload(privateServer, true);
  EXPECT_EQ(errorMessage_, "Private server data.");
  EXPECT_TRUE(privateServer.boxes.empty());
  EXPECT_TRUE(privateServer.ended);
  EXPECT_TRUE(FileExists(game_ / "Data\\enUS\\realmlist.wtf"));
  EXPECT_TRUE(DirectoryExists(game_ / "Cache"));
  service_.reset();

  environment_.serviceUrl = "http://127.0.0.1:1/";
  RecordingView noService;
  LogLines log;
  Upload(noService, true);
  EXPECT_NE(errorMessage_, "");
  EXPECT_TRUE(noService.boxes.empty());
  EXPECT_TRUE(noService.ended);
  EXPECT_TRUE(log.Has("Automatic upload, no box: " + errorMessage_));
}

TEST_F(UploadExchangeTest, ARejectedLoginShowsTheServiceMessage) {
  StartService({}, R"({"defaults": {"auth": {"result": 1, "more": "Wrong password, \u00e9h!"}}})");
  RecordingView view;
  LogLines log;
  Upload(view);
  EXPECT_EQ(errorMessage_, "Wrong password, \xC3\xA9h!");
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].text, "Wrong password, ?h!");  // shown as UTF-16
  EXPECT_TRUE(view.ended);
  EXPECT_TRUE(log.Has("Upload error: Wrong password, \xC3\xA9h!"));
  EXPECT_TRUE(log.Has("Response dump:"));
}

TEST_F(UploadExchangeTest, ARejectedUploadWithoutMessageSaysSoAndPointsToHelp) {
  StartService({"--upload-result", "5"});
  RecordingView view;
  Upload(view);
  const std::string fallback = "Process failed.\n\nServer return message was EPIC FAIL!";
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].text, fallback);
  EXPECT_EQ(view.pages, std::vector<std::string>{"http://www.example.test/client#related-faq"});
  EXPECT_EQ(view.statusTexts.back(), fallback);
  EXPECT_TRUE(view.closeButton);
  EXPECT_FALSE(view.ended);
  // Not reported as a success.
  EXPECT_EQ(errorMessage_, fallback);
  EXPECT_EQ(ReadTestFile(AddonPath()), kAddon);
}

TEST_F(UploadExchangeTest, AnAuthenticationAnswerWithOnePairIsInvalid) {
  StartService({}, R"({"defaults": {"auth": {"body": "authResult\n0\n"}}})");
  RecordingView view;
  LogLines log;
  Upload(view);
  EXPECT_EQ(errorMessage_, "Authentication failed.\n\nInvalid server response.");
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].text, errorMessage_);
  EXPECT_TRUE(view.ended);
  EXPECT_TRUE(log.Has("Upload error: Authentication failed.  Invalid server response."));
  EXPECT_EQ(service_->RequestCount(), 1);
}

TEST_F(UploadExchangeTest, AnUploadAnswerWithTwoPairsIsInvalidAndNothingIsCommitted) {
  StartService({}, R"({"defaults": {"upload": {"body": "uploadResult\n0\nuploadMore\nok\n"}}})");
  RecordingView view;
  Upload(view);
  EXPECT_EQ(errorMessage_, "Upload failed.\n\nInvalid server response.");
  EXPECT_EQ(view.statusTexts.back(), "Error in upload.  Invalid server response.");
  EXPECT_TRUE(view.ended);
  EXPECT_TRUE(view.closeButton);
  EXPECT_EQ(ReadTestFile(AddonPath()), kAddon);
  EXPECT_TRUE(ListFolder(state_.path()).empty());
}

TEST_F(UploadExchangeTest, StatusFiveHundredIsAFailedUpload) {
  StartService({"--upload-status", "500"});
  RecordingView view;
  LogLines log;
  Upload(view);
  EXPECT_EQ(errorMessage_, "Invalid status code: 500.");
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].text, "Invalid status code: 500.");
  EXPECT_TRUE(view.ended);
  EXPECT_TRUE(log.Has("Upload failed: Invalid status code: 500."));
  EXPECT_TRUE(ListFolder(state_.path()).empty());
  EXPECT_EQ(ReadTestFile(AddonPath()), kAddon);
}

TEST_F(UploadExchangeTest, NoServiceAtAllIsATransportFailure) {
  environment_.serviceUrl = "http://127.0.0.1:1/";
  RecordingView view;
  Upload(view);
  EXPECT_NE(errorMessage_, "");
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].text, errorMessage_);
  EXPECT_TRUE(view.ended);
}

// Memory that runs out while the package is made fails the upload with its reason, as the other
// failures of the preparation do, instead of ending the client; nothing is sent or booked.
TEST_F(UploadExchangeTest, MemoryRunningOutWhileTheFilesArePackedIsAFailedUpload) {
  std::vector<Record> records;
  for (int32_t id = 1; id <= 64; ++id) records.push_back({id, std::string(64 * 1024, 'x')});
  WriteTestFile(game_ / "Cache\\WDB\\enUS\\creaturecache.wdb", WdbFile(kBuild, records));
  StartService();
  RecordingView view;
  LogLines log;
  {
    // The copy of the 4 MB cache file cannot be had; the client's reads take 1 MB at most.
    FailLargeAllocation memory(3 * 1024 * 1024);
    Upload(view);
    EXPECT_TRUE(memory.failed());
  }
  EXPECT_EQ(errorMessage_, "Not enough memory to prepare the upload data.");
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].text, "Not enough memory to prepare the upload data.");
  EXPECT_EQ(view.boxes[0].type, static_cast<unsigned>(MB_ICONERROR));
  EXPECT_TRUE(view.ended);
  EXPECT_TRUE(
      log.Has("Error preparing upload data: Not enough memory to prepare the upload data."));
  EXPECT_EQ(service_->RequestCount(), 1);  // the authentication only
  EXPECT_TRUE(ListFolder(state_.path()).empty());
  EXPECT_EQ(ReadTestFile(AddonPath()), kAddon);
  EXPECT_EQ(StoredDword("#Uploads"), 0u);

  // With the memory back, the same files go.
  RecordingView again;
  Upload(again);
  EXPECT_EQ(errorMessage_, "");
  EXPECT_EQ(UploadedFiles(3), (std::vector<std::string>{kAddonName, kWdbName, kAdbName}));
}

TEST_F(UploadExchangeTest, AStalledAnswerIsStoppedByTheWatchdog) {
  StartService({"--upload-stall", "answer:90"});
  RecordingView view;
  LogLines log;
  UploadExchange exchange(application_, view, false, environment_);
  ASSERT_TRUE(exchange.StartAuthentication());
  int ticks = 0;
  ASSERT_TRUE(Run(exchange, view, 60000, [&] {
    if (exchange.receiving && exchange.phase == UploadPhase::Uploading) {
      exchange.OnUploadTimer(3);
      ++ticks;
    }
  }));
  EXPECT_EQ(exchange.errorMessage, "Server timeout.");
  EXPECT_GE(ticks, 20);
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(view.boxes[0].text,
            "Drovane is unable to process your upload at this time.\n\nPlease try again in a bit!");
  EXPECT_TRUE(view.ended);
  EXPECT_TRUE(log.Has("\tSource: TIMER_TIMEOUT"));
  EXPECT_TRUE(log.Has("Upload failed: Server timeout."));
}

TEST_F(UploadExchangeTest, AStalledSendIsStoppedByTheWatchdog) {
  // Several MB that do not compress, and a service that stops reading with a small window.
  std::mt19937 random(3);
  std::string noise(8 * 1024 * 1024, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  WriteTestFile(game_ / "Cache\\WDB\\enUS\\gameobjectcache.wdb", WdbFile(kBuild, {{1, noise}}));
  // Under Wine the client's end waits until the service reads again (the stall's end), so the
  // stall is kept short.
  StartService({}, R"({"receiveBuffer": 4096,
                       "defaults": {"upload": {"stall": {"phase": "request", "seconds": 30}}}})");
  RecordingView view;
  view.answers = {IDYES};
  LogLines log;
  UploadExchange exchange(application_, view, false, environment_);
  ASSERT_TRUE(exchange.StartAuthentication());
  // The watchdog's ticks come ten times faster than the client's timer would give them.
  DWORD lastTick = GetTickCount();
  ASSERT_TRUE(Run(exchange, view, 90000, [&] {
    if (exchange.phase != UploadPhase::Uploading || exchange.receiving) return;
    exchange.OnUploadTimer(1);
    if (GetTickCount() - lastTick < 100) return;
    lastTick = GetTickCount();
    exchange.OnUploadTimer(3);
  }));
  EXPECT_FALSE(exchange.receiving);
  EXPECT_EQ(exchange.errorMessage, "Data transfer timeout.");
  ASSERT_EQ(view.boxes.size(), 1u);
  EXPECT_EQ(
      view.boxes[0].text,
      "There appears to be a problem uploading your data.\r\n\r\nWould you like to learn more "
      "about how you may be able to fix this?");
  EXPECT_EQ(view.boxes[0].type, static_cast<unsigned>(MB_ICONQUESTION | MB_YESNO));
  EXPECT_EQ(view.pages, std::vector<std::string>{"http://www.example.test/client#related-faq"});
  EXPECT_TRUE(view.ended);
  EXPECT_TRUE(log.Has("\tSource: TIMER_TIMEOUT"));
  // The progress said how far the sending had come, never 100 % (the steps before are the
  // preparation's, counted in files).
  const auto sending =
      std::find_if(view.progress.begin(), view.progress.end(),
                   [](const auto& step) { return step.second.find("% of ") != std::string::npos; });
  ASSERT_NE(sending, view.progress.end());
  for (auto step = sending; step != view.progress.end(); ++step) {
    EXPECT_LT(step->first, 100) << step->second;
  }
  EXPECT_NE(view.progress.back().second.find("% of "), std::string::npos);
  EXPECT_EQ(ReadTestFile(AddonPath()), kAddon);
}

TEST_F(UploadExchangeTest, CancellingAsksFirstAndThenReportsTheCancel) {
  StartService({"--upload-stall", "answer:90"});
  RecordingView view;
  UploadExchange exchange(application_, view, false, environment_);
  ASSERT_TRUE(exchange.StartAuthentication());
  bool asked = false;
  ASSERT_TRUE(Run(exchange, view, 60000, [&] {
    if (exchange.receiving && exchange.phase == UploadPhase::Uploading && !asked) {
      asked = true;
      view.answers = {IDNO};
      exchange.CloseUpload(true);  // "No": the upload goes on
      EXPECT_FALSE(view.ended);
      view.answers = {IDYES};
      exchange.CloseUpload(true);
    }
  }));
  EXPECT_TRUE(view.ended);
  EXPECT_EQ(exchange.errorMessage, "Uploaded cancelled.");
  ASSERT_EQ(view.boxes.size(), 2u);
  EXPECT_EQ(view.boxes[0].text, "Are you sure that you want to cancel the upload?");
}

// The package is built on a worker while the window goes on answering: a Cancel then stops the
// worker, and nothing it had built is sent or booked.
TEST_F(UploadExchangeTest, CancellingWhileThePackageIsPreparedSendsAndBooksNothing) {
  StartService();
  std::atomic<int> compressing{0};
  std::atomic<bool> release{false};
  environment_.compressionThreads = 2;
  environment_.compress = [&](const char* data, size_t size, std::string& out) {
    ++compressing;
    while (!release) Sleep(5);
    return GzipCompress(data, size, out);
  };
  const UploadStateMap statesBefore = states_;
  RecordingView view;
  UploadExchange exchange(application_, view, false, environment_);
  ASSERT_TRUE(exchange.StartAuthentication());
  bool cancelled = false;
  ASSERT_TRUE(Run(exchange, view, 60000, [&] {
    // Held in its compressions, the worker is still busy: the window's loop runs all the same.
    if (cancelled || compressing < 2) return;
    cancelled = true;
    EXPECT_TRUE(exchange.preparing());
    EXPECT_EQ(view.statusTexts.back(), "Preparing files...");
    view.answers = {IDYES};
    std::thread([&release] {
      Sleep(200);
      release = true;
    }).detach();
    exchange.CloseUpload(true);
  }));
  EXPECT_TRUE(cancelled);
  EXPECT_TRUE(view.ended);
  EXPECT_FALSE(exchange.preparing());
  EXPECT_EQ(exchange.errorMessage, "Uploaded cancelled.");
  EXPECT_EQ(service_->RequestCount(), 1) << "the authentication only";
  EXPECT_TRUE(exchange.wdbIdSets.sets.empty());
  EXPECT_TRUE(exchange.adbIdSets.sets.empty());
  EXPECT_EQ(states_, statesBefore);
  EXPECT_TRUE(ListFolder(state_.path()).empty());
  EXPECT_EQ(ReadTestFile(AddonPath()), kAddon);
}

TEST_F(UploadExchangeTest, AnUploadThatEndsWhileTheCancelQuestionIsOpenIsNotCancelled) {
  StartService({"--upload-more", "Thanks!"});
  RecordingView view;
  UploadExchange exchange(application_, view, false, environment_);
  // The question's own message loop goes on dispatching the exchange's news.
  view.whileAsking = [&] {
    const DWORD start = GetTickCount();
    while (exchange.phase != UploadPhase::Finished && GetTickCount() - start < 30000) {
      MSG message;
      while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
      Sleep(10);
    }
  };
  view.answers = {IDYES};
  ASSERT_TRUE(exchange.StartAuthentication());
  exchange.CloseUpload(true);
  EXPECT_EQ(exchange.phase, UploadPhase::Finished);
  EXPECT_EQ(exchange.errorMessage, "");
  EXPECT_TRUE(view.ended);
  EXPECT_EQ(ReadTestFile(state_ / "creaturecache.wdb_enUS_22522").size(), 40960u);
}

TEST_F(UploadExchangeTest, TheRoadOfOneUploadThroughAReverseProxyThatChunksTheAnswers) {
  // The stand-in answers without Content-Length, as a dynamic page does; nginx in front of it
  // then sends the answers chunked.
  StartService({}, R"({"defaults": {"auth": {"framing": "close"},
                                    "upload": {"framing": "close", "more": "Thanks!"}}})");
  test::NginxProxy nginx(service_->port(), "");
  ASSERT_TRUE(nginx.running()) << nginx.problem();
  environment_.serviceUrl = nginx.url();
  RecordingView view;
  UploadExchange exchange(application_, view, false, environment_);
  ASSERT_TRUE(exchange.StartAuthentication());
  ASSERT_TRUE(Run(exchange, view));

  EXPECT_EQ(exchange.client().GetResponseHeader("Transfer-Encoding"), "chunked");
  EXPECT_EQ(exchange.client().GetResponseHeader("Server").substr(0, 5), "nginx");
  EXPECT_EQ(exchange.errorMessage, "");
  EXPECT_TRUE(view.boxes.empty());
  EXPECT_EQ(view.statusTexts.back(), "Thanks!");
  ASSERT_EQ(service_->RequestCount(), 2);
  EXPECT_EQ(UploadedFiles(2), (std::vector<std::string>{kAddonName, kWdbName, kAdbName}));
  EXPECT_EQ(Uploaded(2, kWdbName), creatures_);
  EXPECT_EQ(StoredDword("#Uploads"), 1u);
  EXPECT_EQ(ReadTestFile(state_ / "creaturecache.wdb_enUS_22522").size(), 40960u);
  std::string expectedAddon = kAddon;
  expectedAddon.replace(expectedAddon.find("dlUploaded = 0"), 14, "dlUploaded = 3");
  EXPECT_EQ(ReadTestFile(AddonPath()), expectedAddon);
}

// Answers a network may give in place of the service's: a captive portal's page, a move
// elsewhere, a broken or endless answer, a peer that falls silent or answers a byte at a time.
// Each must end the upload as a failure the player is told of, with nothing booked as sent.
struct WrongAnswer {
  std::string name;
  std::string config;  // of the service stand-in
  std::string error;   // the upload's errorMessage, shown in the box
  bool duringUpload;   // the upload's answer is wrong (else the authentication's)
  ExchangeLimits uploadLimits = UploadAnswerLimits();
  bool watchdog = false;  // the watchdog ticks, ten times faster than the window's timer
};

// A failing case names itself rather than dumping its bytes.
void PrintTo(const WrongAnswer& wrong, std::ostream* out) {
  *out << wrong.name;
}

std::string UploadAnswerConfig(const std::string& answer) {
  return R"({"defaults": {"upload": )" + answer + "}}";
}

std::vector<WrongAnswer> WrongAnswers() {
  const std::string portalPage =
      R"("<html>\n<head>\n<title>Hotel Wi-Fi</title>\n</head>\n<body>\n<p>Please sign in.</p>\n)"
      R"(<form action=\"/login\">\n</form>\n</body>\n</html>\n")";
  ExchangeLimits silent = UploadAnswerLimits();
  silent.idle = std::chrono::seconds(1);
  ExchangeLimits trickled = UploadAnswerLimits();
  trickled.answer = std::chrono::seconds(5);
  return {
      {"CaptivePortalInsteadOfTheAuthentication",
       R"({"defaults": {"auth": {"body": )" + portalPage + "}}}",
       "Authentication failed.\n\nInvalid server response.", false},
      {"CaptivePortalInsteadOfTheUploadAnswer",
       UploadAnswerConfig(R"({"body": )" + portalPage + "}"),
       "Upload failed.\n\nInvalid server response.", true},
      {"Redirect",
       UploadAnswerConfig(R"({"raw": "HTTP/1.1 302 Found\r\nLocation: https://login.example.net/)"
                          R"(portal?from=drovane\r\nContent-Length: 0\r\n\r\n"})"),
       "The server redirects this request (status 302) to "
       "https://login.example.net/portal?from=drovane; redirects are not followed.",
       true},
      {"HeadOverTheLimit",
       UploadAnswerConfig(R"({"raw": "HTTP/1.1 200 OK\r\nX-Fill: )" + std::string(70000, 'f') +
                          R"(\r\nContent-Length: 0\r\n\r\n"})"),
       "Invalid server response: the head is larger than 65536 bytes.", true},
      {"EndlessBody", UploadAnswerConfig(R"({"endless": true})"),
       "The server's answer is larger than 1048576 bytes, the most this request accepts.", true},
      {"SilentPeer", UploadAnswerConfig(R"({"stall": {"phase": "answer", "seconds": 600}})"),
       "Timed out: the server sent nothing for 1 second.", true, silent},
      // A byte every 1.9 s against a watchdog ticking every 100 ms: the window's 19 s against
      // its 20 ticks of a second, ten times faster.
      {"AByteJustBeforeEveryWatchdogLimit",
       UploadAnswerConfig(R"({"trickle": 1.9, "raw": "HTTP/1.1 200 OK\r\nContent-Length: 47)"
                          R"(\r\n\r\nuploadResult\n0\nuploadCount\n1\nuploadMore\nok\n"})"),
       "Timed out: the answer did not arrive whole within 5 seconds.", true, trickled, true},
      {"MalformedChunk",
       UploadAnswerConfig(R"({"raw": "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n)"
                          R"(zz\r\nuploadResult\n0\nuploadCount\n1\nuploadMore\nok\n)"
                          R"(\r\n0\r\n\r\n"})"),
       "Invalid server response: the chunk size \"zz\" is not a hexadecimal number.", true},
  };
}

class WrongAnswerTest : public UploadExchangeTest,
                        public ::testing::WithParamInterface<WrongAnswer> {};

TEST_P(WrongAnswerTest, EndsAsAFailureAndBooksNothing) {
  const WrongAnswer& wrong = GetParam();
  StartService({}, wrong.config);
  environment_.uploadLimits = wrong.uploadLimits;
  RecordingView view;
  LogLines log;
  UploadExchange exchange(application_, view, false, environment_);
  ASSERT_TRUE(exchange.StartAuthentication());
  DWORD lastTick = GetTickCount();
  ASSERT_TRUE(Run(exchange, view, 60000, [&] {
    if (!wrong.watchdog || !exchange.receiving || exchange.phase != UploadPhase::Uploading) return;
    if (GetTickCount() - lastTick < 100) return;
    lastTick = GetTickCount();
    exchange.OnUploadTimer(3);
  }));

  EXPECT_EQ(exchange.errorMessage, wrong.error);
  ASSERT_FALSE(view.boxes.empty());
  EXPECT_EQ(view.boxes[0].text, wrong.error);
  EXPECT_TRUE(view.ended);
  EXPECT_FALSE(log.Has("\tSource: TIMER_TIMEOUT"));
  EXPECT_EQ(service_->RequestCount(), wrong.duringUpload ? 2 : 1);
  EXPECT_EQ(ReadTestFile(AddonPath()), kAddon);
  EXPECT_TRUE(ListFolder(state_.path()).empty());
  EXPECT_EQ(StoredDword("#Uploads"), 0u);
  std::string lastUpload;
  unsigned long type = 0;
  EXPECT_FALSE(test::ReadRawValue(kStatisticsKey, "LastUpload", lastUpload, type));
  // The answer's dump in the log shows its start only.
  const std::vector<std::string> lines = log.Lines();
  const auto dump = std::find(lines.begin(), lines.end(), "Response dump:");
  size_t dumped = 0;
  for (auto line = dump; line != lines.end() && dumped < 100000; ++line) dumped += line->size();
  EXPECT_LT(dumped, 3 * kResponseDumpLimit);
}

INSTANTIATE_TEST_SUITE_P(UploadExchangeTest, WrongAnswerTest, ::testing::ValuesIn(WrongAnswers()),
                         [](const ::testing::TestParamInfo<WrongAnswer>& info) {
                           return info.param.name;
                         });

}  // namespace
}  // namespace drovane

// Allocates as the library's own operator new does (with malloc), so the library's operator
// delete (free) releases these blocks too.
void* operator new(std::size_t size) {
  if (size >= g_failSize && g_failArmed.exchange(false)) {
    g_failed = true;
    throw std::bad_alloc();
  }
  if (void* block = std::malloc(size ? size : 1)) return block;
  throw std::bad_alloc();
}
