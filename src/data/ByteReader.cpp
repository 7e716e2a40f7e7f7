#include "data/ByteReader.h"

#include <algorithm>
#include <cstring>

#include "base/DataFile.h"

namespace drovane {

size_t ByteReader::ReadAt(int64_t offset, void* data, size_t size) {
  size_t copied = 0;
  while (copied < size) {
    size_t available = 0;
    const unsigned char* bytes =
        View(offset + static_cast<int64_t>(copied), size - copied, &available);
    if (!bytes || available == 0) break;
    const size_t count = std::min(size - copied, available);
    std::memcpy(static_cast<unsigned char*>(data) + copied, bytes, count);
    copied += count;
  }
  return copied;
}

bool ReadInt32At(ByteReader& reader, int64_t offset, int32_t* value) {
  if (offset < 0 || offset > reader.Size() - 4) return false;
  size_t available = 0;
  const unsigned char* bytes = reader.View(offset, 4, &available);
  if (!bytes || available < 4) return false;
  *value = LittleEndian32(bytes);
  return true;
}

const unsigned char* BufferReader::View(int64_t offset, size_t, size_t* available) {
  *available = 0;
  if (offset < 0 || static_cast<uint64_t>(offset) >= size_) return nullptr;
  *available = size_ - static_cast<size_t>(offset);
  return data_ + offset;
}

namespace {

// Fresh memory can cost more than the reads it serves (under Wine about 25 microseconds per page
// on first touch, so a new 1 MB window costs as much as reading 50 MB from the file cache): the
// last reader's window is kept for the next reader on the same thread.
thread_local std::unique_ptr<unsigned char[]> tSpareWindow;
thread_local size_t tSpareCapacity = 0;

}  // namespace

FileReader::~FileReader() {
  if (window_ && windowCapacity_ > tSpareCapacity) {
    tSpareWindow = std::move(window_);
    tSpareCapacity = windowCapacity_;
  }
}

void FileReader::Reset(DataFile* file) {
  file_ = file;
  size_ = file ? file->Size() : 0;
  filePosition_ = -1;
  windowStart_ = 0;
  windowLength_ = 0;
  step_ = 0;
}

bool FileReader::Fill(int64_t offset, size_t size) {
  const size_t length =
      static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(size), size_ - offset));
  if (windowCapacity_ < length) {
    if (tSpareCapacity >= length) {
      window_ = std::move(tSpareWindow);
      windowCapacity_ = tSpareCapacity;
      tSpareCapacity = 0;
    } else {
      // Large enough for any later window, so it is allocated once.
      const size_t capacity = std::max(length, kLargeWindow);
      window_.reset(new unsigned char[capacity]);
      windowCapacity_ = capacity;
    }
  }
  windowStart_ = offset;
  windowLength_ = 0;
  ++fills_;
  // A read that continues where the last one ended needs no seek.
  if (offset != filePosition_ && !file_->Seek(offset)) {
    filePosition_ = -1;
    return false;
  }
  windowLength_ = file_->Read(window_.get(), length);
  filePosition_ = windowLength_ == length ? offset + static_cast<int64_t>(length) : -1;
  return windowLength_ > 0;
}

const unsigned char* FileReader::View(int64_t offset, size_t size, size_t* available) {
  *available = 0;
  if (!file_ || offset < 0 || offset >= size_) return nullptr;
  const size_t needed = std::min(size, kLargeWindow);
  const int64_t windowEnd = windowStart_ + static_cast<int64_t>(windowLength_);
  const int64_t wanted = std::min<int64_t>(offset + static_cast<int64_t>(needed), size_);
  if (offset < windowStart_ || wanted > windowEnd) {
    // Long records: fetch only a page around what is asked for instead of reading through them.
    const size_t fetch = step_ > kSkipDistance ? kSmallWindow : kLargeWindow;
    if (!Fill(offset, std::max(fetch, needed))) return nullptr;
  }
  *available = static_cast<size_t>(windowStart_ + static_cast<int64_t>(windowLength_) - offset);
  return window_.get() + (offset - windowStart_);
}

}  // namespace drovane
