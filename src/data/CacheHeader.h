#pragma once
// The headers of the game's WDB and ADB cache files, where their ids lie, and the header check
// made before an ADB file goes into an upload. Pure.
#include <cstdint>
#include <string>
#include <vector>

#include "data/ByteReader.h"
#include "data/CacheKind.h"

namespace drovane {

// WDB: 4-byte magic, 32-bit build, 16 further bytes; records (id, length, data) follow.
constexpr int64_t kWdbHeaderSize = 24;
// The build of a WDB file, or -1 when the file is too short to hold one.
int32_t ReadWdbBuild(ByteReader& reader);

// ADB files shorter than this have no header; one exactly kAdbEmptySize long holds nothing.
constexpr int64_t kAdbMinimumSize = 48;
constexpr int64_t kAdbEmptySize = 49;
// The header of a "WCH8" file, the longest of the cache headers.
constexpr int64_t kAdbWch8HeaderSize = 52;

struct AdbHeader {
  char magic[4] = {};
  int32_t recordCount = 0;
  int32_t recordSize = 0;
  int32_t stringBlockSize = 0;
  int32_t build = -1;

  bool IsWch8() const;
  bool IsWch2() const;
  // 52 for "WCH8", 48 otherwise.
  int64_t Size() const;
};

// Reads the fields at offsets 0, 4, 12, 16 and 24; false when the file is shorter than 48 bytes.
bool ReadAdbHeader(ByteReader& reader, AdbHeader* header);

// One entry of an item-sparse offset map: a record's id and where its data lies.
struct OffsetMapEntry {
  int32_t id = 0;
  int64_t dataOffset = 0;
  int64_t dataLength = 0;
};

// The entries of an offset map that name records, in file order: the table of 10-byte entries
// (id, data offset, 16-bit data length) that follows the header, read up to the header's record
// count and to where the first record's data begins. The walk ends at an id below 1 and at data
// past the end of the file; an entry whose data begins before the end of the last one taken
// points back into the table or into another record and is passed over. The upload copies
// exactly these records and the inventory counts exactly these, so the list never shows a
// record the upload would not send. A damaged table cannot make a record's bytes count twice:
// each record taken has bytes of its own in the file.
//
// The table is read in one piece first (it is never larger than the file): read entry by entry
// between the records' data, each entry would cost a fresh read of the file.
class OffsetMapWalk {
 public:
  OffsetMapWalk(ByteReader& reader, const AdbHeader& header);
  // The next entry taken; false at the end of the walk.
  bool Next(OffsetMapEntry* entry);

 private:
  int64_t size_;
  std::vector<unsigned char> table_;  // the whole entries the walk may look at
  size_t next_ = 0;                   // offset of the next entry in table_
  int64_t dataFloor_;                 // where the next record's data may begin
};

// Where the inventory finds the ids of an ADB file: count ids, the first at `first`, each
// `stride` bytes after the previous one.
struct AdbIdPositions {
  int64_t first = 0;
  int64_t stride = 4;
  int64_t count = 0;
};
// The positions the header and the kind's layout flags give, computed in 64 bits: the places
// the upload reads them from too. False when they do not lie inside the file: a negative count,
// ids that would start inside the header or end past the file, an id list with no room for the
// string block before it, or records too short to hold an id. An offset-map table cut short by
// the end of the file keeps the entries that are whole.
bool LocateAdbIds(const AdbHeader& header, const CacheKind& kind, int64_t fileSize,
                  AdbIdPositions* positions);

// The check before an ADB file goes into an upload: empty when the file is usable, else the log
// text of the first failure ("\tError: Header not found." and so on).
std::string ValidateAdbForUpload(ByteReader& reader, const CacheKind& kind);

}  // namespace drovane
