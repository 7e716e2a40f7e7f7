// Replacing the client executable by renames, on a stand-in file: the names beside it, the
// restore when the second rename fails, and the restart parameters.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include "UpdateTestSupport.h"
#include "app/DataFile.h"
#include "update/ClientReplacement.h"

namespace drovane {
namespace {

using test::FilesMatching;
using test::ReadTestFile;
using test::TempFolder;
using test::WriteTestFile;

// Fails the n-th rename (1-based) and performs the others.
int g_moveCalls = 0;
int g_failingMove = 0;
BOOL WINAPI FailingMove(LPCSTR existing, LPCSTR target) {
  if (++g_moveCalls == g_failingMove) {
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  return MoveFileA(existing, target);
}

class ClientReplacementTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_moveCalls = 0;
    g_failingMove = 0;
    WriteTestFile(exe_, "old client");
  }
  // Names of everything beside the executable.
  std::vector<std::string> Beside() const { return FilesMatching(folder_.path(), "*"); }

  TempFolder folder_;
  const std::string exe_ = folder_ / "DrovaneClient.exe";
};

TEST_F(ClientReplacementTest, NewFileTakesThePlaceAndTheOldOneWaitsBesideItForDeletion) {
  std::string oldFile;
  ASSERT_TRUE(ReplaceExecutable(exe_, "new client", oldFile, &FailingMove));
  EXPECT_EQ(g_moveCalls, 2);
  EXPECT_EQ(ReadTestFile(exe_), "new client");
  // The executable's name, 32 hexadecimal characters and ".delete".
  ASSERT_EQ(oldFile.size(), exe_.size() + 32 + 7) << oldFile;
  EXPECT_EQ(oldFile.substr(0, exe_.size()), exe_);
  EXPECT_TRUE(std::regex_match(oldFile.substr(exe_.size()), std::regex("[0-9a-f]{32}\\.delete")))
      << oldFile;
  EXPECT_EQ(ReadTestFile(oldFile), "old client");
  EXPECT_EQ(Beside().size(), 2u);  // no ".new" file left
}

TEST_F(ClientReplacementTest, AFailedFirstRenameLeavesTheClientAndRemovesTheNewFile) {
  g_failingMove = 1;
  std::string oldFile;
  EXPECT_FALSE(ReplaceExecutable(exe_, "new client", oldFile, &FailingMove));
  EXPECT_EQ(ReadTestFile(exe_), "old client");
  EXPECT_EQ(Beside(), std::vector<std::string>{"DrovaneClient.exe"});
}

TEST_F(ClientReplacementTest, AFailedSecondRenameRestoresTheOldClient) {
  g_failingMove = 2;
  std::string oldFile;
  EXPECT_FALSE(ReplaceExecutable(exe_, "new client", oldFile, &FailingMove));
  EXPECT_EQ(g_moveCalls, 2);
  EXPECT_EQ(ReadTestFile(exe_), "old client");
  EXPECT_FALSE(FileExists(oldFile));
  EXPECT_EQ(Beside(), std::vector<std::string>{"DrovaneClient.exe"});
}

TEST_F(ClientReplacementTest, AReadOnlyClientIsReplacedToo) {
  SetFileAttributesA(exe_.c_str(), FILE_ATTRIBUTE_READONLY);
  std::string oldFile;
  ASSERT_TRUE(ReplaceExecutable(exe_, "new client", oldFile));
  EXPECT_EQ(ReadTestFile(exe_), "new client");
  EXPECT_FALSE(test::IsReadOnly(exe_));
}

TEST_F(ClientReplacementTest, NamesBesideTheClientAreFreeOnes) {
  // The same draw twice: the second time its first name is taken and another is drawn.
  std::srand(7);
  const std::string first = FreeNameBeside(exe_, ".delete");
  WriteTestFile(first, "taken");
  std::srand(7);
  const std::string second = FreeNameBeside(exe_, ".delete");
  EXPECT_NE(second, first);
  EXPECT_FALSE(FileExists(second));
}

TEST(RestartParameters, CarryTheOldFileQuotedAndTheVisibilityWord) {
  EXPECT_EQ(RestartParameters("C:\\Program Files\\Drovane\\c.exeab.delete", true),
            "selfupdate \"C:\\Program Files\\Drovane\\c.exeab.delete\" normal");
  EXPECT_EQ(RestartParameters("C:\\x.delete", false), "selfupdate \"C:\\x.delete\" hidden");
}

}  // namespace
}  // namespace drovane
