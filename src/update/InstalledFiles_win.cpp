#include "update/InstalledFiles.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "app/DataFile.h"
#include "app/FileSystem.h"
#include "app/Md5.h"
#include "app/WinHandles.h"

namespace drovane {
namespace {

constexpr char kTemporarySuffix[] = ".tmp";

// Clears read-only (and hidden or system) so the file can be replaced.
void MakeWritable(const std::string& path) {
  SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
}

bool MoveIntoPlace(const std::string& temporary, const std::string& target) {
  MakeWritable(target);
  if (MoveFileExA(temporary.c_str(), target.c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  DeleteFileA(temporary.c_str());
  return false;
}

// The installations a game entry serves, as local paths, in the order Live, PTR, Beta.
std::vector<std::string> InstalledPaths(const UpdateEntry& entry, const GameFolders& gameFolders) {
  std::vector<std::string> paths;
  for (GameEdition edition : kEditions) {
    if ((entry.installMask & EditionBit(edition)) && !gameFolders[edition].empty()) {
      paths.push_back(GameFilePath(entry, gameFolders[edition]));
    }
  }
  return paths;
}

bool HasDigest(const std::string& path, const std::string& md5) {
  std::string digest;
  return FileDigest(path, digest) && digest == md5;
}

void CheckGameEntry(UpdateEntry& entry, const GameFolders& gameFolders) {
  const std::vector<std::string> paths = InstalledPaths(entry, gameFolders);
  if (paths.empty()) return;
  size_t good = 0;
  while (good < paths.size() && !HasDigest(paths[good], entry.md5)) ++good;
  if (good == paths.size()) {
    entry.installMask |= kNeedsDownload;
    return;
  }
  // Bring the other installations up to date from the good copy. The ones before it were found
  // different; the ones after it are compared first, so a current file is not rewritten every
  // run. A failed copy is not reported: the next run finds the difference again and downloads.
  for (size_t i = 0; i < paths.size(); ++i) {
    if (i == good || paths[i] == paths[good]) continue;
    if (i > good && HasDigest(paths[i], entry.md5)) continue;
    CreateDirectoryTree(FolderOf(paths[i]));
    CopyFileInPlace(paths[good], paths[i]);
  }
}

}  // namespace

bool WriteWholeFile(const std::string& path, const std::string& content) {
  KernelHandle file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  constexpr size_t kPiece = 1 << 20;
  for (size_t done = 0; done < content.size();) {
    const DWORD piece = static_cast<DWORD>(std::min(kPiece, content.size() - done));
    DWORD written = 0;
    if (!WriteFile(file.get(), content.data() + done, piece, &written, nullptr) || written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

bool FileDigest(const std::string& path, std::string& md5) {
  std::string content;
  if (!ReadWholeFile(path, content)) return false;
  md5 = Md5Hex(content);
  return true;
}

void CheckEntry(UpdateEntry& entry, const GameFolders& gameFolders, const std::string& appDataDir,
                const std::string& systemFolder) {
  if (entry.installMask & kGameBits) {
    CheckGameEntry(entry, gameFolders);
    return;
  }
  entry.targetDir = OtherFileFolder(entry.targetDir, appDataDir, systemFolder);
  if (!HasDigest(entry.targetDir + entry.fileName, entry.md5)) entry.installMask |= kNeedsDownload;
}

bool StoreEntry(const UpdateEntry& entry, const std::string& content,
                const GameFolders& gameFolders) {
  if (entry.installMask & kGameBits) {
    for (const std::string& path : InstalledPaths(entry, gameFolders)) {
      CreateDirectoryTree(FolderOf(path));
      if (!WriteFileInPlace(path, content)) return false;
    }
    return true;
  }
  CreateDirectoryTree(entry.targetDir);
  return WriteFileInPlace(entry.targetDir + entry.fileName, content);
}

bool WriteFileInPlace(const std::string& path, const std::string& content) {
  const std::string temporary = path + kTemporarySuffix;
  MakeWritable(temporary);
  if (!WriteWholeFile(temporary, content)) {
    DeleteFileA(temporary.c_str());
    return false;
  }
  return MoveIntoPlace(temporary, path);
}

bool CopyFileInPlace(const std::string& source, const std::string& target) {
  const std::string temporary = target + kTemporarySuffix;
  MakeWritable(temporary);
  if (!CopyFileA(source.c_str(), temporary.c_str(), FALSE)) {
    DeleteFileA(temporary.c_str());
    return false;
  }
  // A copy takes the source's attributes; a read-only add-on file must not spread.
  MakeWritable(temporary);
  return MoveIntoPlace(temporary, target);
}

}  // namespace drovane
