#include "upload/UploadCopy.h"

#include <algorithm>
#include <vector>

#include "base/FileLog.h"
#include "data/CacheHeader.h"
#include "data/CacheKind.h"

namespace drovane {
namespace {

bool InsideFile(const ByteReader& file, int64_t offset, int64_t length) {
  return offset >= 0 && length >= 0 && offset <= file.Size() && length <= file.Size() - offset;
}

// Appends the bytes [offset, offset + length) of the file; false, appending nothing, when they
// do not all lie inside it.
bool AppendRange(ByteReader& file, int64_t offset, int64_t length, std::string& output) {
  if (!InsideFile(file, offset, length)) return false;
  const size_t start = output.size();
  while (length > 0) {
    size_t available = 0;
    const unsigned char* bytes = file.View(offset, static_cast<size_t>(length), &available);
    if (!bytes || available == 0) {
      output.resize(start);
      return false;
    }
    const size_t piece = static_cast<size_t>(std::min<int64_t>(length, available));
    output.append(reinterpret_cast<const char*>(bytes), piece);
    offset += static_cast<int64_t>(piece);
    length -= static_cast<int64_t>(piece);
  }
  return true;
}

void PutLittleEndian32(std::string& output, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) output[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string LittleEndianBytes(int32_t value) {
  std::string bytes(4, '\0');
  PutLittleEndian32(bytes, 0, static_cast<uint32_t>(value));
  return bytes;
}

void LogPreparing(const std::string& path, int64_t size) {
  LogLine() << "Preparing '" << path << "' (" << size << " bytes).";
}

void LogRows(int64_t done, int64_t added) {
  LogLine() << "\t" << done << " done + " << added << " = " << done + added << " row(s)";
}

// Counts one id met by a walk; true when its record is new and goes into the copy.
bool TakeId(IdSetList& sets, UploadedIdSet& set, int32_t id, int64_t& done, int64_t& added) {
  if (set.Contains(id)) {
    ++done;
    return false;
  }
  set.Add(id);
  if (sets.journal) {
    sets.journal->push_back({static_cast<size_t>(&set - sets.sets.data()), id});
  }
  ++added;
  return true;
}

// The set as it was before a walk: a file that cannot be read to the end is left out, and the ids
// the walk had taken from it must not count as sent.
class SetSnapshot {
 public:
  explicit SetSnapshot(const UploadedIdSet& set) : bytes_(set.Bytes()) {}
  bool Abandon(UploadedIdSet& set, std::string& output) const {
    set.SetBytes(reinterpret_cast<const char*>(bytes_.data()), bytes_.size());
    output.clear();
    LogLine() << "\tError: The file could not be read.";
    return false;
  }

 private:
  std::vector<unsigned char> bytes_;
};

}  // namespace

UploadedIdSet& IdSetList::Find(const std::string& cacheFileName, const std::string& locale,
                               int32_t build) {
  for (UploadedIdSet& set : sets) {
    if (set.build == build && set.cacheFileName == cacheFileName && set.locale == locale) {
      return set;
    }
  }
  sets.emplace_back(cacheFileName, locale, build);
  if (load) load(sets.back());
  return sets.back();
}

void IdSetList::TakeBack(const std::vector<TakenId>& taken) {
  for (const TakenId& entry : taken) {
    if (entry.set < sets.size()) sets[entry.set].Remove(entry.id);
  }
}

bool PrepareWdbFile(int kindIndex, ByteReader& file, const std::string& path,
                    const std::string& locale, IdSetList& sets, std::string& output) {
  output.clear();
  const int64_t size = file.Size();
  LogPreparing(path, size);
  if (kindIndex < 0 || kindIndex >= kWdbKindCount) return false;
  UploadedIdSet& set = sets.Find(kWdbKinds[kindIndex].fileName, locale, ReadWdbBuild(file));
  const SetSnapshot snapshot(set);

  // Most records of a first upload are new: room for the whole file saves the regrowing.
  output.reserve(static_cast<size_t>(std::max<int64_t>(size, 0)) + 8);
  bool intact = AppendRange(file, 0, std::min<int64_t>(size, kWdbHeaderSize), output);
  int64_t done = 0;
  int64_t added = 0;
  for (int64_t position = kWdbHeaderSize; intact && position <= size - 8;) {
    int32_t id = 0;
    int32_t length = 0;
    if (!ReadInt32At(file, position, &id) || !ReadInt32At(file, position + 4, &length)) break;
    const int64_t next = position + 8 + length;
    // A record cut off by the end of the file is damage, not a record.
    if (id < 1 || length < 1 || next > size) break;
    if (TakeId(sets, set, id, done, added)) {
      intact = AppendRange(file, position, next - position, output);
    }
    position = next;
  }
  if (!intact) return snapshot.Abandon(set, output);
  output.append(8, '\0');
  LogRows(done, added);
  return added > 0;
}

bool PrepareAdbFile(int kindIndex, ByteReader& file, const std::string& path,
                    const std::string& locale, IdSetList& sets, std::string& output) {
  output.clear();
  const int64_t size = file.Size();
  LogPreparing(path, size);
  if (kindIndex < 0 || kindIndex >= kAdbKindCount) return false;
  const CacheKind& kind = kAdbKinds[kindIndex];
  const std::string failure = ValidateAdbForUpload(file, kind);
  if (!failure.empty()) {
    LogLine() << failure;
    return false;
  }
  AdbHeader header;
  if (!ReadAdbHeader(file, &header)) return false;
  UploadedIdSet& set = sets.Find(kind.fileName, locale, header.build);
  const SetSnapshot snapshot(set);

  // The check above has made sure that the header, the records, the id list and the string
  // block all fit in the file and that no count is negative; each offset is still checked
  // before it is read.
  const int64_t headerSize = header.Size();
  const int64_t count = header.recordCount;
  const int64_t recordSize = header.recordSize;
  const int64_t stringBlockSize = header.stringBlockSize;
  // Each id in the copy comes from four bytes of the file, so the copy is never more than twice
  // the file, whatever count a damaged header claims.
  output.reserve(static_cast<size_t>(size) + 4 * static_cast<size_t>(std::min(count, size / 4)));
  bool intact = AppendRange(file, 0, headerSize, output);

  int64_t done = 0;
  int64_t added = 0;
  const bool wch8 = header.IsWch8();
  bool idInFront = false;  // the copy puts each record's id in front of it
  int64_t stringBlockAt = -1;
  if (wch8 && (kind.layoutFlags & ADB_OFFSET_MAP)) {
    idInFront = true;
    // Each record copied has bytes of its own in the file, and each id ten bytes of the table
    // (see OffsetMapWalk): the copy is at most the file's size plus its header, never more than
    // twice the file.
    OffsetMapWalk walk(file, header);
    OffsetMapEntry entry;
    while (intact && walk.Next(&entry)) {
      if (!TakeId(sets, set, entry.id, done, added)) continue;
      output += LittleEndianBytes(entry.id);
      intact = AppendRange(file, entry.dataOffset, entry.dataLength, output);
    }
  } else if (wch8 && (kind.layoutFlags & ADB_ID_LIST)) {
    idInFront = true;
    // The records come before the string block; the ids close the file. They are read in one
    // piece first: read one by one between the records, each would cost a fresh read of the file.
    const int64_t idsAt = size - 4 * count;
    const int64_t recordsAt = idsAt - stringBlockSize - recordSize * count;
    std::vector<unsigned char> ids(static_cast<size_t>(std::max<int64_t>(count, 0)) * 4);
    const int64_t idsRead =
        count > 0 ? static_cast<int64_t>(file.ReadAt(idsAt, ids.data(), ids.size())) / 4 : 0;
    for (int64_t i = 0; intact && i < idsRead; ++i) {
      const int64_t recordAt = recordsAt + recordSize * i;
      const int32_t id = LittleEndian32(ids.data() + 4 * i);
      if (id < 1) break;
      if (!InsideFile(file, recordAt, recordSize)) break;
      if (!TakeId(sets, set, id, done, added)) continue;
      output += LittleEndianBytes(id);
      intact = AppendRange(file, recordAt, recordSize, output);
    }
    stringBlockAt = idsAt - stringBlockSize;
  } else {
    // Fixed-size records, each starting with its id, then the string block. Records shorter
    // than an id hold none (the inventory refuses them too): none is copied, and a damaged
    // header with size 0 and a count in the billions is not walked record by record.
    const int64_t recordsAt = size - stringBlockSize - recordSize * count;
    for (int64_t i = 0; intact && recordSize >= 4 && i < count; ++i) {
      const int64_t recordAt = recordsAt + recordSize * i;
      int32_t id = 0;
      if (!ReadInt32At(file, recordAt, &id) || id < 1) break;
      if (!InsideFile(file, recordAt, recordSize)) break;
      if (!TakeId(sets, set, id, done, added)) continue;
      intact = AppendRange(file, recordAt, recordSize, output);
    }
    stringBlockAt = size - stringBlockSize;
  }
  if (intact && stringBlockAt >= 0) {
    intact = AppendRange(file, stringBlockAt, stringBlockSize, output);
  }
  if (!intact) return snapshot.Abandon(set, output);

  // The copy's header describes the copy: only the new records, each with its id in front when
  // the file kept the ids apart from the records.
  PutLittleEndian32(output, 4, static_cast<uint32_t>(added));
  if (idInFront) PutLittleEndian32(output, 12, static_cast<uint32_t>(recordSize + 4));
  LogRows(done, added);
  return added > 0;
}

}  // namespace drovane
