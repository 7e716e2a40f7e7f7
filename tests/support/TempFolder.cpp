#include "support/TempFolder.h"

#include <windows.h>

#include <gtest/gtest.h>

#include "base/DataFile.h"
#include "base/FileSystem.h"
#include "base/Md5.h"
#include "base/WideText.h"

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
      SetFileAttributesW(Wide(child).c_str(), FILE_ATTRIBUTE_NORMAL);
      DeleteFileW(Wide(child).c_str());
    }
  }
  RemoveDirectoryW(Wide(path).c_str());
}

std::string RenameToWideName(const std::string& path, const std::wstring& newName) {
  const std::wstring from(path.begin(), path.end());
  const std::wstring to = from.substr(0, from.find_last_of(L'\\') + 1) + newName;
  if (!MoveFileW(from.c_str(), to.c_str())) return std::string();
  // Converted here, not with the client's own helpers, which are what the tests look at.
  const int size = WideCharToMultiByte(CP_UTF8, 0, to.c_str(), -1, nullptr, 0, nullptr, nullptr);
  std::string utf8(static_cast<size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, to.c_str(), -1, &utf8[0], size, nullptr, nullptr);
  utf8.pop_back();
  return utf8;
}

}  // namespace drovane::test
