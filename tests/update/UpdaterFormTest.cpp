// The updater window against the service stand-in: the start-up run and the menu run, their
// texts and buttons, Retry after a network failure, and the cancel question. A watcher thread
// plays the player at the modal window.
#include <windows.h>

#include <gtest/gtest.h>

#include "UpdateTestSupport.h"
#include "app/Application.h"
#include "base/DataFile.h"
#include "base/FileLog.h"
#include "support/CleanSettings.h"
#include "support/DialogAnswerer.h"
#include "support/WindowDriver.h"
#include "ui/MainForm.h"
#include "ui/UpdaterForm.h"

namespace drovane {
namespace {

using test::DialogAnswerer;
using test::ReadTestFile;
using test::WindowDriver;
using test::WriteTestFile;

constexpr char kUpdater[] = "Drovane Update";
constexpr char kAddonFolder[] = "%WoW%\\Interface\\AddOns\\Drovane_Looter\\";
constexpr char kAddonFile[] = "\\Interface\\AddOns\\Drovane_Looter\\";
constexpr int kStatusText = 0;
constexpr int kRetryButton = 3;
constexpr int kCancelButton = 4;
constexpr char kStartupQuestion[] =
    "Cancelling the update will exit the application.\n\nAre you sure that you want to cancel?";

// Done once the n-th child is shown.
WindowDriver::Step WaitForShown(int index) {
  return [index](HWND window, WindowDriver&) {
    HWND child = test::NthChild(window, index);
    return child && IsWindowVisible(child);
  };
}

// Records whether Retry is shown ("retry shown" / "retry hidden").
WindowDriver::Step RecordRetryVisibility() {
  return [](HWND window, WindowDriver& driver) {
    driver.Record(IsWindowVisible(test::NthChild(window, kRetryButton)) ? "retry shown"
                                                                       : "retry hidden");
    return true;
  };
}

class UpdaterFormTest : public ::testing::Test {
 protected:
  void SetUp() override { application_.gameFolders[GameEdition::Live] = games_ / "Live"; }

  std::string AddonPath(const std::string& name) const {
    return games_ / "Live" + kAddonFile + name;
  }
  // An add-on of the given files, published; those listed in current are already installed.
  bool Publish(const std::vector<std::string>& files, const std::vector<std::string>& current,
               const std::vector<std::string>& extraOptions = {}) {
    std::vector<std::pair<std::string, std::string>> entries;
    for (const std::string& name : files) {
      service_.AddSource("addon/" + name, "content of " + name);
      entries.emplace_back("addon/" + name, kAddonFolder);
    }
    for (const std::string& name : current) WriteTestFile(AddonPath(name), "content of " + name);
    return service_.Start(
        "\"clientMd5\": \"" + test::RunningClientDigest() + "\", \"clientPath\": \"x.exe\"",
        entries, extraOptions);
  }
  UpdatePhase Run(int mode) {
    return RunUpdater(&application_, nullptr, mode, nullptr, nullptr).phase;
  }

