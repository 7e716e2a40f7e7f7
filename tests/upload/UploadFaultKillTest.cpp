// The bookkeeping of a confirmed upload killed at any moment (tools/commitprobe runs it in a
// process of its own, over many add-on and state files): every file is afterwards exactly its
// old or its new content, never cut, and the next run sends and then records what the files do
// not yet record.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "UploadFaultSession.h"
#include "base/WinHandles.h"
#include "data/UploadedIdSet.h"
#include "upload/UploadPackage.h"

namespace drovane {
namespace {

using test::Quoted;
using test::ReadTestFile;
using test::SameBytes;
using test::TempFolder;
using test::WriteTestFile;

constexpr int kAccounts = 120;
constexpr int kStateFiles = 24;
constexpr int kKillRounds = 12;

std::string AccountName(int i) {
  char name[16];
  std::snprintf(name, sizeof name, "ACCOUNT%03d", i);
  return name;
}

// Add-on files of different lengths (about 8 to 40 KB), each with its own bytes.
std::string AddonText(int i, int uploaded) {
  std::string text = "dlVersion = 6\r\ndlUploaded = " + std::to_string(uploaded) +
                     "\r\ndlStats = \"" + std::to_string(i + 1) + "^2^3^4^5^6\"\r\ndlLoot = {\r\n";
  const size_t size = 8000 + static_cast<size_t>(i) * 271;
  for (int item = 0; text.size() < size; ++item) {
    text += "\t\"item:" + std::to_string(i * 100000 + item) + "\",\r\n";
  }
  return text + "}\r\n";
}

UploadedIdSet StateSet(int k, bool fresh) {
  UploadedIdSet set("cache" + std::to_string(k) + ".wdb", "enUS", 22522);
  const int32_t last = fresh ? 30000 + k * 100 : 1000 + k * 50;
  for (int32_t id = 1 + k; id <= last; id += 3) set.Add(id);
  return set;
}

class UploadFaultKillTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(test::InstallGame(game()));
    for (int k = 0; k < kStateFiles; ++k) {
      const UploadedIdSet old = StateSet(k, false);
      const UploadedIdSet fresh = StateSet(k, true);
      oldStates_.emplace_back(old.Bytes().begin(), old.Bytes().end());
      newStates_.emplace_back(fresh.Bytes().begin(), fresh.Bytes().end());
      ASSERT_TRUE(fresh.Save(freshFolder()));
    }
  }

  std::string game() const { return root_ / "game"; }
  std::string stateFolder() const { return root_ / "state\\"; }
  std::string freshFolder() const { return root_ / "fresh\\"; }
  std::string AddonPath(int i) const { return SavedVariablesPath(game(), AccountName(i)); }
  std::string StatePath(int k) const { return stateFolder() + StateSet(k, false).StateFileName(); }

  // Every file as it was before the upload.
  void WriteOldFiles() {
    for (int i = 0; i < kAccounts; ++i) WriteTestFile(AddonPath(i), AddonText(i, 1));
    for (int k = 0; k < kStateFiles; ++k) WriteTestFile(StatePath(k), oldStates_[k]);
  }

  // Runs the commit in its own process; with a delay, kills it that many milliseconds after the
  // commit began. Returns the milliseconds from the commit's beginning to its end or kill.
  DWORD RunCommit(int killAfterMs, bool& finished) {
    static int serial = 0;
    const std::string eventName =
        "commitprobe-" + std::to_string(GetCurrentProcessId()) + "-" + std::to_string(++serial);
    KernelHandle started(CreateEventA(nullptr, TRUE, FALSE, eventName.c_str()));
    const std::string command = Quoted(test::ProgramFolder() + "\\commitprobe.exe") + " " +
                                Quoted(game()) + " " + Quoted(root_ / "state") + " 3 " +
                                Quoted(root_ / "fresh") + " " + eventName;
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info = {};
    std::vector<char> line(command.begin(), command.end());
    line.push_back('\0');
    finished = false;
    if (!started.valid() || !CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE,
                                            CREATE_NO_WINDOW, nullptr, nullptr, &startup, &info)) {
      ADD_FAILURE() << "commitprobe did not start: " << GetLastError();
      return 0;
    }
    KernelHandle process(info.hProcess);
    KernelHandle thread(info.hThread);
    HANDLE either[] = {started.get(), process.get()};
    if (WaitForMultipleObjects(2, either, FALSE, 30000) != WAIT_OBJECT_0) {
      TerminateProcess(process.get(), 9);
      ADD_FAILURE() << "commitprobe never began its commit";
      return 0;
    }
    const DWORD start = GetTickCount();
    const DWORD wait = killAfterMs < 0 ? 60000 : static_cast<DWORD>(killAfterMs);
    if (WaitForSingleObject(process.get(), wait) == WAIT_TIMEOUT) {
      TerminateProcess(process.get(), 9);
      EXPECT_EQ(WaitForSingleObject(process.get(), 10000), WAIT_OBJECT_0);
      EXPECT_GE(killAfterMs, 0) << "commitprobe ran for more than a minute";
    } else {
      DWORD code = 1;
      GetExitCodeProcess(process.get(), &code);
      EXPECT_EQ(code, 0u);
      finished = true;
    }
    return GetTickCount() - start;
  }

  // Checks that every file is whole (old or new); counts the new ones.
  struct Outcome {
    int newAddons = 0;
    int newStates = 0;
  };
  Outcome CheckEveryFileWhole(const std::string& round) {
    Outcome outcome;
    for (int i = 0; i < kAccounts; ++i) {
      const std::string text = ReadTestFile(AddonPath(i));
      if (text == AddonText(i, 3)) {
        ++outcome.newAddons;
      } else {
        EXPECT_TRUE(SameBytes(text, AddonText(i, 1))) << round << ": " << AccountName(i);
      }
    }
    for (int k = 0; k < kStateFiles; ++k) {
      const std::string bytes = ReadTestFile(StatePath(k));
      if (bytes == newStates_[k]) {
        ++outcome.newStates;
      } else {
        EXPECT_TRUE(SameBytes(bytes, oldStates_[k])) << round << ": state file " << k;
      }
    }
    return outcome;
  }

  TempFolder root_;
  std::vector<std::string> oldStates_;
  std::vector<std::string> newStates_;
};

