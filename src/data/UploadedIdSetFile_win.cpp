// The state files of the uploaded-id sets: reading, writing and clearing them.
#include <windows.h>

#include "app/DataFile.h"
#include "app/FileSystem.h"
#include "app/Md5.h"
#include "app/WinHandles.h"
#include "data/UploadedIdSet.h"
#include "app/WideText.h"

namespace drovane {

namespace {

bool IsFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

bool UploadedIdSet::Load(const std::string& stateFolder) {
  Clear();
  if (!HasKey()) return false;
  // Upload state carried over from an older version keeps its MD5 name until the next save.
  // Asking for the attributes first is far cheaper than a failed open, and most keys of a first
  // scan have no state yet.
  const std::string name = StateFileName();
  std::string path = stateFolder + name;
  if (!IsFile(path)) {
    path = stateFolder + Md5Hex(name);
    if (!IsFile(path)) return false;
  }
  KernelHandle file(CreateFileW(Wide(path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  // A shorter file fills only the first bytes; the rest stays zero.
  DWORD read = 0;
  if (!ReadFile(file.get(), bits_.data(), static_cast<DWORD>(bits_.size()), &read, nullptr)) {
    Clear();
    return false;
  }
  return true;
}

bool UploadedIdSet::Save(const std::string& stateFolder) const {
  if (!HasKey()) return false;
  if (!stateFolder.empty() && !CreateDirectoryTree(stateFolder)) return false;
  const std::string content(reinterpret_cast<const char*>(bits_.data()), bits_.size());
  return ReplaceFileContent(stateFolder + StateFileName(), content);
}

bool UploadedIdSet::Load() {
  return Load(StateFolder());
}

bool UploadedIdSet::Save() const {
  return Save(StateFolder());
}

std::string StateFolder() {
  return AppDataDir() + "cache\\";
}

void ClearStateFolder(const std::string& stateFolder) {
  std::string folder = stateFolder;
  while (!folder.empty() && (folder.back() == '\\' || folder.back() == '/')) folder.pop_back();
  // No folder named: nothing is deleted (never the current folder's files).
  if (folder.empty()) return;
  for (const FolderEntry& entry : ListFolder(folder)) {
    if (!entry.isDirectory) DeleteFileW(Wide(folder + "\\" + entry.name).c_str());
  }
}

void ClearStateFolder() {
  ClearStateFolder(StateFolder());
}

}  // namespace drovane
