// A confirmed upload whose bookkeeping meets an add-on file held open by another program: nothing
// is lost or cut, the log says what was not written, and the next run sends the file again.
#include <windows.h>

#include <gtest/gtest.h>

#include "UploadFaultSession.h"

namespace drovane {
namespace {

using test::FaultAddonText;
using test::FaultAddonTextUploaded;
using test::FaultView;
using test::kFaultAddonName;
using test::kFaultWdbName;
using test::LogLines;
using test::ReadTestFile;

class UploadFaultTest : public test::UploadFaultSessionTest {};

TEST_F(UploadFaultTest, AnAddonFileLockedDuringTheCommitKeepsItsTextAndGoesAgainNextRun) {
  HANDLE lock = INVALID_HANDLE_VALUE;
  DWORD probeError = 0;
  FaultView view;
  // The game starts writing its SavedVariables while the service stores the package: the file
  // is held open without any sharing from then until after the commit.
  view.onStatus = [&](const std::string& text) {
    if (text != "Finalizing..." || lock != INVALID_HANDLE_VALUE) return;
    lock = CreateFileA(AddonPath().c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
    // The lock must really keep others out, or this test would prove nothing.
    HANDLE other = CreateFileA(AddonPath().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    probeError = GetLastError();
    if (other != INVALID_HANDLE_VALUE) CloseHandle(other);
  };
  {
    LogLines log;
    EXPECT_EQ(Upload(view), "");
    ASSERT_NE(lock, INVALID_HANDLE_VALUE) << "the upload never reached its answer";
    CloseHandle(lock);
    EXPECT_EQ(probeError, static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_TRUE(log.Has("Transfer successful!"));
    EXPECT_TRUE(log.Has("Unable to open " + AddonPath() + " to change dlUploaded SavedVariable."));
    EXPECT_TRUE(log.Has("\tThe line in the file *should* read (w/o quotes): 'dlUploaded = 3'."));
  }
  EXPECT_EQ(UploadedFiles(2), (std::vector<std::string>{kFaultAddonName, kFaultWdbName}));
  EXPECT_EQ(ReadTestFile(AddonPath()), FaultAddonText());
  EXPECT_FALSE(FileExists(AddonPath() + ".tmp"));
  // The cache records were recorded: they are not what the failed write concerns.
  EXPECT_EQ(ReadTestFile(StatePath())[0], '\x0E');

  // The lock is gone; the next run reads the old line and sends the add-on file once more, and
  // only it.
  NextRun();
  FaultView second;
  EXPECT_EQ(Upload(second), "");
  EXPECT_EQ(UploadedFiles(4), std::vector<std::string>{kFaultAddonName});
  EXPECT_EQ(Uploaded(4, kFaultAddonName), FaultAddonText());
  EXPECT_EQ(ReadTestFile(AddonPath()), FaultAddonTextUploaded());

  NextRun();
  FaultView third;
  EXPECT_EQ(Upload(third), "No data to upload at this time.");
}

}  // namespace
}  // namespace drovane
