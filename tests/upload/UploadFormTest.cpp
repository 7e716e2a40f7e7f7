// The upload as the player meets it: the main window's Upload button and game watch, the
// requirement checks, the upload window over the main window and the outcome in the log pane,
// against the service stand-in. A watcher thread plays the player at the modal upload window.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>
#include <random>

#include "UploadTestData.h"
#include "app/Application.h"
#include "base/Md5.h"
#include "data/AccountData.h"
#include "support/CleanSettings.h"
#include "support/DevService.h"
#include "support/DialogAnswerer.h"
#include "support/GameInstall.h"
#include "support/Process.h"
#include "support/WindowDriver.h"
#include "ui/MainForm.h"
#include "ui/UploadForm.h"
#include "upload/UploadBookkeeping.h"

namespace drovane {
namespace {

using test::DialogAnswerer;
using test::LogLines;
using test::ReadTestFile;
using test::WdbFile;
using test::WindowDriver;
using test::WriteTestFile;

constexpr char kUploader[] = "Drovane Uploader";
constexpr char kAccount[] = "TESTER";
constexpr int kStatusLine = 0;
constexpr int kProgressText = 2;
constexpr int kCancelButton = 3;
const std::string kAddon =
    "dlVersion = 6\r\n"
    "dlUploaded = 0\r\n"
    "dlLoot = {\r\n\t\"item:1234\",\r\n}\r\n";

class UploadFormTest : public test::CleanSettingsTest {
 protected:
  void SetUp() override {
    CleanSettingsTest::SetUp();
    app_.skipInitialSelfUpdate = true;
    app_.timesStarted = 5;
    app_.SetPreferences(kDefaultPreferences, true);
    app_.SetGameFolder(Live, LiveFolder(), true);
    app_.username = "Tester";
    app_.password = Md5Hex("secret");
    // The cache counts only for the game build it was written by.
    ASSERT_TRUE(test::InstallFakeGame("Wow.exe", LiveFolder() + "\\Wow.exe"));
    WriteTestFile(LiveFolder() + "\\Cache\\WDB\\enUS\\creaturecache.wdb",
                  WdbFile(22522, {{1, "one"}, {2, "two"}}));
    WriteTestFile(AddonPath(), kAddon);
  }
  void TearDown() override {
    form_.reset();
    _putenv("DROVANE_SERVICE_URL=");
    CleanSettingsTest::TearDown();
  }

  std::string AddonPath() const { return SavedVariablesPath(LiveFolder(), kAccount); }

  void StartService(const std::vector<std::string>& options = {}) {
    service_ = std::make_unique<test::DevService>(options);
    ASSERT_TRUE(service_->running());
    _putenv(("DROVANE_SERVICE_URL=" + service_->url()).c_str());
  }
  MainForm& Open() {
    form_ = std::make_unique<MainForm>(&app_);
    EXPECT_TRUE(form_->CreateModeless(nullptr));
    return *form_;
  }
  std::string LogPane() const {
    char text[8192] = {};
    GetWindowTextA(form_->logPane(), text, sizeof text);
    return text;
  }
  // The pane's last line without its time prefix.
  std::string LastPaneLine() const {
    const std::string pane = LogPane();
    const size_t start = pane.rfind("\r\n");
    std::string line = start == std::string::npos ? pane : pane.substr(start + 2);
    if (line.size() > 11 && line[0] == '[' && line[9] == ']') line.erase(0, 11);
    return line;
  }
  // A WM_COMMAND the main window posted to itself, taken from the queue.
  bool TakePostedCommand(int id) {
    MSG message;
    while (PeekMessageA(&message, form_->hwnd, WM_COMMAND, WM_COMMAND, PM_REMOVE)) {
      if (LOWORD(message.wParam) == id) return true;
    }
    return false;
  }
  void PressUpload() { SendMessageA(form_->hwnd, WM_COMMAND, kCmdUpload, 0); }

