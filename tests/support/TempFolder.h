#pragma once
// A fresh folder for one test, removed with everything in it afterwards.
#include <string>

namespace drovane::test {

class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // Ends in no separator.
  const std::string& path() const { return path_; }
  // path + "\\" + relative
  std::string operator/(const std::string& relative) const { return path_ + "\\" + relative; }

 private:
  std::string path_;
};

// Writes a file, creating its folders; fails the test when it cannot.
void WriteTestFile(const std::string& path, const std::string& content);
std::string ReadTestFile(const std::string& path);
void RemoveTree(const std::string& path);
// Gives the file or folder at path (ASCII) the name newName in the same folder, through the wide
// function, as the game or Explorer would name it whatever the ANSI code page; returns the new
// path in UTF-8, or "" when the rename failed.
std::string RenameToWideName(const std::string& path, const std::wstring& newName);

}  // namespace drovane::test