  test::TempFolder games_;
  test::UpdateService service_;
  Application application_;
};

TEST_F(UpdaterFormTest, AStartupRunWithNothingToUpdateClosesByItself) {
  ASSERT_TRUE(Publish({"core.lua"}, {"core.lua"}));
  DialogAnswerer boxes("Drovane Client", {IDOK});
  const size_t before = Log().Pending().size();
  EXPECT_EQ(Run(1), UpdatePhase::Finished);
  EXPECT_TRUE(boxes.Texts().empty());
  const std::string log = Log().Pending().substr(before);
  const size_t created = log.find("] Creating `UpdaterForm`.\n");
  const size_t closed = log.find("] Source: Updater closed\n", created);
  const size_t deleted = log.find("] Deleted `UpdaterForm`.\n");
  ASSERT_NE(created, std::string::npos) << log;
  ASSERT_NE(deleted, std::string::npos) << log;
  ASSERT_NE(closed, std::string::npos) << log;
  EXPECT_EQ(log.substr(closed - 10, 2), "\t[") << log;
  EXPECT_LT(closed, deleted);
}

TEST_F(UpdaterFormTest, AStartupRunThatUpdatedSaysHowManyFilesAndContinues) {
  for (const auto& files : std::vector<std::vector<std::string>>{{"a.lua"}, {"a.lua", "b.lua"}}) {
    SCOPED_TRACE(files.size());
    test::TempFolder games;
    application_.gameFolders[GameEdition::Live] = games / "Live";
    test::UpdateService service;
    std::vector<std::pair<std::string, std::string>> entries;
    for (const std::string& name : files) {
      service.AddSource("addon/" + name, "content of " + name);
      entries.emplace_back("addon/" + name, kAddonFolder);
    }
    ASSERT_TRUE(service.StartWithCurrentClient(entries));
    DialogAnswerer boxes("Drovane Client", {IDNO});
    WindowDriver player(kUpdater, {WindowDriver::WaitForChildText(kCancelButton, "Continue"),
                                   WindowDriver::RecordChildText(kStatusText),
                                   WindowDriver::PostCommand(kUpdaterCancel)});
    EXPECT_EQ(Run(1), UpdatePhase::Finished);
    ASSERT_TRUE(player.finished());
    EXPECT_EQ(player.Recorded()[0], files.size() == 1
                                        ? "Update is complete: 1 file was updated."
                                        : "Update is complete: 2 files were updated.");
    // "Continue" after the end asks nothing.
    EXPECT_TRUE(boxes.Texts().empty());
    EXPECT_EQ(ReadTestFile(games / "Live" + kAddonFile + "a.lua"), "content of a.lua");
  }
}

TEST_F(UpdaterFormTest, AMenuRunWithNothingToUpdateSaysSoAndClosesWithoutAQuestion) {
  ASSERT_TRUE(Publish({"core.lua"}, {"core.lua"}));
  DialogAnswerer boxes("Drovane Client", {IDNO});
  WindowDriver player(
      kUpdater, {WindowDriver::WaitForChildText(kCancelButton, "Close"),
                 WindowDriver::RecordChildText(kStatusText), WindowDriver::PostCommand(IDCANCEL)});
  EXPECT_EQ(Run(0), UpdatePhase::Finished);
  ASSERT_TRUE(player.finished());
  EXPECT_EQ(player.Recorded()[0], "No new updates");
  EXPECT_TRUE(boxes.Texts().empty());
}

TEST_F(UpdaterFormTest, AnUnsignedListEndsTheRunWithItsReasonAndTheStartupRunLetsTheClientGoOn) {
  ASSERT_TRUE(Publish({"core.lua"}, {}));
  const std::string served = service_.ServedList();
  const size_t block = 148 + 32;  // the signature block of a list with one entry
  service_.ServeFile("updates.dat", served.substr(0, served.size() - block));
  DialogAnswerer boxes("Drovane Client", {IDNO});

  // At start-up: no box and no question, and the caller learns the list was refused.
  const UpdaterOutcome startup = RunUpdater(&application_, nullptr, 1, nullptr, nullptr);
  EXPECT_EQ(startup.phase, UpdatePhase::ListDownload);
  EXPECT_TRUE(startup.listRefused);
  EXPECT_FALSE(startup.cancelledByPlayer);

  // From the menu: the reason is shown, and closing asks nothing.
  WindowDriver player(
      kUpdater, {WindowDriver::WaitForChildText(kCancelButton, "Close"),
                 WindowDriver::RecordChildText(kStatusText), WindowDriver::PostCommand(IDCANCEL)});
  EXPECT_EQ(Run(0), UpdatePhase::ListDownload);
  ASSERT_TRUE(player.finished());
  EXPECT_EQ(player.Recorded()[0], "The update list is not trusted: it carries no signature.");
  EXPECT_TRUE(boxes.Texts().empty());
  EXPECT_FALSE(FileExists(AddonPath("core.lua")));
}

TEST_F(UpdaterFormTest, ANetworkFailureShowsTheErrorAndRetryRecovers) {
  test::TempFolder config;
  WriteTestFile(config / "service.json",
                R"({"paths": {"/files/updates.dat": {"drop": "request", "times": 1}}})");
  ASSERT_TRUE(Publish({"core.lua"}, {}, {"--config", test::HostPath(config / "service.json")}));
  DialogAnswerer boxes("Drovane Client", {IDNO});
  WindowDriver player(kUpdater,
                      {WaitForShown(kRetryButton), WindowDriver::RecordChildText(kStatusText),
                       WindowDriver::PostCommand(kUpdaterRetry),
                       WindowDriver::WaitForChildText(kCancelButton, "Close"),
                       WindowDriver::RecordChildText(kStatusText),
                       RecordRetryVisibility(),
                       WindowDriver::PostCommand(kUpdaterCancel)});
  EXPECT_EQ(Run(0), UpdatePhase::Finished);
  ASSERT_TRUE(player.finished());
  const std::vector<std::string> seen = player.Recorded();
  ASSERT_EQ(seen.size(), 3u);
  EXPECT_FALSE(seen[0].empty());  // the HTTP client's error text
  EXPECT_NE(seen[0], "Connecting to Drovane...");
  EXPECT_EQ(seen[1], "Update is complete: 1 file was updated.");
  EXPECT_EQ(seen[2], "retry hidden");
  EXPECT_TRUE(boxes.Texts().empty());
  EXPECT_EQ(ReadTestFile(AddonPath("core.lua")), "content of core.lua");
}

TEST_F(UpdaterFormTest, AStartupRunWaitsForTheNetworkForAWhileThenOffersRetry) {
  ASSERT_TRUE(Publish({"core.lua"}, {"core.lua"}));
  // No network yet: nothing listens where the service is.
  auto noNetwork =
      std::make_unique<test::ScopedEnvironment>("DROVANE_SERVICE_URL", "http://127.0.0.1:1/");
  DialogAnswerer boxes("Drovane Client", {IDNO});
  WindowDriver player(kUpdater,
                      {WindowDriver::WaitForChildText(kStatusText, "Waiting for the network..."),
                       RecordRetryVisibility(),
                       // The wait is over: the error and Retry, which works once the network is up.
                       WaitForShown(kRetryButton), WindowDriver::RecordChildText(kStatusText),
                       [&noNetwork](HWND, WindowDriver&) {
                         noNetwork.reset();
                         return true;
                       },
                       WindowDriver::PostCommand(kUpdaterRetry)});
  UpdaterForm form(&application_);
  form.mode = 1;
  form.networkWait = std::chrono::milliseconds(1500);
  form.networkRetryPause = std::chrono::milliseconds(250);
  form.RunModal(nullptr);
  ASSERT_TRUE(player.finished());
  const std::vector<std::string> seen = player.Recorded();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0], "retry hidden");
  EXPECT_NE(seen[1], "Waiting for the network...");
  EXPECT_FALSE(seen[1].empty());  // the HTTP client's error text
  EXPECT_EQ(form.updater.phase, UpdatePhase::Finished);
  EXPECT_FALSE(form.cancelledByPlayer);
  EXPECT_TRUE(boxes.Texts().empty());
}