  Application app_;
  std::unique_ptr<MainForm> form_;
  std::unique_ptr<test::DevService> service_;
};

TEST_F(UploadFormTest, TheUploadButtonUploadsAndShowsTheServiceMessageThenSucceeds) {
  StartService({"--upload-more", "Thanks for the data!"});
  Open();
  LogLines log;
  WindowDriver player(kUploader, {WindowDriver::WaitForChildText(kCancelButton, "Close"),
                                  WindowDriver::RecordChildText(kStatusLine),
                                  WindowDriver::RecordChildText(kProgressText),
                                  WindowDriver::PostCommand(IDCANCEL)});
  DialogAnswerer boxes("Drovane Client", {IDOK});
  PressUpload();
  EXPECT_TRUE(player.finished());
  EXPECT_EQ(player.Recorded(),
            (std::vector<std::string>{"Thanks for the data!", player.Recorded().at(1)}));
  EXPECT_EQ(player.Recorded().at(1).substr(0, 8), "100% of ");
  EXPECT_TRUE(boxes.Texts().empty()) << boxes.Texts().front();
  EXPECT_EQ(LastPaneLine(), "Upload succeeded!");
  EXPECT_TRUE(log.Has("Attempting to upload: All requirements met."));
  EXPECT_TRUE(log.Has("Creating `UploadForm`."));
  EXPECT_TRUE(log.Has("\tSource: Uploader closed"));
  EXPECT_TRUE(log.Has("Deleted `UploadForm`."));
  ASSERT_TRUE(service_->WaitForRequests(2, 5000));
  EXPECT_EQ(service_->RawRequest(2).substr(0, 17), "POST /upload.php?");
  EXPECT_NE(ReadTestFile(AddonPath()).find("dlUploaded = "), std::string::npos);
  EXPECT_EQ(ReadTestFile(AddonPath()).find("dlUploaded = 0\r\n"), std::string::npos);
  // What was uploaded is no longer offered.
  EXPECT_FALSE(form_->hasDataToUpload);
}

TEST_F(UploadFormTest, TheWindowHasItsLayout) {
  StartService({"--upload-stall", "answer:30"});
  Open();
  DialogAnswerer boxes("Drovane Client", {IDYES});
  WindowDriver player(
      kUploader, {WindowDriver::WaitForChildText(kStatusLine, "Finalizing..."),
                  WindowDriver::WaitUntilShown(), WindowDriver::RecordLayout(),
                  WindowDriver::PostCommand(kUploadCancelButtonId)});
  PressUpload();
  ASSERT_TRUE(player.finished());
  const std::vector<std::string> layout = player.Recorded();
  ASSERT_EQ(layout.size(), 5u);
  EXPECT_EQ(layout[0], "Drovane Uploader|client 320x88|style 00c80000");
  EXPECT_EQ(layout[1], "Static|10,10,300,16|0|shown|Finalizing...");
  EXPECT_EQ(layout[2], "msctls_progress32|10,29,300,16|0|shown|");
  // The answer has begun: 100 % of the request's size.
  EXPECT_EQ(layout[3].substr(0, 31), "Static|10,51,200,16|0|shown|100");
  EXPECT_EQ(layout[4], "Button|235,54,75,23|101|shown|Cancel");
  EXPECT_EQ(LastPaneLine(), "Upload failed: Uploaded cancelled.");
}

TEST_F(UploadFormTest, RequirementsAreCheckedInOrderAndEachFailureSaysWhy) {
  Open();
  LogLines log;
  DialogAnswerer boxes("Drovane Client", {IDOK});

  // The first failing check wins: nothing to upload, although the game runs.
  const std::string game = LiveFolder() + "\\game";
  ASSERT_TRUE(test::InstallFakeGame("Wow.exe", game + "\\Wow.exe"));
  {
    test::ChildProcess running(test::Quoted(game + "\\Wow.exe") + " --run-ms 60000");
    ASSERT_TRUE(running.started());
    for (int i = 0; i < 100 && !FindWindowA("GxWindowClass", nullptr); ++i) Sleep(50);
    ASSERT_TRUE(FindWindowA("GxWindowClass", nullptr));

    const std::string cachePath = LiveFolder() + "\\Cache\\WDB\\enUS\\creaturecache.wdb";
    const std::string addon = ReadTestFile(AddonPath());
    const std::string cache = ReadTestFile(cachePath);
    DeleteFileA(AddonPath().c_str());
    DeleteFileA(cachePath.c_str());
    PressUpload();
    WriteTestFile(AddonPath(), addon);
    WriteTestFile(cachePath, cache);
    PressUpload();  // the game's window is open
  }
  app_.username.clear();
  PressUpload();
  ASSERT_TRUE(boxes.WaitForBoxes(3, 5000));
  EXPECT_EQ(boxes.Texts(),
            (std::vector<std::string>{"No data to upload at this time.",
                                      "Please close World of Warcraft before uploading.",
                                      "Please enter your login information first."}));
  // The missing login opens the options.
  EXPECT_TRUE(TakePostedCommand(kCmdOptions));
  EXPECT_TRUE(log.Has("Attempting to upload: No data to upload at this time."));
  EXPECT_TRUE(log.Has("Attempting to upload: Please close World of Warcraft before uploading."));
  EXPECT_TRUE(log.Has("Attempting to upload: Please enter your login information first."));
  EXPECT_FALSE(log.Has("Creating `UploadForm`."));
}

TEST_F(UploadFormTest, OnlyOneUploadAMinute) {
  StartService({"--upload-stall", "answer:10"});
  Open();
  LogLines log;
  // The refusal, then the cancel questions of the uploads that do start.
  DialogAnswerer boxes("Drovane Client", {IDOK, IDYES});
  ASSERT_TRUE(WriteLastUpload(CurrentUnixTime() - 30));
  PressUpload();
  ASSERT_TRUE(boxes.WaitForBoxes(1, 5000));
  EXPECT_EQ(boxes.Texts()[0], "You may upload only once per minute.");
  EXPECT_TRUE(log.Has("Attempting to upload: You may upload only once per minute."));

  // A minute later the upload runs; a last upload in the future does not block either.
  for (int64_t offset : {-60, 3600}) {
    ASSERT_TRUE(WriteLastUpload(CurrentUnixTime() + offset));
    WindowDriver player(kUploader, {WindowDriver::PostCommand(IDCANCEL)});
    PressUpload();
    EXPECT_TRUE(player.finished()) << offset;
  }
  EXPECT_EQ(boxes.Texts().size(), 3u);  // one refusal, then the two cancel questions
}

TEST_F(UploadFormTest, AnAutomaticStartWritesItsRefusalToThePaneWithoutABox) {
  Open();
  LogLines log;
  DialogAnswerer boxes("Drovane Client", {IDOK});
  app_.password.clear();
  form_->AppendToLogPane("WoW exited.", true);
  form_->AppendToLogPane(" Auto-uploading... ", false);
  form_->StartUpload(true);
  EXPECT_EQ(LastPaneLine(), "Please enter your login information first.");
  EXPECT_NE(LogPane().find("WoW exited. Auto-uploading... \r\nPlease enter"), std::string::npos);
  EXPECT_TRUE(
      log.Has("Attempting to upload (automated): Please enter your login information "
              "first."));
  Sleep(300);
  EXPECT_TRUE(boxes.Texts().empty());
  EXPECT_FALSE(TakePostedCommand(kCmdOptions));
}

TEST_F(UploadFormTest, CancelIsAskedFirstYesCancelsNoGoesOn) {
  StartService({"--upload-stall", "answer:6"});
  Open();
  {
    LogLines log;
    DialogAnswerer boxes("Drovane Client", {IDYES});
    WindowDriver player(kUploader, {WindowDriver::WaitForChildText(kStatusLine, "Finalizing..."),
                                    WindowDriver::PostCommand(IDCANCEL)});
    PressUpload();
    EXPECT_TRUE(player.finished()) << LogPane();
    EXPECT_EQ(boxes.Texts(),
              std::vector<std::string>{"Are you sure that you want to cancel the upload?"});
    EXPECT_EQ(LastPaneLine(), "Upload failed: Uploaded cancelled.");
    EXPECT_TRUE(log.Has("Error: Uploaded cancelled by user."));
    // Nothing was confirmed, so nothing is marked as uploaded.
    EXPECT_EQ(ReadTestFile(AddonPath()), kAddon);
  }
  {
    // "No": the upload goes on and succeeds; its final answer then closes without a question.
    DialogAnswerer boxes("Drovane Client", {IDNO});
    WindowDriver player(kUploader, {WindowDriver::WaitForChildText(kStatusLine, "Finalizing..."),
                                    WindowDriver::PostCommand(IDCANCEL),
                                    WindowDriver::WaitForChildText(kCancelButton, "Close"),
                                    WindowDriver::PostCommand(IDCANCEL)});
    PressUpload();
    EXPECT_TRUE(player.finished()) << LogPane();
    EXPECT_EQ(boxes.Texts(),
              std::vector<std::string>{"Are you sure that you want to cancel the upload?"});
    EXPECT_EQ(LastPaneLine(), "Upload succeeded!");
  }
}

TEST_F(UploadFormTest, AStalledAnswerIsStoppedByTheWatchdogAsAServerTimeout) {
  StartService({"--upload-stall", "answer:90"});
  Open();
  LogLines log;
  DialogAnswerer boxes("Drovane Client", {IDOK});
  PressUpload();  // the window's own one-second watchdog ends it after 20 quiet ticks
  EXPECT_EQ(LastPaneLine(), "Upload failed: Server timeout.");
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Drovane is unable to process your upload "
                                                    "at this time.\n\nPlease try again in a bit!"});
  EXPECT_TRUE(log.Has("\tSource: TIMER_TIMEOUT"));
  EXPECT_EQ(ReadTestFile(AddonPath()), kAddon);
}

