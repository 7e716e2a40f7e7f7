// The bookkeeping of a confirmed upload on a disk that cannot take it: a state folder that turned
// read-only, a drive that is full. Every file keeps its old content whole, the log says what was
// not written, and once the disk takes writes again the next upload and commit complete it.
// The disks are small tmpfs mounts of the host; where mounting is not permitted the tests skip.
#include <windows.h>

#include <gtest/gtest.h>

#include "UploadFaultSession.h"
#include "base/WinHandles.h"
#include "data/UploadedIdSet.h"
#include "upload/UploadBookkeeping.h"

namespace drovane {
namespace {

using test::FaultAddonText;
using test::FaultAddonTextUploaded;
using test::FaultView;
using test::kFaultStateName;
using test::kFaultWdbName;
using test::LogLines;
using test::ReadTestFile;
using test::SameBytes;
using test::WriteTestFile;

class UploadFaultDiskTest : public test::UploadFaultSessionTest {};

TEST_F(UploadFaultDiskTest, AReadOnlyStateFolderKeepsItsIdsAndTheRecordsGoAgainOnceWritable) {
  test::ScratchDisk disk(1024);
  DROVANE_REQUIRE_HOST(disk.answer());
  environment_.stateFolder = disk.path() + "\\cache\\";
  const std::string statePath = environment_.stateFolder + kFaultStateName;

  FaultView first;
  ASSERT_EQ(Upload(first), "");
  const std::string recorded = ReadTestFile(statePath);
  ASSERT_EQ(recorded.size(), 40960u);
  ASSERT_EQ(recorded[0], '\x0E');  // ids 1, 2 and 3

  WriteCreatures({{1, "one"}, {2, "two"}, {3, "three"}, {4, "four"}});
  DROVANE_REQUIRE_HOST(disk.SetReadOnly(true));
  {
    LogLines log;
    FaultView second;
    EXPECT_EQ(Upload(second), "");
    EXPECT_TRUE(log.Has("Unable to save the upload state " + statePath + "."));
  }
  EXPECT_EQ(UploadedFiles(4), std::vector<std::string>{kFaultWdbName});
  EXPECT_TRUE(SameBytes(ReadTestFile(statePath), recorded));

  DROVANE_REQUIRE_HOST(disk.SetReadOnly(false));
  NextRun();
  FaultView third;
  EXPECT_EQ(Upload(third), "");
  // Record 4 goes again: the state file never recorded it.
  EXPECT_EQ(UploadedFiles(6), std::vector<std::string>{kFaultWdbName});
  EXPECT_TRUE(SameBytes(Uploaded(6, kFaultWdbName), test::WdbHeader(test::kFaultBuild) +
                                                        test::WdbRecordBytes({4, "four"}) +
                                                        std::string(8, '\0')));
  std::string expected = recorded;
  expected[0] = '\x1E';
  EXPECT_TRUE(SameBytes(ReadTestFile(statePath), expected));
  EXPECT_FALSE(FileExists(statePath + ".tmp"));
}

// A long add-on file: many lines of loot after the upload line.
std::string LargeAddonText() {
  std::string text =
      "dlVersion = 6\r\ndlUploaded = 0\r\ndlStats = \"1^2^3^4^5^6\"\r\ndlLoot = {\r\n";
  for (int i = 0; text.size() < 100000; ++i) text += "\t\"item:" + std::to_string(i) + "\",\r\n";
  return text + "}\r\n";
}

std::string Uploaded3(std::string text) {
  return text.replace(text.find("dlUploaded = 0"), 14, "dlUploaded = 3");
}

TEST_F(UploadFaultDiskTest, AFullDriveKeepsEveryFileWholeAndTheNextCommitCompletesIt) {
  test::ScratchDisk disk(512);
  DROVANE_REQUIRE_HOST(disk.answer());
  test::MappedDrive drive(disk.path());
  DROVANE_REQUIRE_HOST(drive.answer());
  const std::string game = drive.root() + "\\Game";
  const std::string stateFolder = drive.root() + "\\cache\\";
  const std::string small = SavedVariablesPath(game, "SMALL");
  const std::string large = SavedVariablesPath(game, "LARGE");
  const std::string statePath = stateFolder + kFaultStateName;
  WriteTestFile(small, FaultAddonText());
  WriteTestFile(large, LargeAddonText());
  UploadedIdSet old("creaturecache.wdb", "enUS", test::kFaultBuild);
  old.Add(1);
  ASSERT_TRUE(old.Save(stateFolder));
  const std::string oldState = ReadTestFile(statePath);

  const auto commit = [&] {
    IdSetList sets;
    sets.sets.push_back(old);
    for (int32_t id = 2; id <= 4000; ++id) sets.sets.back().Add(id);
    SaveIdSets(sets, stateFolder);
    UploadStateMap states{{small, 3}, {large, 3}};
    std::string folders[kEditionCount];
    folders[Live] = game;
    WriteUploadedLines(folders, states);
  };

  ASSERT_GT(test::FillDisk(drive.root()), 0);
  {
    // Really full: not one more byte fits.
    KernelHandle probe(CreateFileA((drive.root() + "\\probe").c_str(), GENERIC_WRITE, 0, nullptr,
                                   CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    ASSERT_FALSE(probe.valid() && WriteFile(probe.get(), "x", 1, &written, nullptr) && written);
  }
  DeleteFileA((drive.root() + "\\probe").c_str());
  {
    LogLines log;
    commit();
    EXPECT_TRUE(log.Has("Unable to save the upload state " + statePath + "."));
    for (const std::string& path : {small, large}) {
      EXPECT_TRUE(log.Has("Unable to open " + path + " to the new dlUploaded SavedVariable value."))
          << path;
    }
    EXPECT_TRUE(log.Has("\tThe line in the file *should* read (w/o quotes): 'dlUploaded = 3'."));
  }
  EXPECT_TRUE(SameBytes(ReadTestFile(small), FaultAddonText()));
  EXPECT_TRUE(SameBytes(ReadTestFile(large), LargeAddonText()));
  EXPECT_TRUE(SameBytes(ReadTestFile(statePath), oldState));
  for (const std::string& path : {small, large, statePath}) {
    EXPECT_FALSE(FileExists(path + ".tmp")) << path;
  }

  // Space again: the next commit writes everything.
  ASSERT_TRUE(DeleteFileA((drive.root() + "\\filler").c_str()));
  commit();
  EXPECT_TRUE(SameBytes(ReadTestFile(small), FaultAddonTextUploaded()));
  EXPECT_TRUE(SameBytes(ReadTestFile(large), Uploaded3(LargeAddonText())));
  UploadedIdSet now("creaturecache.wdb", "enUS", test::kFaultBuild);
  ASSERT_TRUE(now.Load(stateFolder));
  EXPECT_TRUE(now.Contains(1) && now.Contains(2) && now.Contains(4000));
  EXPECT_FALSE(now.Contains(4001));
}

}  // namespace
}  // namespace drovane
