// The start-up spine: command-line modes in-process, and the single-instance rule and the hand-over
// after a self-update with real client processes.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <regex>

#include "app/Application.h"
#include "base/DataFile.h"
#include "base/FileLog.h"
#include "base/FileSystem.h"
#include "base/Registry.h"
#include "base/Version.h"
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

// The name the self-update moves the running executable to: beside it, its name followed by 32
// hexadecimal characters and ".delete".
std::string RenamedAsideName() {
  std::string executable;
  EXPECT_TRUE(GetModulePath(executable));
  return executable + "0123456789abcdef0123456789abcdef.delete";
}

TEST_F(StartupTest, SelfUpdateTakesOverOnceTheOldClientQuitsAndDeletesTheOldFile) {
  const std::string oldFile = RenamedAsideName();
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

TEST_F(StartupTest, SelfUpdateDeletesOnlyTheRenamedAsideExecutableBesideItself) {
  test::TempFolder folder;
  const std::string aside = RenamedAsideName();
  const std::string elsewhere =
      folder / aside.substr(aside.find_last_of('\\') + 1);  // the same name in another folder
  std::string upper = aside;
  upper.replace(upper.size() - 8, 1, "A");  // not a digest this client writes
  for (const std::string& named :
       {folder / "old.exe", elsewhere, upper, aside + "x", folder / "..\\old.exe"}) {
    test::WriteTestFile(named, "MZ");
    Application app;
    EXPECT_FALSE(app.HandleArguments({"client", "selfupdate", named}));
    EXPECT_EQ(app.launchMode, LaunchMode::None);
    EXPECT_TRUE(FileExists(named)) << named;
    DeleteFileA(named.c_str());
  }
}

// The client's main window (the owned one of the two windows titled "Drovane Client") of a process.
HWND ClientMainWindow(unsigned long processId, unsigned timeoutMs) {
  for (unsigned waited = 0; waited <= timeoutMs; waited += 50) {
    for (HWND window = FindWindowExA(nullptr, nullptr, MAKEINTATOM(0x8002), kClientName); window;
         window = FindWindowExA(nullptr, window, MAKEINTATOM(0x8002), kClientName)) {
      DWORD owner = 0;
      GetWindowThreadProcessId(window, &owner);
      if (owner == processId && GetWindow(window, GW_OWNER)) return window;
    }
    Sleep(50);
  }
  return nullptr;
}

// The log's lines without their time prefix.
std::vector<std::string> LogLines(const std::string& log) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < log.size()) {
    size_t end = log.find('\n', start);
    if (end == std::string::npos) end = log.size();
    std::string line = log.substr(start, end - start);
    if (std::regex_match(line.substr(0, 11), std::regex(R"(\[\d\d:\d\d:\d\d\] )"))) {
      line = line.substr(11);
    }
    lines.push_back(line);
    start = end + 1;
  }
  return lines;
}

TEST_F(StartupTest, ClientRunWritesDatedLogWithTheStartupLinesInOrder) {
  ChildProcess client(Quoted(ClientPath()) + " skipinitialselfupdate");
  ASSERT_TRUE(client.started());
  HWND window = ClientMainWindow(client.id(), 30000);
  ASSERT_NE(window, nullptr);
  PostMessageA(window, WM_CLOSE, 0, 0);
  ASSERT_TRUE(client.WaitForExit(30000));
  EXPECT_EQ(client.exitCode(), 0);

  std::vector<std::string> logs;
  ASSERT_EQ(FindFiles(false, "*.txt", logs, AppDataDir() + "log"), 1u);
  EXPECT_TRUE(std::regex_match(logs[0], std::regex(R"(/\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d\.txt)")));
  const std::string log = test::ReadTestFile(AppDataDir() + "log" + logs[0]);
  const std::vector<std::string> lines = LogLines(log);
  ASSERT_GE(lines.size(), 4u) << log;
  EXPECT_EQ(lines[0], "Drovane Client launched with 1 argument(s).");
  EXPECT_EQ(lines[1], "\t#1:\tskipinitialselfupdate");
  EXPECT_EQ(lines[2], "");
  EXPECT_EQ(lines[3], "Drovane Client (1.9.01) started.");
  // The windows' lines follow in this order, with the scans' lines between them.
  const char* const expected[] = {"Creating `ContainerForm`.",    "Creating `MainForm`.",
                                  "Normal user client launch.", "Deleted `MainForm`.",
                                  "Deleted `ContainerForm`.",     "Closing application."};
  size_t next = 4;
  for (const char* line : expected) {
    while (next < lines.size() && lines[next] != line) ++next;
    EXPECT_LT(next, lines.size()) << "missing or out of order: " << line << "\n" << log;
  }
  EXPECT_EQ(lines.back(), "Closing application.");
}

TEST_F(StartupTest, SecondPlainStartEndsAtOnceWhileAClientRuns) {
  RunningClient running;
  ChildProcess second(Quoted(ClientPath()));
  ASSERT_TRUE(second.WaitForExit(15000));
  EXPECT_EQ(second.exitCode(), -1);

  // An unknown first argument makes no instance check: this client starts.
  ChildProcess unknown(Quoted(ClientPath()) + " something");
  HWND window = ClientMainWindow(unknown.id(), 30000);
  ASSERT_NE(window, nullptr);
  PostMessageA(window, WM_CLOSE, 0, 0);
  ASSERT_TRUE(unknown.WaitForExit(15000));
  EXPECT_EQ(unknown.exitCode(), 0);
}

TEST_F(StartupTest, SecondStartBringsTheRunningClientsMainWindowToTheFront) {
  // Started minimized to the tray: the main window is hidden.
  const uint32_t preferences = PREF_START_MINIMIZED | PREF_SHOW_IN_TRAY;
  test::WriteRawValue(kOptionsKey, "Preferences",
                      std::string(reinterpret_cast<const char*>(&preferences), 4), REG_DWORD);
  ChildProcess first(Quoted(ClientPath()));
  HWND window = ClientMainWindow(first.id(), 30000);
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(IsWindowVisible(window));
  ChildProcess second(Quoted(ClientPath()));
  ASSERT_TRUE(second.WaitForExit(15000));
  EXPECT_EQ(second.exitCode(), -1);
  EXPECT_TRUE(IsWindowVisible(window));  // the hidden main window, not the host, was shown
  PostMessageA(window, WM_CLOSE, 0, 0);
  ASSERT_TRUE(first.WaitForExit(15000));
}

TEST_F(StartupTest, SelfUpdateThatCannotTakeOverShowsTheErrorAfterFiveSeconds) {
  const std::string oldFile = ClientPath() + "0123456789abcdef0123456789abcdef.delete";
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
