#include "update/InstalledFiles.h"

#include <windows.h>

#include <algorithm>
#include <vector>

#include "base/DataFile.h"
#include "base/Digests.h"
#include "base/FileSystem.h"
#include "base/Md5.h"
#include "base/WideText.h"
#include "base/WinHandles.h"

namespace drovane {
namespace {

// Clears read-only (and hidden or system) so the file can be replaced.
void MakeWritable(const std::string& path) {
  SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_NORMAL);
}

bool MoveIntoPlace(const std::string& temporary, const std::string& target) {
  MakeWritable(target);
  if (MoveFileExW(Wide(temporary).c_str(), Wide(target).c_str(),
                  MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return true;
  }
  DeleteFileW(Wide(temporary).c_str());
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

bool IsCurrent(const std::string& path, const UpdateEntry& entry) {
  return FileMatches(path, entry.size, entry.md5, entry.sha256);
}

// Flushes a copied file before it is renamed into place.
bool FlushToDisk(const std::string& path) {
  KernelHandle file(CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  return file.valid() && FlushFileBuffers(file.get()) && CloseHandle(file.release());
}

void CheckGameEntry(UpdateEntry& entry, const GameFolders& gameFolders) {
  const std::vector<std::string> paths = InstalledPaths(entry, gameFolders);
  if (paths.empty()) return;
  size_t good = 0;
  while (good < paths.size() && !IsCurrent(paths[good], entry)) ++good;
  if (good == paths.size()) {
    entry.installMask |= kNeedsDownload;
    return;
  }
  // Bring the other installations up to date from the good copy. The ones before it were found
  // different; the ones after it are compared first, so a current file is not rewritten every
  // run. A failed copy is not reported: the next run finds the difference again and downloads.
  for (size_t i = 0; i < paths.size(); ++i) {
    if (i == good || paths[i] == paths[good]) continue;
    if (i > good && IsCurrent(paths[i], entry)) continue;
    CreateDirectoryTree(FolderOf(paths[i]));
    CopyFileInPlace(paths[good], paths[i]);
  }
}

}  // namespace

bool WriteWholeFile(const std::string& path, const std::string& content) {
  KernelHandle file(CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
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
  // The data is on the disk before the file is renamed over its target, and a close that fails
  // (a network drive) is a failed write.
  return FlushFileBuffers(file.get()) && CloseHandle(file.release());
}

void CheckEntry(UpdateEntry& entry, const GameFolders& gameFolders, const std::string& appDataDir) {
  if (entry.installMask & kGameBits) {
    CheckGameEntry(entry, gameFolders);
    return;
  }
  entry.targetDir = OtherFileFolder(entry.targetDir, appDataDir);
  if (!IsCurrent(entry.targetDir + entry.fileName, entry)) entry.installMask |= kNeedsDownload;
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
  const std::string temporary = FreeNameBeside(path + ".", ".tmp");
  if (!WriteWholeFile(temporary, content)) {
    DeleteFileW(Wide(temporary).c_str());
    return false;
  }
  return MoveIntoPlace(temporary, path);
}

bool CopyFileInPlace(const std::string& source, const std::string& target) {
  const std::string temporary = FreeNameBeside(target + ".", ".tmp");
  if (!CopyFileW(Wide(source).c_str(), Wide(temporary).c_str(), TRUE)) {
    DeleteFileW(Wide(temporary).c_str());
    return false;
  }
  // A copy takes the source's attributes; a read-only add-on file must not spread.
  MakeWritable(temporary);
  if (!FlushToDisk(temporary)) {
    DeleteFileW(Wide(temporary).c_str());
    return false;
  }
  return MoveIntoPlace(temporary, target);
}

}  // namespace drovane