TEST_F(UploadFormTest, AStalledSendIsStoppedByTheWatchdogAsADataTransferTimeout) {
  // Several MB that do not compress, and a service that stops reading with a small window.
  std::mt19937 random(5);
  std::string noise(8 * 1024 * 1024, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  WriteTestFile(LiveFolder() + "\\Cache\\WDB\\enUS\\gameobjectcache.wdb",
                WdbFile(22522, {{1, noise}}));
  test::TempFolder config;
  WriteTestFile(config / "service.json", R"({"receiveBuffer": 4096, "defaults": {"upload":
                {"stall": {"phase": "request", "seconds": 60}}}})");
  StartService({"--config", test::HostPath(config / "service.json")});
  Open();
  LogLines log;
  DialogAnswerer boxes("Drovane Client", {IDNO});
  PressUpload();
  EXPECT_EQ(LastPaneLine(), "Upload failed: Data transfer timeout.");
  ASSERT_EQ(boxes.Texts().size(), 1u);
  EXPECT_EQ(boxes.Texts()[0].substr(0, 50), "There appears to be a problem uploading your data.");
  EXPECT_TRUE(log.Has("\tSource: TIMER_TIMEOUT"));
  EXPECT_EQ(ReadTestFile(AddonPath()), kAddon);
}

