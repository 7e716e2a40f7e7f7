#include "data/UploadedIdSet.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace drovane {

UploadedIdSet::UploadedIdSet() : bits_(kBitmapSize, 0) {}

UploadedIdSet::UploadedIdSet(const std::string& cacheFileName, const std::string& locale,
                             int32_t build)
    : build(build), locale(locale), cacheFileName(cacheFileName), bits_(kBitmapSize, 0) {}

void UploadedIdSet::Add(int32_t id) {
  if (id < 1 || id >= kIdLimit) return;
  bits_[static_cast<size_t>(id) / 8] |= static_cast<unsigned char>(1u << (id % 8));
}

void UploadedIdSet::Remove(int32_t id) {
  if (id < 1 || id >= kIdLimit) return;
  bits_[static_cast<size_t>(id) / 8] &= static_cast<unsigned char>(~(1u << (id % 8)));
}

void UploadedIdSet::Clear() {
  std::fill(bits_.begin(), bits_.end(), 0);
}

bool UploadedIdSet::HasKey() const {
  return build != -1 && !locale.empty() && !cacheFileName.empty();
}

std::string UploadedIdSet::StateFileName() const {
  char name[256];
  std::snprintf(name, sizeof name, "%s_%s_%d", cacheFileName.c_str(), locale.c_str(),
                static_cast<int>(build));
  return name;
}

void UploadedIdSet::SetBytes(const char* data, size_t size) {
  Clear();
  if (data) std::memcpy(bits_.data(), data, std::min(size, kBitmapSize));
}

}  // namespace drovane
