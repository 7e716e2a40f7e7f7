// The client replacement for real: a stand-in of the client (updateprobe) is copied to a folder
// of its own, a different build of it is published, and it is run. It must write the new build
// beside itself and start it; the new build must take the executable's place once the old one
// has ended and start the client there, which takes over and finishes the update with the add-on
// installed. Killed at any step, a client that starts is at the executable's path.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "UpdateTestSupport.h"
#include "base/DataFile.h"
#include "support/DialogAnswerer.h"
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

  // Then the new build, started beside the executable, and the client it started there.
  std::vector<unsigned long> others;
  for (const std::string& line : Lines(Report())) {
    const unsigned long id = std::stoul(line.substr(0, line.find(':')));
    if (id != old.id() && std::find(others.begin(), others.end(), id) == others.end()) {
      others.push_back(id);
    }
  }
  ASSERT_EQ(others.size(), 2u) << Report();
  EXPECT_EQ(LinesOf(others[0]),
            (std::vector<std::string>{"start selfupdate-install normal", "end start-up"}))
      << Report();
  const std::vector<std::string> second = LinesOf(others[1]);
  ASSERT_GE(second.size(), 2u) << Report();
  // "start selfupdate <executable><32 hex>.new normal": where the new build was written.
  const std::string start = second[0];
  const std::string prefix = "start selfupdate " + exe_;
  ASSERT_EQ(start.compare(0, prefix.size(), prefix), 0) << start;
  EXPECT_EQ(start.size(), prefix.size() + 32 + std::string(".new normal").size()) << start;
  EXPECT_EQ(start.substr(start.size() - 11), ".new normal");
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

TEST_F(ClientRestartTest, ANewBuildThatCannotTakeThePlaceLeavesTheOldClientAndSaysSo) {
  test::ScopedEnvironment live("UPDATEPROBE_LIVE", games_.path());
  test::ScopedEnvironment failing("UPDATEPROBE_FAIL_MOVE", "1");
  test::DialogAnswerer boxes("Drovane Client", {IDOK});
  test::ChildProcess old(test::Quoted(exe_));
  ASSERT_TRUE(old.started());
  ASSERT_TRUE(old.WaitForExit(60000));
  EXPECT_EQ(old.exitCode(), 0);  // it started the new build and ended
  ASSERT_TRUE(WaitForLine("end start-up", 30000)) << Report();
  ASSERT_TRUE(boxes.WaitForBoxes(1, 5000));
  EXPECT_EQ(boxes.Texts()[0], "The Client failed to self-update.\r\nPlease restart it manually.");
  EXPECT_EQ(ReadTestFile(exe_), probe_);
  EXPECT_EQ(Report().find("start selfupdate "), std::string::npos);  // nothing restarted
  EXPECT_FALSE(FileExists(games_.path() + kAddonPath));
}

TEST_F(ClientRestartTest, AClientKilledAtAnyStepOfTheSwapLeavesOneThatStartsAtItsPath) {
  test::ScopedEnvironment live("UPDATEPROBE_LIVE", games_.path());
  const std::pair<std::string, std::string> steps[] = {
      {"written", probe_}, {"before-rename", probe_}, {"after-rename", published_}};
  for (const auto& [step, expected] : steps) {
    {
      test::ScopedEnvironment kill("UPDATEPROBE_KILL_AT", step);
      test::ChildProcess started(test::Quoted(exe_));
      ASSERT_TRUE(started.started());
      ASSERT_TRUE(started.WaitForExit(60000));
      ASSERT_TRUE(WaitForLine("killed at step " + step, 30000)) << Report();
      Sleep(500);  // the killed process is gone
    }
    // Whole, and the build it was before or after the rename.
    EXPECT_TRUE(ReadTestFile(exe_) == expected) << step;
    // The client at the path starts and brings itself and the add-on up to date.
    test::ChildProcess next(test::Quoted(exe_));
    ASSERT_TRUE(next.started());
    ASSERT_TRUE(next.WaitForExit(60000));
    EXPECT_EQ(next.exitCode(), 0) << Report();
    ASSERT_TRUE(WaitForLine("end phase=3", 60000)) << Report();
    Sleep(1000);  // a restarted client ends after its last line
    EXPECT_EQ(ReadTestFile(exe_), published_) << step;
    EXPECT_EQ(ReadTestFile(games_.path() + kAddonPath), "the add-on") << step;
    // Back to the old build for the next step.
    ASSERT_TRUE(CopyFileA((test::ProgramFolder() + "\\updateprobe.exe").c_str(), exe_.c_str(),
                          FALSE));
    DeleteFileA((games_.path() + kAddonPath).c_str());
    DeleteFileA((app_ / "updateprobe-report.txt").c_str());
  }
}

}  // namespace
}  // namespace drovane
