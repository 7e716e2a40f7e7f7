#pragma once
// The record ids of one cache file key (file name, locale, build) that have been uploaded: a flat
// bitmap, so that a membership test is one bit test, kept in one state file per key.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace drovane {

class UploadedIdSet {
 public:
  // Ids from 1 to kIdLimit - 1 are tracked.
  static constexpr int32_t kIdLimit = 327680;
  static constexpr size_t kBitmapSize = kIdLimit / 8;  // 40960 bytes

  UploadedIdSet();
  UploadedIdSet(const std::string& cacheFileName, const std::string& locale, int32_t build);

  int32_t build = -1;  // -1: unset
  std::string locale;
  std::string cacheFileName;

  // Ids outside the tracked range count as uploaded and are never recorded.
  bool Contains(int32_t id) const {
    return id < 1 || id >= kIdLimit || ((bits_[static_cast<size_t>(id) / 8] >> (id % 8)) & 1);
  }
  void Add(int32_t id);
  void Remove(int32_t id);
  void Clear();
  bool HasKey() const;

  // "%s_%s_%d" of file name, locale and build, at most 255 characters: the state file's name.
  std::string StateFileName() const;

  // The bitmap as stored; a shorter input fills only the first bytes, a longer one is cut.
  void SetBytes(const char* data, size_t size);
  const std::vector<unsigned char>& Bytes() const { return bits_; }

  // Reads the state file from the folder (ending in a separator); older versions named it by the
  // MD5 of its name, which is read when the plain name is absent. False, leaving the set empty,
  // without a key or without a readable file.
  bool Load(const std::string& stateFolder);
  // Writes all 40960 bytes under the plain name in one step, creating missing folders.
  bool Save(const std::string& stateFolder) const;
  // The same in StateFolder().
  bool Load();
  bool Save() const;
  // Load for the scans, which look at every set at every refresh: a state file read once is
  // kept in memory and read again only when its size or time changed (the client is the only
  // writer of these files, and Save and ClearStateFolder keep the memory in step).
  bool LoadKept(const std::string& stateFolder);

 private:
  std::vector<unsigned char> bits_;
};

// AppDataDir + "cache\\": where the state files live.
std::string StateFolder();

// Deletes every file (not folders) in the folder; failures are ignored.
void ClearStateFolder(const std::string& stateFolder);
void ClearStateFolder();

}  // namespace drovane
