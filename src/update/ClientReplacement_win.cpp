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

bool IsRenamedAsideClient(const std::string& candidate, const std::string& executable) {
  static const std::string kSuffix = ".delete";
  if (executable.empty() || candidate.size() != executable.size() + 32 + kSuffix.size() ||
      lstrcmpiA(candidate.substr(0, executable.size()).c_str(), executable.c_str()) != 0 ||
      candidate.compare(candidate.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0) {
    return false;
  }
  for (size_t i = executable.size(); i < executable.size() + 32; ++i) {
    const char c = candidate[i];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

std::string RestartParameters(const std::string& oldFile, bool mainWindowVisible) {
  return "selfupdate \"" + oldFile + "\" " + (mainWindowVisible ? "normal" : "hidden");
}

}  // namespace drovane
