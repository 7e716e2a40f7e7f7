#pragma once
// Shared by the fault tests of the upload bookkeeping: a game installation with one account and
// one cache file, the service stand-in, and whole uploads run without a window. The next run of
// the client is modelled by a fresh upload-state map and a new scan of the add-on files.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "UploadTestData.h"
#include "UploadTestGame.h"
#include "app/Application.h"
#include "base/FileSystem.h"
#include "base/Md5.h"
#include "data/AccountData.h"
#include "data/AccountScan.h"
#include "support/CleanSettings.h"
#include "support/DevService.h"
#include "support/HostMounts.h"
#include "upload/UploadExchange.h"

namespace drovane::test {

// The upload window reduced to what these tests look at: the status texts (with a hook that
// sees each as it is set) and the message boxes, all answered with OK or No.
class FaultView : public UploadView {
 public:
  void SetStatusText(const std::wstring& text) override {
    statusTexts.emplace_back(text.begin(), text.end());
    if (onStatus) onStatus(statusTexts.back());
  }
  void SetProgress(int, const std::string&) override {}
  void ShowCloseButton() override {}
  int ShowMessage(const std::string& text, unsigned type) override {
    boxes.push_back(text);
    return (type & MB_YESNO) ? IDNO : IDOK;
  }
  int ShowMessage(const std::wstring& text, unsigned type) override {
    return ShowMessage(std::string(text.begin(), text.end()), type);
  }
  void OpenWebPage(const std::string&) override {}
  void StartTimer(int, unsigned) override {}
  void StopTimer(int) override {}
  void RequestRefresh() override {}
  void EndUpload(int) override { ended = true; }

  std::vector<std::string> statusTexts;
  std::vector<std::string> boxes;
  std::function<void(const std::string&)> onStatus;
  bool ended = false;
};

constexpr char kFaultAccount[] = "TESTER";
constexpr int32_t kFaultBuild = 22522;
constexpr char kFaultWdbName[] = "LIVE_7.0.3.22522_enUS_creaturecache.wdb";
constexpr char kFaultAddonName[] = "LIVE_7.0.3.22522_TESTER_SavedVariables.lua";
constexpr char kFaultStateName[] = "creaturecache.wdb_enUS_22522";

inline const std::string& FaultAddonText() {
  static const std::string text =
      "dlVersion = 6\r\n"
      "dlUploaded = 0\r\n"
      "dlStats = \"1^2^3^4^5^6\"\r\n"
      "dlExportData = \"Aldor^Thrall^60\"\r\n"
      "dlLoot = {\r\n\t\"item:1234\",\r\n}\r\n";
  return text;
}

// The add-on text once its upload is written back (state 3: base and export data sent).
inline std::string FaultAddonTextUploaded() {
  std::string text = FaultAddonText();
  return text.replace(text.find("dlUploaded = 0"), 14, "dlUploaded = 3");
}

// Compares file contents without printing tens of kilobytes: says where they first differ.
inline ::testing::AssertionResult SameBytes(const std::string& actual,
                                            const std::string& expected) {
  if (actual == expected) return ::testing::AssertionSuccess();
  size_t at = 0;
  while (at < actual.size() && at < expected.size() && actual[at] == expected[at]) ++at;
  return ::testing::AssertionFailure() << actual.size() << " bytes instead of " << expected.size()
                                       << ", first difference at byte " << at;
}

// Skips a test whose host cannot give it the file system it needs; any other failure fails it.
#define DROVANE_REQUIRE_HOST(answer)                                               \
  do {                                                                             \
    const ::drovane::test::HostAnswer& required = (answer);                        \
    if (required.kind == ::drovane::test::HostAnswer::Refused) {                   \
      GTEST_SKIP() << required.message;                                            \
    }                                                                              \
    ASSERT_EQ(required.kind, ::drovane::test::HostAnswer::Ok) << required.message; \
  } while (false)

class UploadFaultSessionTest : public CleanSettingsTest {
 protected:
  UploadFaultSessionTest() : CleanSettingsTest(false) {}

  void SetUp() override {
    CleanSettingsTest::SetUp();
    ASSERT_TRUE(InstallGame(game_.path()));
    application_.username = "Tester";
    application_.password = Md5Hex("secret");
    application_.gameFolders[Live] = game_.path();
    WriteCreatures({{1, "one"}, {2, "two"}, {3, "three"}});
    WriteTestFile(game_ / "Data\\enUS\\realmlist.wtf", "set realmlist us.logon.example.com\r\n");
    WriteTestFile(game_ / "WTF\\Config.wtf", "SET locale \"enUS\"\r\nSET portal \"US\"\r\n");
    WriteTestFile(AddonPath(), FaultAddonText());
    environment_.websiteUrl = "http://www.example.test";
    environment_.stateFolder = state_.path() + "\\";
    environment_.exclusions = &exclusions_;
    environment_.states = &states_;
    service_ = std::make_unique<DevService>();
    ASSERT_TRUE(service_->running());
    environment_.serviceUrl = service_->url();
  }

  void WriteCreatures(const std::vector<Record>& records) {
    WriteTestFile(game_ / "Cache\\WDB\\enUS\\creaturecache.wdb", WdbFile(kFaultBuild, records));
  }
  std::string AddonPath() const { return SavedVariablesPath(game_.path(), kFaultAccount); }
  std::string StatePath() const { return state_ / kFaultStateName; }

  // A new run of the client: its upload states come from reading the add-on files again.
  void NextRun() {
    states_.clear();
    AccountScanSources sources;
    sources.gameFolders[Live] = game_.path();
    std::vector<AccountDataEntry> rows;
    ScanAccounts(sources, states_, rows);
  }

  // One upload from the authentication to the service's final answer, its commit included.
  // Returns the failure reported to the main window (empty on success).
  std::string Upload(FaultView& view) {
    UploadExchange exchange(application_, view, false, environment_);
    if (!exchange.StartAuthentication()) return "<not started>";
    const DWORD start = GetTickCount();
    while (!view.ended && exchange.phase != UploadPhase::Finished) {
      if (GetTickCount() - start > 60000) return "<no end within a minute>";
      MSG message;
      while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
      Sleep(10);
    }
    return exchange.errorMessage;
  }

  // The files the service stored for the n-th request, by name.
  std::vector<std::string> UploadedFiles(int request) const {
    char name[16];
    std::snprintf(name, sizeof name, "%06d", request);
    std::vector<std::string> names;
    for (const FolderEntry& entry :
         ListFolder(service_->data() + "\\uploads\\" + name + "\\files")) {
      names.push_back(entry.name);
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string Uploaded(int request, const std::string& file) const {
    char name[16];
    std::snprintf(name, sizeof name, "%06d", request);
    return ReadTestFile(service_->data() + "\\uploads\\" + name + "\\files\\" + file);
  }

  TempFolder game_;
  TempFolder state_;
  Application application_;
  AccountExclusionMap exclusions_;
  UploadStateMap states_;
  UploadEnvironment environment_;
  std::unique_ptr<DevService> service_;
};

}  // namespace drovane::test
