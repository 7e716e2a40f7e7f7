// The client replacement for real: a stand-in of the client (updateprobe) is copied to a folder
// of its own, a different build of it is published, and it is run. It must replace itself,
// restart with "selfupdate", and the restarted process must take over, delete the old file and
// finish the update with the add-on installed.
#include <windows.h>

#include <gtest/gtest.h>

#include <sstream>

#include "UpdateTestSupport.h"
#include "app/DataFile.h"
#include "support/Process.h"

namespace drovane {
namespace {

using test::FilesMatching;
using test::ReadTestFile;
using test::TempFolder;
using test::WriteTestFile;

constexpr char kAddonTarget[] = "%WoW%\\Interface\\AddOns\\Drovane_Looter\\";
constexpr char kAddonPath[] = "\\Interface\\AddOns\\Drovane_Looter\\core.lua";

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream stream(text);
  for (std::string line; std::getline(stream, line);) lines.push_back(line);
  return lines;
}

class ClientRestartTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(ReadWholeFile(test::ProgramFolder() + "\\updateprobe.exe", probe_));
    CreateDirectoryTree(app_.path() + "\\");
    ASSERT_TRUE(
        CopyFileA((test::ProgramFolder() + "\\updateprobe.exe").c_str(), exe_.c_str(), FALSE));
    // The same program with bytes appended: it still runs, and its digest differs.
    published_ = probe_ + std::string("\0published build 2\n", 19);
    service_.AddSource("client/updateprobe.exe", published_);
    service_.AddSource("addon/core.lua", "the add-on");
    ASSERT_TRUE(service_.Start("\"client\": \"client/updateprobe.exe\"",
                               {{"addon/core.lua", kAddonTarget}}));
  }

  std::string Report() const {
    std::string text;
    ReadWholeFile(app_ / "updateprobe-report.txt", text);
    return text;
  }

  // Waits until the report holds a line; false at the limit.
  bool WaitForLine(const std::string& line, unsigned timeoutMs) const {
    for (unsigned waited = 0;; waited += 100) {
      for (const std::string& reported : Lines(Report())) {
        if (reported.find(line) != std::string::npos) return true;
      }
      if (waited >= timeoutMs) return false;
      Sleep(100);
    }
  }

  // The report's lines of one process, without its "pid: " prefix.
  std::vector<std::string> LinesOf(unsigned long processId) const {
    const std::string prefix = std::to_string(processId) + ": ";
    std::vector<std::string> lines;
    for (const std::string& line : Lines(Report())) {
      if (line.compare(0, prefix.size(), prefix) == 0) lines.push_back(line.substr(prefix.size()));
    }
    return lines;
  }

  std::string probe_;
  std::string published_;
  TempFolder app_;
  TempFolder games_;
  const std::string exe_ = app_ / "updateprobe.exe";
  test::UpdateService service_;
};

TEST_F(ClientRestartTest, TheClientReplacesItselfRestartsAndTheNewOneInstallsTheAddon) {
  test::ScopedEnvironment live("UPDATEPROBE_LIVE", games_.path());
  test::ScopedEnvironment visible("UPDATEPROBE_VISIBLE", "1");
  test::ChildProcess old(test::Quoted(exe_));
  ASSERT_TRUE(old.started());
  ASSERT_TRUE(old.WaitForExit(60000));
  EXPECT_EQ(old.exitCode(), 0);  // ended by the update, right after the restart
  ASSERT_TRUE(WaitForLine("end phase=", 60000)) << Report();
  Sleep(1000);  // the restarted client ends after its last line

  // The old client ends on the network thread right after the restart, so the messages it had
  // posted last may never have been handled; those handled came in this order.
  const std::vector<std::string> first = LinesOf(old.id());
  ASSERT_GE(first.size(), 2u) << Report();
  EXPECT_EQ(first.front(), "start");
  std::vector<std::string> handled;
  int restarts = 0;
  for (size_t i = 1; i < first.size(); ++i) {
    if (first[i] == "restarting") {
      ++restarts;
    } else {
      handled.push_back(first[i]);
    }
  }
  EXPECT_EQ(restarts, 1) << Report();
  const std::string listSize =
      std::to_string(ReadTestFile(service_.folder() / "files\\updates.dat").size());
  const std::vector<std::string> expectedFirst = {
      "message 2025 0", "message 2028 0",
      "message 2029 0", "message 2031 " + listSize,
      "message 2026 0", "message 2028 0",
      "message 2029 0", "message 2031 " + std::to_string(published_.size()),
  };
  ASSERT_LE(handled.size(), expectedFirst.size()) << Report();
  EXPECT_EQ(handled,
            std::vector<std::string>(expectedFirst.begin(), expectedFirst.begin() + handled.size()))
      << Report();

  // The one other process is the restarted client.
  std::vector<std::string> lines = Lines(Report());
  ASSERT_FALSE(lines.empty());
  const std::string last = lines.back();
  const unsigned long restartedId = std::stoul(last.substr(0, last.find(':')));
  ASSERT_NE(restartedId, old.id());
  const std::vector<std::string> second = LinesOf(restartedId);
  ASSERT_GE(second.size(), 2u) << Report();
  // "start selfupdate <executable><32 hex>.delete normal"
  const std::string start = second[0];
  const std::string prefix = "start selfupdate " + exe_;
  ASSERT_EQ(start.compare(0, prefix.size(), prefix), 0) << start;
  EXPECT_EQ(start.size(), prefix.size() + 32 + std::string(".delete normal").size()) << start;
  EXPECT_EQ(start.substr(start.size() - 14), ".delete normal");
  EXPECT_EQ(second[1], "took over mode=2 old file gone");
  const std::vector<std::string> expectedRun = {
      "message 2025 0",
      "message 2028 0",
      "message 2029 0",
      "message 2031 " + listSize,
      "message 2027 0 Updating core.lua...",
      "message 2028 0",
      "message 2029 0",
      "message 2031 10",  // the size of the file received
      "message 2035 0",
      "message 2037 1",
      "end phase=3",
  };
  EXPECT_EQ(std::vector<std::string>(second.begin() + 2, second.end()), expectedRun) << Report();

  // The executable is the published build; nothing is left beside it.
  EXPECT_EQ(ReadTestFile(exe_), published_);
  EXPECT_TRUE(FilesMatching(app_.path(), "*.delete").empty());
  EXPECT_TRUE(FilesMatching(app_.path(), "*.new").empty());
  // The add-on reached the installation that lacked it.
  EXPECT_EQ(ReadTestFile(games_.path() + kAddonPath), "the add-on");
  ASSERT_TRUE(service_.service().WaitForRequests(4, 5000));
  EXPECT_EQ(service_.RequestPaths(),
            (std::vector<std::string>{"/files/updates.dat", "/files/client/updateprobe.exe",
                                      "/files/updates.dat", "/files/addon/core.lua"}));
}