TEST_F(UploadFaultKillTest, ACommitKilledAnywhereLeavesWholeFilesAndTheNextRunCompletesIt) {
  // Whole commits, for their length: the shorter of two.
  bool finished = false;
  DWORD whole = 0;
  for (int run = 0; run < 2; ++run) {
    WriteOldFiles();
    const DWORD took = RunCommit(-1, finished);
    ASSERT_TRUE(finished);
    const Outcome done = CheckEveryFileWhole("uninterrupted");
    ASSERT_EQ(done.newAddons, kAccounts);
    ASSERT_EQ(done.newStates, kStateFiles);
    std::printf("a whole commit took %lu ms\n", static_cast<unsigned long>(took));
    whole = run == 0 || took < whole ? took : whole;
  }

  // Killed at moments spread over that length, counted from the commit's beginning. Leftover
  // temporary files of one round stay for the next, as they would after a real crash.
  int interrupted = 0;
  for (int round = 0; round < kKillRounds; ++round) {
    WriteOldFiles();
    const int delay = static_cast<int>(whole * (round + 1) / (kKillRounds + 1));
    const DWORD ran = RunCommit(delay, finished);
    const Outcome outcome = CheckEveryFileWhole("killed after " + std::to_string(delay) + " ms");
    const int written = outcome.newAddons + outcome.newStates;
    std::printf("%s after %d ms (at %lu ms): %d of %d state files, %d of %d add-on files new\n",
                finished ? "ended by itself" : "killed", delay, static_cast<unsigned long>(ran),
                outcome.newStates, kStateFiles, outcome.newAddons, kAccounts);
    if (!finished && written > 0 && written < kAccounts + kStateFiles) ++interrupted;
  }
  // Evidence that the kills fell inside the commit, not only before or after it.
  EXPECT_GT(interrupted, 0);

  // The last round: killed half way. The next run reads the files again: accounts whose file
  // still carries the old line are listed and sent, the others are not.
  WriteOldFiles();
  RunCommit(static_cast<int>(whole / 2), finished);
  CheckEveryFileWhole("killed half way");
  std::set<std::string> unrecorded;
  for (int i = 0; i < kAccounts; ++i) {
    if (ReadTestFile(AddonPath(i)) != AddonText(i, 3)) unrecorded.insert(AccountName(i));
  }
  UploadStateMap states;
  AccountScanSources scan;
  scan.gameFolders[Live] = game();
  std::vector<AccountDataEntry> rows;
  ScanAccounts(scan, states, rows);
  std::set<std::string> listed;
  for (const AccountDataEntry& row : rows) listed.insert(row.accountFolder);
  EXPECT_EQ(listed, unrecorded);

  PackageSources sources;
  sources.gameFolders[Live] = game();
  sources.states = &states;
  IdSetList wdb;
  IdSetList adb;
  PackageSettings settings;
  std::set<std::string> sent;
  BuildUploadPackage(
      sources, wdb, adb,
      [&sent](const std::string& name, const std::string&) { sent.insert(name); }, settings);
  std::set<std::string> expectedSent;
  for (const std::string& account : unrecorded) {
    expectedSent.insert("LIVE_7.0.3.22522_" + account + "_SavedVariables.lua.gz");
  }
  EXPECT_EQ(sent, expectedSent);

  // Its commit runs to the end: everything is recorded and no temporary file is left.
  RunCommit(-1, finished);
  ASSERT_TRUE(finished);
  const Outcome completed = CheckEveryFileWhole("completed");
  EXPECT_EQ(completed.newAddons, kAccounts);
  EXPECT_EQ(completed.newStates, kStateFiles);
  std::vector<std::string> leftovers;
  FindFiles(true, "*.tmp", leftovers, root_.path());
  EXPECT_TRUE(leftovers.empty()) << leftovers.front();
}

}  // namespace
}  // namespace drovane