bool CannotReplace(const std::string&) { return false; }

TEST_F(UpdaterFormTest, AMenuRunTellsThatANewerClientNeedsItsSetupProgram) {
  service_.AddSource("client/DrovaneClient.exe", "the published client");
  ASSERT_TRUE(service_.Start("\"client\": \"client/DrovaneClient.exe\"", {}));
  DialogAnswerer boxes("Drovane Client", {IDOK});
  WindowDriver player(kUpdater, {WindowDriver::WaitForChildText(kCancelButton, "Close"),
                                 [&boxes](HWND, WindowDriver&) { return boxes.Texts().size() == 1; },
                                 WindowDriver::RecordChildText(kStatusText),
                                 WindowDriver::PostCommand(kUpdaterCancel)});
  UpdaterForm form(&application_);
  form.mode = 0;
  form.updater.canReplaceClient = &CannotReplace;
  form.RunModal(nullptr);
  ASSERT_TRUE(player.finished());
  EXPECT_EQ(player.Recorded(), std::vector<std::string>{"A newer client is available."});
  ASSERT_EQ(boxes.Texts().size(), 1u);
  EXPECT_EQ(boxes.Texts()[0], form.clientNotice);
  EXPECT_EQ(boxes.Texts()[0].rfind("A newer version of Drovane Client is available, but it cannot "
                                   "be installed in ", 0),
            0u);
  EXPECT_EQ(form.updater.phase, UpdatePhase::Finished);
  EXPECT_EQ(service_.RequestPaths(), std::vector<std::string>{"/files/updates.dat"});
}

TEST_F(UpdaterFormTest, CancellingAStartupRunAsksAndYesEndsTheRunUnfinished) {
  test::TempFolder config;
  WriteTestFile(config / "service.json", R"({"paths": {"/files/updates.dat":
                {"stall": {"phase": "answer", "seconds": 30}, "times": 1}}})");
  ASSERT_TRUE(Publish({"core.lua"}, {}, {"--config", test::HostPath(config / "service.json")}));
  DialogAnswerer boxes("Drovane Client", {IDNO, IDYES});
  WindowDriver player(kUpdater,
                      {WindowDriver::WaitForChildText(kStatusText, "Checking for updates..."),
                       WindowDriver::PostCommand(IDCANCEL),
                       [&boxes](HWND, WindowDriver&) { return boxes.Texts().size() == 1; },
                       WindowDriver::Pause(300), WindowDriver::PostCommand(kUpdaterCancel)});
  const UpdaterOutcome outcome = RunUpdater(&application_, nullptr, 1, nullptr, nullptr);
  EXPECT_EQ(outcome.phase, UpdatePhase::ListDownload);
  EXPECT_TRUE(outcome.cancelledByPlayer);
  ASSERT_TRUE(player.finished());
  EXPECT_EQ(boxes.Texts(), (std::vector<std::string>{kStartupQuestion, kStartupQuestion}));
}

