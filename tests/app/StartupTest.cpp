// The start-up spine: command-line modes in-process, and the single-instance rule and the hand-over
// after a self-update with real client processes.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <regex>

#include "app/Application.h"
#include "app/DataFile.h"
#include "app/FileLog.h"
#include "app/FileSystem.h"
#include "app/Version.h"
#include "support/CleanSettings.h"
#include "support/DialogAnswerer.h"
#include "support/Process.h"
#include "support/TempFolder.h"

namespace drovane {
namespace {

using test::ChildProcess;
using test::Quoted;

std::string ClientPath() {
  return test::ProgramFolder() + "\\DrovaneClient.exe";
}

// Holds the client's instance name as a running client would.
class RunningClient {
 public:
  RunningClient() : mutex_(CreateMutexA(nullptr, FALSE, kClientName)) {}
  void Quit() { mutex_.reset(); }

 private:
  KernelHandle mutex_;
};

class StartupTest : public test::CleanSettingsTest {};

TEST_F(StartupTest, SkipInitialSelfUpdateSetsFlagAndMode) {
  struct Case {
    std::vector<std::string> arguments;
    LaunchMode mode;
  } cases[] = {
      {{"client", "skipinitialselfupdate"}, LaunchMode::None},
      {{"client", "skipinitialselfupdate", "normal"}, LaunchMode::Normal},
      {{"client", "skipinitialselfupdate", "hidden"}, LaunchMode::Hidden},
      {{"client", "skipinitialselfupdate", "NORMAL"}, LaunchMode::Hidden},
  };
  RunningClient other;  // no instance check is made for this switch
  for (const Case& c : cases) {
    Application app;
    EXPECT_FALSE(app.HandleArguments(c.arguments));
    EXPECT_TRUE(app.skipInitialSelfUpdate);
    EXPECT_EQ(app.launchMode, c.mode);
  }
}

TEST_F(StartupTest, CommandLineIsLoggedArgumentByArgument) {
  const size_t before = Log().Pending().size();
  Application app;
  app.HandleArguments({"C:\\client.exe", "unknown", "two words"});
  const std::string logged = Log().Pending().substr(before);
  EXPECT_TRUE(std::regex_match(logged, std::regex("\\[\\d\\d:\\d\\d:\\d\\d\\] Drovane Client "
                                                  "launched with 2 argument\\(s\\)\\.\n"
                                                  "\t#1:\tunknown\n\t#2:\ttwo words\n\n")))
      << logged;
}

TEST_F(StartupTest, PlainStartHoldsTheInstanceNameUntilItEnds) {
  {
    Application first;
    EXPECT_FALSE(first.HandleArguments({"client"}));
    Application second;
    EXPECT_TRUE(second.HandleArguments({"client"}));
    Application unknown;  // an unknown first argument makes no instance check
    EXPECT_FALSE(unknown.HandleArguments({"client", "whatever"}));
  }
  Application again;
  EXPECT_FALSE(again.HandleArguments({"client"}));
}

TEST_F(StartupTest, SelfUpdateTakesOverOnceTheOldClientQuitsAndDeletesTheOldFile) {
  test::TempFolder folder;
  const std::string oldFile = folder / "old client.exe";
  test::WriteTestFile(oldFile, "MZ");
  RunningClient old;
  std::thread quitter([&old] {
    Sleep(400);
    old.Quit();
  });
  Application app;
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(app.HandleArguments({"client", "selfupdate", oldFile, "normal"}));
  quitter.join();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3));
  EXPECT_EQ(app.launchMode, LaunchMode::Normal);
  EXPECT_FALSE(FileExists(oldFile));
  Application next;  // the new client now holds the name
  EXPECT_TRUE(next.HandleArguments({"client"}));
}

TEST_F(StartupTest, SelfUpdateWithOnlyTheFileKeepsModeNone) {
  test::TempFolder folder;
  test::WriteTestFile(folder / "old.exe", "MZ");
  Application app;
  EXPECT_FALSE(app.HandleArguments({"client", "selfupdate", folder / "old.exe"}));
  EXPECT_EQ(app.launchMode, LaunchMode::None);
  EXPECT_FALSE(FileExists(folder / "old.exe"));
}

TEST_F(StartupTest, ClientRunWritesDatedLogWithTheStartupLinesInOrder) {
  ChildProcess client(Quoted(ClientPath()));
  ASSERT_TRUE(client.started());
  ASSERT_TRUE(client.WaitForExit(30000));
  EXPECT_EQ(client.exitCode(), 0);

  std::vector<std::string> logs;
  ASSERT_EQ(FindFiles(false, "*.txt", logs, AppDataDir() + "log"), 1u);
  EXPECT_TRUE(std::regex_match(logs[0], std::regex(R"(/\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d\.txt)")));
  const std::string log = test::ReadTestFile(AppDataDir() + "log" + logs[0]);
  const std::string t = "\\[\\d\\d:\\d\\d:\\d\\d\\] ";
  EXPECT_TRUE(std::regex_match(
      log,
      std::regex(t + "Drovane Client launched with 0 argument\\(s\\)\\.\n\n" + t +
                 "Drovane Client \\(1\\.9\\.01\\) started\\.\n" + t + "Closing application\\.\n")))
      << log;
}

TEST_F(StartupTest, SecondPlainStartEndsAtOnceWhileAClientRuns) {
  RunningClient running;
  ChildProcess second(Quoted(ClientPath()));
  ASSERT_TRUE(second.WaitForExit(15000));
  EXPECT_EQ(second.exitCode(), -1);

  ChildProcess unknown(Quoted(ClientPath()) + " something");
  ASSERT_TRUE(unknown.WaitForExit(15000));
  EXPECT_EQ(unknown.exitCode(), 0);
}

TEST_F(StartupTest, SelfUpdateThatCannotTakeOverShowsTheErrorAfterFiveSeconds) {
  test::TempFolder folder;
  const std::string oldFile = folder / "DrovaneClient.old";
  test::WriteTestFile(oldFile, "MZ");
  RunningClient neverQuits;
  test::DialogAnswerer answerer(kClientName, {IDOK});
  const auto start = std::chrono::steady_clock::now();
  ChildProcess client(Quoted(ClientPath()) + " selfupdate " + Quoted(oldFile) + " hidden");
  ASSERT_TRUE(client.WaitForExit(30000));
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(client.exitCode(), -1);
  EXPECT_GE(waited, std::chrono::milliseconds(5000));
  EXPECT_FALSE(FileExists(oldFile));
  ASSERT_EQ(answerer.Texts().size(), 1u);
  EXPECT_EQ(answerer.Texts()[0],
            "The Client failed to self-update.\r\nPlease restart it manually.");
}

}  // namespace
}  // namespace drovane
