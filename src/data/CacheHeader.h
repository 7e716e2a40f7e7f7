#pragma once
// The headers of the game's WDB and ADB cache files, where their ids lie, and the header check
// made before an ADB file goes into an upload. Pure.
#include <cstdint>
#include <string>

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
