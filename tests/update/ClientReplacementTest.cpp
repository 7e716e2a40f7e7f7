// The pieces of the client replacement, on stand-in files: the new client written beside the
// executable, the names it may stand for, its one-step rename over the executable, and the
// parameters of the starts.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <regex>

#include "UpdateTestSupport.h"
#include "base/DataFile.h"
#include "update/ClientReplacement.h"

namespace drovane {
namespace {

using test::FilesMatching;
using test::ReadTestFile;
using test::TempFolder;
using test::WriteTestFile;

// Fails the first `g_refusals` renames (as a file still held does), then renames.
int g_moveCalls = 0;
int g_refusals = 0;
BOOL WINAPI RefusingMove(LPCSTR existing, LPCSTR target) {
  if (++g_moveCalls <= g_refusals) {
    SetLastError(ERROR_SHARING_VIOLATION);
    return FALSE;
  }
  return RenameReplacing(existing, target);
}

class ClientReplacementTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_moveCalls = 0;
    g_refusals = 0;
    WriteTestFile(exe_, "old client");
  }
  // Names of everything beside the executable.
  std::vector<std::string> Beside() const { return FilesMatching(folder_.path(), "*"); }

  TempFolder folder_;
  const std::string exe_ = folder_ / "DrovaneClient.exe";
};

TEST_F(ClientReplacementTest, TheNewClientIsWrittenBesideAndTakesThePlaceInOneRename) {
  std::string newFile;
  ASSERT_TRUE(WriteNewClientBeside(exe_, "new client", newFile));
  // The executable's name, 32 hexadecimal characters and ".new".
  ASSERT_EQ(newFile.size(), exe_.size() + 32 + 4) << newFile;
  EXPECT_TRUE(std::regex_match(newFile.substr(exe_.size()), std::regex("[0-9a-f]{32}\\.new")));
  EXPECT_EQ(ReadTestFile(newFile), "new client");
  EXPECT_EQ(ReadTestFile(exe_), "old client");  // untouched until the new one takes over

  std::string target;
  ASSERT_TRUE(ExecutableOfNewClient(newFile, target));
  EXPECT_EQ(target, exe_);
  SetFileAttributesA(exe_.c_str(), FILE_ATTRIBUTE_READONLY);
  g_refusals = 2;  // the old client's file is still held for a moment
  ASSERT_TRUE(TakeExecutablePlace(newFile, target, &RefusingMove, 5, 1));
  EXPECT_EQ(g_moveCalls, 3);
  EXPECT_EQ(ReadTestFile(exe_), "new client");
  EXPECT_EQ(Beside(), std::vector<std::string>{"DrovaneClient.exe"});
}

TEST_F(ClientReplacementTest, ARenameRefusedEveryTimeLeavesTheOldClientInPlace) {
  std::string newFile;
  ASSERT_TRUE(WriteNewClientBeside(exe_, "new client", newFile));
  g_refusals = 100;
  EXPECT_FALSE(TakeExecutablePlace(newFile, exe_, &RefusingMove, 3, 1));
  EXPECT_EQ(g_moveCalls, 3);
  EXPECT_EQ(ReadTestFile(exe_), "old client");
}

TEST_F(ClientReplacementTest, ANewClientStandsOnlyForTheExecutableBesideIt) {
  std::string target;
  const std::string hex = "0123456789abcdef0123456789abcdef";
  EXPECT_TRUE(ExecutableOfNewClient(exe_ + hex + ".new", target));
  EXPECT_EQ(target, exe_);
  for (const std::string& name :
       {exe_ + hex + ".delete", exe_ + "g" + hex.substr(1) + ".new", exe_ + "0123456789ABCDEF" +
        hex.substr(16) + ".new", exe_ + hex + ".new.exe", std::string(".new"), std::string()}) {
    EXPECT_FALSE(ExecutableOfNewClient(name, target)) << name;
  }
  EXPECT_TRUE(IsRenamedAsideClient(exe_ + hex + ".delete", exe_));
  EXPECT_FALSE(IsRenamedAsideClient(folder_ / ("other.exe" + hex + ".delete"), exe_));
  EXPECT_FALSE(IsRenamedAsideClient(exe_ + hex + ".new", exe_));
}

TEST_F(ClientReplacementTest, NamesBesideTheClientAreFreeOnes) {
  // The same draw twice: the second time its first name is taken and another is drawn.
  std::srand(7);
  const std::string first = FreeNameBeside(exe_, ".new");
  WriteTestFile(first, "taken");
  std::srand(7);
  const std::string second = FreeNameBeside(exe_, ".new");
  EXPECT_NE(second, first);
  EXPECT_FALSE(FileExists(second));
}

TEST(RestartParameters, CarryTheVisibilityWordAndAnyOldFileQuoted) {
  EXPECT_EQ(InstallParameters(true), "selfupdate-install normal");
  EXPECT_EQ(InstallParameters(false), "selfupdate-install hidden");
  EXPECT_EQ(RestartParameters("C:\\c.exe0123.new", true), "selfupdate \"C:\\c.exe0123.new\" normal");
  EXPECT_EQ(RestartParameters("C:\\Program Files\\Drovane\\c.exeab.delete", false),
            "selfupdate \"C:\\Program Files\\Drovane\\c.exeab.delete\" hidden");
}

}  // namespace
}  // namespace drovane
