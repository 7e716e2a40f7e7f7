#include "support/TempFolder.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "app/DataFile.h"
#include "app/FileSystem.h"
#include "app/Md5.h"

namespace drovane::test {

TempFolder::TempFolder() {
  char base[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, base);
  static unsigned counter = 0;
  path_ = std::string(base) + "drovane-test-" + std::to_string(GetCurrentProcessId()) + "-" +
          std::to_string(++counter);
  RemoveTree(path_);
  CreateDirectoryTree(path_);
}

TempFolder::~TempFolder() {
  RemoveTree(path_);
}

void WriteTestFile(const std::string& path, const std::string& content) {
  DataFile file;
  ASSERT_TRUE(file.Open(path, FileMode::Write | FileMode::CreateDirs)) << path;
  ASSERT_TRUE(file.Write(content)) << path;
}

std::string ReadTestFile(const std::string& path) {
  std::string content;
  EXPECT_TRUE(ReadWholeFile(path, content)) << path;
  return content;
}

void RemoveTree(const std::string& path) {
  for (const FolderEntry& entry : ListFolder(path)) {
    const std::string child = path + "\\" + entry.name;
    if (entry.isDirectory) {
      RemoveTree(child);
    } else {
      SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileA(child.c_str());
    }
  }
  RemoveDirectoryA(path.c_str());
}

}  // namespace drovane::test
