#include "support/GameInstall.h"

#include <windows.h>

#include "base/DataFile.h"
#include "support/Process.h"

namespace drovane::test {

std::string FakeGamePath(const std::string& variant) {
  return ProgramFolder() + "\\fakegame\\" + variant;
}

::testing::AssertionResult InstallFakeGame(const std::string& variant, const std::string& target) {
  CreateDirectoryTree(target.substr(0, target.find_last_of('\\')));
  if (CopyFileA(FakeGamePath(variant).c_str(), target.c_str(), FALSE)) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << "cannot copy " << FakeGamePath(variant) << " to " << target;
}

::testing::AssertionResult MakeInstallation(const std::string& folder, const std::string& options) {
  ChildProcess fixture(Quoted(ProgramFolder() + "\\gamefixture.exe") + " " + options + " " +
                       Quoted(folder));
  if (!fixture.WaitForExit(60000)) return ::testing::AssertionFailure() << "gamefixture hangs";
  if (fixture.exitCode() != 0) {
    return ::testing::AssertionFailure() << "gamefixture failed: " << fixture.exitCode();
  }
  return ::testing::AssertionSuccess();
}

}  // namespace drovane::test
