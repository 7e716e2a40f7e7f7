#include "app/StateFileUpgrade.h"

#include <windows.h>

#include <vector>

#include "base/DataFile.h"
#include "base/FileSystem.h"
#include "base/Md5.h"
#include "base/WideText.h"

namespace drovane {
namespace {

// The folder to list: an empty data folder means the current directory.
std::string ListingRoot(const std::string& folder) {
  if (folder.empty()) return ".";
  std::string root = folder;
  while (!root.empty() && (root.back() == '\\' || root.back() == '/')) root.pop_back();
  return root;
}

void MoveUnlessTaken(const std::string& from, const std::string& to) {
  if (FileExists(to)) {
    DeleteFileW(Wide(from).c_str());
  } else {
    MoveFileW(Wide(from).c_str(), Wide(to).c_str());
  }
}

// Listed names begin with "/" and end in ".dat" (any letter case).
std::string BaseName(const std::string& listed) {
  return listed.substr(1, listed.size() - 1 - 4);
}

}  // namespace

void MoveOldStateFiles(const std::string& appDataDir) {
  const std::string stateFolder = appDataDir + "cache\\";
  std::vector<std::string> found;

  if (FindFiles(false, "*.dat", found, ListingRoot(appDataDir)) > 0) {
    CreateDirectoryTree(stateFolder);
    for (const std::string& listed : found) {
      MoveUnlessTaken(appDataDir + listed.substr(1), stateFolder + Md5Hex(BaseName(listed)));
    }
  }

  FindFiles(false, "*.dat", found, ListingRoot(stateFolder));
  for (const std::string& listed : found) {
    MoveUnlessTaken(stateFolder + listed.substr(1), stateFolder + BaseName(listed));
  }
}

}  // namespace drovane
