#pragma once
// A game installation for the upload tests: a folder with a real game executable, whose version
// the upload reads.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "base/DataFile.h"
#include "support/Process.h"

namespace drovane::test {

// A game folder with the Live executable (the 7.0.3.22522 fakegame variant).
inline ::testing::AssertionResult InstallGame(const std::string& folder,
                                              const std::string& variant = "Wow.exe",
                                              const std::string& target = "Wow.exe") {
  const std::string source = ProgramFolder() + "\\fakegame\\" + variant;
  CreateDirectoryTree(folder + "\\");
  if (CopyFileA(source.c_str(), (folder + "\\" + target).c_str(), FALSE)) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure() << "cannot copy " << source << " to " << folder;
}

}  // namespace drovane::test