TEST_F(UpdaterFormTest, TheWindowHasItsLayout) {
  test::TempFolder config;
  WriteTestFile(config / "service.json", R"({"paths": {"/files/updates.dat":
                {"stall": {"phase": "answer", "seconds": 30}, "times": 1}}})");
  ASSERT_TRUE(Publish({"core.lua"}, {}, {"--config", test::HostPath(config / "service.json")}));
  DialogAnswerer boxes("Drovane Client", {IDYES});
  WindowDriver player(kUpdater,
                      {WindowDriver::WaitForChildText(kStatusText, "Checking for updates..."),
                       WindowDriver::WaitUntilShown(), WindowDriver::RecordLayout(),
                       WindowDriver::PostCommand(kUpdaterCancel)});
  Run(0);
  ASSERT_TRUE(player.finished());
  EXPECT_EQ(player.Recorded(), (std::vector<std::string>{
                                   "Drovane Update|client 320x88|style 00c80000",
                                   "Static|10,10,300,16|0|shown|Checking for updates...",
                                   "Static|10,51,200,16|0|shown|",
                                   "msctls_progress32|10,29,300,16|0|shown|",
                                   "Button|152,54,75,23|101|hidden|Retry",
                                   "Button|235,54,75,23|102|shown|Cancel",
                               }));
}

TEST_F(UpdaterFormTest, AMenuRunAsksItsOwnQuestion) {
  test::TempFolder config;
  WriteTestFile(config / "service.json", R"({"paths": {"/files/updates.dat":
                {"stall": {"phase": "answer", "seconds": 30}, "times": 1}}})");
  ASSERT_TRUE(Publish({"core.lua"}, {}, {"--config", test::HostPath(config / "service.json")}));
  DialogAnswerer boxes("Drovane Client", {IDYES});
  WindowDriver player(kUpdater,
                      {WindowDriver::WaitForChildText(kStatusText, "Checking for updates..."),
                       WindowDriver::PostCommand(kUpdaterCancel)});
  EXPECT_NE(Run(0), UpdatePhase::Finished);
  EXPECT_EQ(boxes.Texts(),
            std::vector<std::string>{"Are you sure that you want to cancel the update?"});
}

TEST_F(UpdaterFormTest, TheMainWindowQuitsWhenItsStartupRunIsCancelled) {
  test::TempFolder config;
  WriteTestFile(config / "service.json", R"({"paths": {"/files/updates.dat":
                {"stall": {"phase": "answer", "seconds": 30}, "times": 1}}})");
  ASSERT_TRUE(Publish({"core.lua"}, {}, {"--config", test::HostPath(config / "service.json")}));
  application_.timesStarted = 5;
  application_.skipInitialSelfUpdate = false;
  DialogAnswerer boxes("Drovane Client", {IDYES});
  WindowDriver player(kUpdater,
                      {WindowDriver::WaitForChildText(kStatusText, "Checking for updates..."),
                       WindowDriver::PostCommand(IDCANCEL)});
  MainForm form(&application_);
  form.CreateModeless(nullptr);
  EXPECT_TRUE(player.finished());
  EXPECT_EQ(form.hwnd, nullptr);  // closed
  // What the log says of it: the player's choice, not a window that failed.
  EXPECT_EQ(form.endReason, "The player cancelled the start-up update: the client ends.");
  MSG message;
  EXPECT_TRUE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
}

// Only the player's Cancel stops the client: an answer that is no list (a captive portal's page)
// is shown as the reason, and the client carries on with the version it has.
TEST_F(UpdaterFormTest, TheMainWindowCarriesOnWhenItsStartupRunFailsForAReasonNotThePlayers) {
  ASSERT_TRUE(Publish({"core.lua"}, {}));
  service_.ServeFile("updates.dat", "<html><body>Sign in to use this network</body></html>");
  application_.timesStarted = 5;
  application_.skipInitialSelfUpdate = false;
  DialogAnswerer boxes("Drovane Client", {IDOK});
  MainForm form(&application_);
  form.CreateModeless(nullptr);
  EXPECT_EQ(boxes.Texts(), std::vector<std::string>{
                               "Could not process update list.\n\nPlease try again later."});
  EXPECT_NE(form.hwnd, nullptr);
  MSG message;
  EXPECT_FALSE(PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
  EXPECT_FALSE(FileExists(AddonPath("core.lua")));
}

}  // namespace
}  // namespace drovane
