#include "data/CacheHeader.h"

#include <algorithm>
#include <cstring>

namespace drovane {

int32_t ReadWdbBuild(ByteReader& reader) {
  int32_t build;
  return ReadInt32At(reader, 4, &build) ? build : -1;
}

bool AdbHeader::IsWch8() const {
  return std::memcmp(magic, "WCH8", 4) == 0;
}

bool AdbHeader::IsWch2() const {
  return std::memcmp(magic, "WCH2", 4) == 0;
}

int64_t AdbHeader::Size() const {
  return IsWch8() ? kAdbWch8HeaderSize : kAdbMinimumSize;
}

bool ReadAdbHeader(ByteReader& reader, AdbHeader* header) {
  if (reader.Size() < kAdbMinimumSize) return false;
  AdbHeader read;
  if (reader.ReadAt(0, read.magic, 4) != 4 || !ReadInt32At(reader, 4, &read.recordCount) ||
      !ReadInt32At(reader, 12, &read.recordSize) ||
      !ReadInt32At(reader, 16, &read.stringBlockSize) || !ReadInt32At(reader, 24, &read.build)) {
    return false;
  }
  *header = read;
  return true;
}

OffsetMapWalk::OffsetMapWalk(ByteReader& reader, const AdbHeader& header)
    : size_(reader.Size()), dataFloor_(0) {
  constexpr int64_t kEntrySize = 10;
  const int64_t tableAt = header.Size();
  int32_t firstDataOffset = 0;
  const int64_t entryLimit = ReadInt32At(reader, tableAt + 4, &firstDataOffset)
                                 ? int64_t{static_cast<uint32_t>(firstDataOffset)}
                                 : 0;
  dataFloor_ = entryLimit;
  // Whole entries only, up to the record count, the first record's data and the file's end.
  const int64_t end = std::min(entryLimit, size_);
  int64_t entries = end > tableAt ? (end - tableAt) / kEntrySize : 0;
  entries = std::min<int64_t>(entries, header.recordCount < 0 ? 0 : header.recordCount);
  if (entries <= 0) return;
  table_.resize(static_cast<size_t>(entries * kEntrySize));
  table_.resize(reader.ReadAt(tableAt, table_.data(), table_.size()) / kEntrySize * kEntrySize);
}

bool OffsetMapWalk::Next(OffsetMapEntry* entry) {
  constexpr size_t kEntrySize = 10;
  while (next_ + kEntrySize <= table_.size()) {
    const unsigned char* bytes = table_.data() + next_;
    next_ += kEntrySize;
    const int32_t id = LittleEndian32(bytes);
    const int64_t dataOffset = static_cast<uint32_t>(LittleEndian32(bytes + 4));
    const int64_t dataLength = bytes[8] | (bytes[9] << 8);
    if (id < 1 || dataOffset + dataLength > size_) break;
    if (dataOffset < dataFloor_) continue;
    dataFloor_ = dataOffset + dataLength;
    entry->id = id;
    entry->dataOffset = dataOffset;
    entry->dataLength = dataLength;
    return true;
  }
  next_ = table_.size();
  return false;
}

bool LocateAdbIds(const AdbHeader& header, const CacheKind& kind, int64_t fileSize,
                  AdbIdPositions* positions) {
  if (header.recordCount < 0) return false;
  const int64_t count = header.recordCount;
  const int64_t recordSize = header.recordSize;
  const int64_t stringBlockSize = header.stringBlockSize;
  AdbIdPositions found;
  if (header.IsWch8() && (kind.layoutFlags & ADB_OFFSET_MAP)) {
    // The table of 10-byte entries (id, data offset, data length) follows the 52-byte header.
    // These are only the places of its entries: which of them name records, the inventory and
    // the upload both learn from OffsetMapWalk.
    found.first = header.Size();
    found.stride = 10;
    const int64_t whole = fileSize >= found.first + 4 ? (fileSize - found.first - 4) / 10 + 1 : 0;
    found.count = std::min(count, whole);
    *positions = found;
    return true;
  }
  if (stringBlockSize < 0) return false;
  if (header.IsWch8() && (kind.layoutFlags & ADB_ID_LIST)) {
    // The records, then the string block, then one id per record closing the file: the upload
    // reads the ids there too, so the list shows as sent exactly the ids a package took. The
    // string block must still fit between the header and the ids.
    found.first = fileSize - 4 * count;
    found.stride = 4;
    if (count > 0 && found.first - stringBlockSize < header.Size()) return false;
  } else {
    // The ids are placed back from the end of the file, past the string block: records end
    // where the string block begins, and each starts with its id.
    if (recordSize < 4 && count > 0) return false;
    found.first = fileSize - recordSize * count - stringBlockSize;
    found.stride = recordSize;
  }
  found.count = count;
  if (count > 0 &&
      (found.first < header.Size() || found.first + found.stride * (count - 1) + 4 > fileSize)) {
    return false;
  }
  *positions = found;
  return true;
}

std::string ValidateAdbForUpload(ByteReader& reader, const CacheKind& kind) {
  const int64_t fileSize = reader.Size();
  if (fileSize < kAdbMinimumSize) return "\tError: Header not found.";
  if (fileSize == kAdbEmptySize) return "\tFile Empty.";
  AdbHeader header;
  if (!ReadAdbHeader(reader, &header)) return "\tError: Header not found.";
  const char* const kFirstValues = "\tError: Invalid header values. First values.";
  if (!header.IsWch2() && !header.IsWch8()) return kFirstValues;
  // Negative sizes would make the sums below pass for any file.
  if (header.recordCount < 0 || header.recordSize < 0 || header.stringBlockSize < 0) {
    return kFirstValues;
  }
  const int64_t records = static_cast<int64_t>(header.recordSize) * header.recordCount;
  const int64_t fixed = header.Size() + header.stringBlockSize;
  if (fileSize < records + fixed) return kFirstValues;
  if (header.IsWch8()) {
    const int64_t idList = (kind.layoutFlags & ADB_ID_LIST) ? 4 * int64_t{header.recordCount} : 0;
    if (fileSize < records + idList + fixed) {
      return "\tError: Invalid header values. Validation: 1";
    }
  }
  return std::string();
}

}  // namespace drovane
