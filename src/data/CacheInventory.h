#pragma once
// The inventory walks over one cache file: how many records it holds, how many of them were
// uploaded before, and whether anything is left to upload. Pure: the walks read through a
// ByteReader and learn the uploaded ids through a loader.
#include <cstdint>
#include <functional>
#include <string>

#include "data/ByteReader.h"
#include "data/CacheKind.h"
#include "data/UploadedIdSet.h"

namespace drovane {

// Counters of one cache kind, summed over every installation and locale folder. They are 64-bit
// so that the sums of many large files cannot overflow.
struct CacheFileEntry {
  int64_t files = 0;            // ADB kinds: files that could be opened
  int64_t records = 0;          // records walked (WDB) or located from the header (ADB)
  int64_t uploadedRecords = 0;  // of those, ids in their set or outside the tracked range
  int64_t bytes = 0;            // sum of file sizes
};

struct CacheCounters {
  CacheFileEntry wdb[kWdbKindCount];
  CacheFileEntry adb[kAdbKindCount];
  void Clear() { *this = CacheCounters(); }
};

// Fills a set whose key (file name, locale, build) is given; in the client it reads the state
// file, in tests it can be anything.
using IdSetLoader = std::function<void(UploadedIdSet&)>;

// Walks the records of a WDB file from offset 24 and adds to the kind's counters. The walk stops
// at the end of the file, at an id or length below 1, and at a record whose data would run past
// the end; the records before that count. True when a record not uploaded before was seen.
bool WalkWdbInventory(ByteReader& file, const CacheKind& kind, const std::string& locale,
                      const IdSetLoader& loadIdSet, CacheFileEntry& entry);

// Walks the ids of an ADB file where its header and layout place them. A file without a header
// logs "\tError: Header not found.", one of exactly 49 bytes "\tFile Empty.", and one whose header
// places the ids outside the file "\tError: Invalid header values. First values."; all three
// return false. True when an id not uploaded before was seen.
bool WalkAdbInventory(ByteReader& file, const CacheKind& kind, const std::string& locale,
                      const IdSetLoader& loadIdSet, CacheFileEntry& entry);

}  // namespace drovane
