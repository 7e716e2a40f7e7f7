// TempFolder for the native build. The tests name files as folder + "\\" + name, as Windows
// does; on Linux a backslash is an ordinary character, so those files land beside the folder as
// "<folder>\<name>". The folder's name is unique, so removing it and every entry whose name
// begins with "<folder>\" removes exactly what the test made.
#include <dirent.h>
#include <ftw.h>
#include <stdlib.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "base/DataFile.h"
#include "support/TempFolder.h"

namespace drovane::test {
namespace {

int RemoveEntry(const char* path, const struct stat*, int, struct FTW*) {
  return std::remove(path);
}

void RemovePath(const std::string& path) {
  nftw(path.c_str(), RemoveEntry, 16, FTW_DEPTH | FTW_PHYS);
}

}  // namespace

TempFolder::TempFolder() {
  const char* base = getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/drovane-native-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  if (mkdtemp(name.data()) == nullptr) {
    ADD_FAILURE() << "mkdtemp failed for " << pattern;
  }
  path_ = name.data();
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
  if (path.empty()) return;
  const size_t slash = path.find_last_of('/');
  const std::string parent = slash == std::string::npos ? "." : path.substr(0, slash);
  const std::string prefix = path.substr(slash == std::string::npos ? 0 : slash + 1) + "\\";
  if (DIR* folder = opendir(parent.c_str())) {
    std::vector<std::string> siblings;
    while (dirent* entry = readdir(folder)) {
      const std::string name = entry->d_name;
      if (name.compare(0, prefix.size(), prefix) == 0) siblings.push_back(parent + "/" + name);
    }
    closedir(folder);
    for (const std::string& sibling : siblings) RemovePath(sibling);
  }
  RemovePath(path);
}

}  // namespace drovane::test