TEST_F(ClientRestartTest, AFailedSecondRenameKeepsTheOldClientInPlace) {
  test::ScopedEnvironment live("UPDATEPROBE_LIVE", games_.path());
  test::ScopedEnvironment failing("UPDATEPROBE_FAIL_MOVE", "2");
  test::ChildProcess old(test::Quoted(exe_));
  ASSERT_TRUE(old.started());
  ASSERT_TRUE(old.WaitForExit(60000));
  EXPECT_EQ(old.exitCode(), 3);
  const std::vector<std::string> lines = LinesOf(old.id());
  ASSERT_GE(lines.size(), 3u) << Report();
  EXPECT_EQ(lines[lines.size() - 3], "rename refused");
  EXPECT_EQ(lines[lines.size() - 2], "message 2033 0");
  EXPECT_EQ(lines.back(), "end phase=1");
  EXPECT_EQ(Lines(Report()).size(), lines.size());  // no restarted process

  EXPECT_EQ(ReadTestFile(exe_), probe_);
  EXPECT_TRUE(FilesMatching(app_.path(), "*.delete").empty());
  EXPECT_TRUE(FilesMatching(app_.path(), "*.new").empty());
  EXPECT_FALSE(FileExists(games_.path() + kAddonPath));
}

TEST_F(ClientRestartTest, AClientKilledAtAnyStepOfTheSwapLeavesOneThatStartsAtItsPath) {
  test::ScopedEnvironment live("UPDATEPROBE_LIVE", games_.path());
  // Killed before the renames (the new file written and flushed beside the old one: "1") and
  // after them, just before the restart ("0").
  for (const auto& [step, expected] :
       {std::pair<std::string, std::string>{"1", probe_}, {"0", published_}}) {
    {
      test::ScopedEnvironment kill("UPDATEPROBE_KILL_AT", step);
      test::ChildProcess killed(test::Quoted(exe_));
      ASSERT_TRUE(killed.started());
      ASSERT_TRUE(killed.WaitForExit(60000));
      EXPECT_EQ(killed.exitCode(), 9) << Report();
    }
    // Whole, and the build it was before or after the swap.
    EXPECT_TRUE(ReadTestFile(exe_) == expected) << "step " << step;
    // The client at the path starts and brings itself and the add-on up to date.
    test::ChildProcess next(test::Quoted(exe_));
    ASSERT_TRUE(next.started());
    ASSERT_TRUE(next.WaitForExit(60000));
    EXPECT_EQ(next.exitCode(), 0) << Report();
    ASSERT_TRUE(WaitForLine("end phase=3", 60000)) << Report();
    Sleep(1000);  // a restarted client ends after its last line
    EXPECT_EQ(ReadTestFile(exe_), published_) << "step " << step;
    EXPECT_EQ(ReadTestFile(games_.path() + kAddonPath), "the add-on") << "step " << step;
    // Back to the old build for the next step.
    ASSERT_TRUE(CopyFileA((test::ProgramFolder() + "\\updateprobe.exe").c_str(), exe_.c_str(),
                          FALSE));
    DeleteFileA((games_.path() + kAddonPath).c_str());
    DeleteFileA((app_ / "updateprobe-report.txt").c_str());
  }
}

}  // namespace
}  // namespace drovane
