// The state files of the uploaded-id sets: reading, writing and clearing them.
#include <windows.h>

#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "base/DataFile.h"
#include "base/FileSystem.h"
#include "base/Md5.h"
#include "base/WideText.h"
#include "base/WinHandles.h"
#include "data/UploadedIdSet.h"

namespace drovane {

namespace {

// A state file's size and last write time.
struct Stamp {
  uint64_t size = 0;
  uint64_t written = 0;
  bool operator==(const Stamp& other) const {
    return size == other.size && written == other.written;
  }
};

// The file's stamp; false when it is no file. Asking for the attributes is far cheaper than a
// failed open, and most keys of a first scan have no state yet.
bool StampOf(const std::string& path, Stamp& stamp) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return false;
  }
  stamp.size = static_cast<uint64_t>(data.nFileSizeHigh) << 32 | data.nFileSizeLow;
  stamp.written = static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32 |
                  data.ftLastWriteTime.dwLowDateTime;
  return true;
}

// The key's state file: its own name, else the MD5 name an older version gave it, which it keeps
// until the next save. False when neither is a file.
bool LocateStateFile(const std::string& stateFolder, const std::string& name, std::string& path,
                     Stamp& stamp) {
  path = stateFolder + name;
  if (StampOf(path, stamp)) return true;
  path = stateFolder + Md5Hex(name);
  return StampOf(path, stamp);
}

// Reads the file into bits, which keep their size: a shorter file fills only the first bytes.
bool ReadStateFile(const std::string& path, std::vector<unsigned char>& bits) {
  KernelHandle file(CreateFileW(Wide(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  DWORD read = 0;
  return ReadFile(file.get(), bits.data(), static_cast<DWORD>(bits.size()), &read, nullptr) != 0;
}

// The state files the scans have read, by path, with the size and time they had then.
class KeptStateFiles {
 public:
  static KeptStateFiles& Instance() {
    static KeptStateFiles kept;
    return kept;
  }

  bool Find(const std::string& path, const Stamp& stamp, std::vector<unsigned char>& bits) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto found = files_.find(path);
    if (found == files_.end() || !(found->second.stamp == stamp)) return false;
    bits = found->second.bits;
    return true;
  }

  void Keep(const std::string& path, const Stamp& stamp, const std::vector<unsigned char>& bits) {
    std::lock_guard<std::mutex> lock(mutex_);
    // A bound on the memory: far more keys than an installation has.
    if (files_.size() >= kLimit && files_.count(path) == 0) files_.clear();
    files_[path] = {stamp, bits};
  }

  void Forget() {
    std::lock_guard<std::mutex> lock(mutex_);
    files_.clear();
  }

 private:
  static constexpr size_t kLimit = 1024;  // 40 MB at most
  struct Entry {
    Stamp stamp;
    std::vector<unsigned char> bits;
  };
  std::mutex mutex_;
  std::map<std::string, Entry> files_;
};

}  // namespace

bool UploadedIdSet::LoadKept(const std::string& stateFolder) {
  if (!HasKey()) {
    Clear();
    return false;
  }
  KeptStateFiles& kept = KeptStateFiles::Instance();
  std::string path;
  Stamp stamp;
  if (!LocateStateFile(stateFolder, StateFileName(), path, stamp)) {
    Clear();
    return false;
  }
  if (kept.Find(path, stamp, bits_)) return true;
  Clear();
  if (!ReadStateFile(path, bits_)) {
    Clear();
    return false;
  }
  kept.Keep(path, stamp, bits_);
  return true;
}

bool UploadedIdSet::Load(const std::string& stateFolder) {
  Clear();
  if (!HasKey()) return false;
  std::string path;
  Stamp stamp;
  if (!LocateStateFile(stateFolder, StateFileName(), path, stamp)) return false;
  if (!ReadStateFile(path, bits_)) {
    Clear();
    return false;
  }
  return true;
}

bool UploadedIdSet::Save(const std::string& stateFolder) const {
  if (!HasKey()) return false;
  if (!stateFolder.empty() && !CreateDirectoryTree(stateFolder)) return false;
  const std::string content(reinterpret_cast<const char*>(bits_.data()), bits_.size());
  const std::string path = stateFolder + StateFileName();
  if (!ReplaceFileContent(path, content)) return false;
  Stamp stamp;
  if (StampOf(path, stamp)) KeptStateFiles::Instance().Keep(path, stamp, bits_);
  return true;
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
  KeptStateFiles::Instance().Forget();
  for (const FolderEntry& entry : ListFolder(folder)) {
    if (!entry.isDirectory) DeleteFileW(Wide(folder + "\\" + entry.name).c_str());
  }
}

void ClearStateFolder() {
  ClearStateFolder(StateFolder());
}

}  // namespace drovane