// Pumps the thread's messages (the main window's timers among them) until the pane holds the
// text or the time is up.
bool PumpUntilPaneHas(const std::function<std::string()>& pane, const std::string& text,
                      unsigned timeoutMs) {
  const DWORD start = GetTickCount();
  while (GetTickCount() - start < timeoutMs) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
    if (pane().find(text) != std::string::npos) return true;
    Sleep(20);
  }
  return false;
}

TEST_F(UploadFormTest, TheGameWatchUploadsByItselfWhenTheGameExits) {
  StartService();
  app_.SetPreferences(kDefaultPreferences | PREF_AUTO_UPLOAD, true);
  Open();
  LogLines log;
  DialogAnswerer boxes("Drovane Client", {IDOK});
  test::ChildProcess game(test::Quoted(LiveFolder() + "\\Wow.exe") + " --run-ms 3000");
  ASSERT_TRUE(game.started());
  const auto pane = [this] { return LogPane(); };
  ASSERT_TRUE(PumpUntilPaneHas(pane, "WoW is now running.", 10000)) << LogPane();
  ASSERT_TRUE(PumpUntilPaneHas(pane, "Upload succeeded!", 60000)) << LogPane();
  const std::string text = LogPane();
  const size_t running = text.find("WoW is now running.");
  // A new timestamped line: "[hh:mm:ss] WoW exited. Auto-uploading... ", then the upload's lines.
  const size_t line = text.find("] WoW exited. Auto-uploading... \r\n[", running);
  ASSERT_NE(line, std::string::npos) << text;
  EXPECT_EQ(text.substr(line - 9, 1), "[");
  EXPECT_NE(text.find("] Upload succeeded!", line), std::string::npos);
  EXPECT_TRUE(log.Has("WoW is now running."));
  EXPECT_TRUE(log.Has("WoW exited."));
  EXPECT_TRUE(log.Has("Attempting to upload (automated): All requirements met."));
  EXPECT_TRUE(boxes.Texts().empty());
  ASSERT_TRUE(service_->WaitForRequests(2, 5000));
  EXPECT_EQ(service_->RawRequest(2).substr(0, 17), "POST /upload.php?");
  EXPECT_EQ(ReadTestFile(AddonPath()).find("dlUploaded = 0\r\n"), std::string::npos);
}

TEST_F(UploadFormTest, NoAutomaticUploadStartsWhileAModalWindowIsOpen) {
  StartService();
  app_.SetPreferences(kDefaultPreferences | PREF_AUTO_UPLOAD, true);
  Open();
  LogLines log;
  // What every modal window does to its owner.
  EnableWindow(form_->hwnd, FALSE);
  ASSERT_FALSE(form_->isEnabled);
  test::ChildProcess game(test::Quoted(LiveFolder() + "\\Wow.exe") + " --run-ms 2500");
  ASSERT_TRUE(game.started());
  const auto pane = [this] { return LogPane(); };
  ASSERT_TRUE(PumpUntilPaneHas(pane, "WoW exited.", 20000)) << LogPane();
  PumpUntilPaneHas(pane, "Auto-uploading", 3000);
  EXPECT_EQ(LogPane().find("Auto-uploading"), std::string::npos);
  EXPECT_TRUE(log.Has("WoW exited."));
  EXPECT_FALSE(log.Has("Attempting to upload (automated): All requirements met."));
  EXPECT_EQ(service_->RequestCount(), 0);
  EnableWindow(form_->hwnd, TRUE);
}

}  // namespace
}  // namespace drovane
