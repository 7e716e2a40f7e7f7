#include "update/ClientReplacement.h"

#include "app/DataFile.h"
#include "app/Md5.h"
#include "update/InstalledFiles.h"

namespace drovane {

std::string FreeNameBeside(const std::string& executable, const char* suffix) {
  std::string name;
  do {
    name = executable + RandomMd5Hex() + suffix;
  } while (FileExists(name));
  return name;
}

bool ReplaceExecutable(const std::string& executable, const std::string& content,
                       std::string& oldFile, MoveFunction move) {
  oldFile = FreeNameBeside(executable, ".delete");
  const std::string newFile = FreeNameBeside(executable, ".new");
  if (!WriteWholeFile(newFile, content)) {
    DeleteFileA(newFile.c_str());
    return false;
  }
  SetFileAttributesA(executable.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!move(executable.c_str(), oldFile.c_str())) {
    DeleteFileA(newFile.c_str());
    return false;
  }
  if (!move(newFile.c_str(), executable.c_str())) {
    // Without this the client would be gone from its place: put the old one back.
    MoveFileA(oldFile.c_str(), executable.c_str());
    DeleteFileA(newFile.c_str());
    return false;
  }
  return true;
}

std::string RestartParameters(const std::string& oldFile, bool mainWindowVisible) {
  return "selfupdate \"" + oldFile + "\" " + (mainWindowVisible ? "normal" : "hidden");
}

}  // namespace drovane
