#include "data/CacheInventory.h"

#include "base/FileLog.h"
#include "data/CacheHeader.h"

namespace drovane {
namespace {

UploadedIdSet LoadSet(const CacheKind& kind, const std::string& locale, int32_t build,
                      const IdSetLoader& loadIdSet) {
  UploadedIdSet set(kind.fileName, locale, build);
  if (loadIdSet) loadIdSet(set);
  return set;
}

}  // namespace

bool WalkWdbInventory(ByteReader& file, const CacheKind& kind, const std::string& locale,
                      const IdSetLoader& loadIdSet, CacheFileEntry& entry) {
  const int64_t size = file.Size();
  entry.bytes += size;
  const UploadedIdSet set = LoadSet(kind, locale, ReadWdbBuild(file), loadIdSet);

  // Counted in locals (kept in registers) and added once at the end.
  int64_t records = 0;
  int64_t uploaded = 0;
  int64_t position = kWdbHeaderSize;
  int64_t step = 0;  // the last record's size: how far apart the next headers lie
  bool damaged = false;
  while (!damaged && position <= size - 8) {
    file.ExpectStep(step);
    size_t available = 0;
    const unsigned char* view = file.View(position, 8, &available);
    if (!view || available < 8) break;
    // Every record header inside this view is read without asking the reader again.
    const int64_t viewStart = position;
    const int64_t viewEnd = position + static_cast<int64_t>(available);
    do {
      const unsigned char* head = view + (position - viewStart);
      const int32_t id = LittleEndian32(head);
      const int32_t length = LittleEndian32(head + 4);
      // Only the record's id and length are looked at; its data is skipped. A record whose
      // data is cut off by the end of the file is damage, not a record.
      const int64_t next = position + 8 + length;
      if (id < 1 || length < 1 || next > size) {
        damaged = true;
        break;
      }
      ++records;
      uploaded += set.Contains(id);
      step = next - position;
      position = next;
    } while (position <= viewEnd - 8);
  }
  entry.records += records;
  entry.uploadedRecords += uploaded;
  return uploaded < records;
}

bool WalkAdbInventory(ByteReader& file, const CacheKind& kind, const std::string& locale,
                      const IdSetLoader& loadIdSet, CacheFileEntry& entry) {
  const int64_t size = file.Size();
  AdbHeader header;
  if (size < kAdbMinimumSize || !ReadAdbHeader(file, &header)) {
    LogLine() << "\tError: Header not found.";
    return false;
  }
  if (size == kAdbEmptySize) {
    LogLine() << "\tFile Empty.";
    return false;
  }
  entry.bytes += size;
  AdbIdPositions ids;
  if (!LocateAdbIds(header, kind, size, &ids)) {
    LogLine() << "\tError: Invalid header values. First values.";
    return false;
  }
  const UploadedIdSet set = LoadSet(kind, locale, header.build, loadIdSet);
  if (header.IsWch8() && (kind.layoutFlags & ADB_OFFSET_MAP)) {
    // Only the entries the upload would copy count as records.
    OffsetMapWalk walk(file, header);
    OffsetMapEntry record;
    int64_t records = 0;
    int64_t uploaded = 0;
    while (walk.Next(&record)) {
      ++records;
      uploaded += set.Contains(record.id);
    }
    entry.records += records;
    entry.uploadedRecords += uploaded;
    return uploaded < records;
  }
  entry.records += ids.count;

  int64_t walked = 0;
  int64_t uploaded = 0;
  bool stopped = false;
  file.ExpectStep(ids.stride);
  while (!stopped && walked < ids.count) {
    int64_t position = ids.first + ids.stride * walked;
    size_t available = 0;
    const unsigned char* view = file.View(position, 4, &available);
    if (!view || available < 4) break;
    const int64_t viewStart = position;
    const int64_t viewEnd = position + static_cast<int64_t>(available);
    do {
      const int32_t id = LittleEndian32(view + (position - viewStart));
      if (id < 1) {
        stopped = true;
        break;
      }
      uploaded += set.Contains(id);
      ++walked;
      position += ids.stride;
    } while (walked < ids.count && position <= viewEnd - 4);
  }
  entry.uploadedRecords += uploaded;
  return uploaded < walked;
}

}  // namespace drovane
