#pragma once
// The upload copies of the game's cache files: the header, then only the records whose ids were
// not uploaded before, in the layout the service reads. Pure: the walks read through a
// ByteReader, and every offset is checked against the file in 64-bit arithmetic, so a damaged
// file yields a shorter copy or none, never a read outside it.
#include <cstdint>
#include <string>
#include <vector>

#include "data/ByteReader.h"
#include "data/CacheInventory.h"
#include "data/UploadedIdSet.h"

namespace drovane {

// The id sets met during one upload, one per key (cache file name, locale, build), in the order
// first met. A record taken from one file is thereby not taken again from another file of the
// same key in the same upload.
struct IdSetList {
  std::vector<UploadedIdSet> sets;
  IdSetLoader load;  // fills a new set (from the state folder in the client); may be empty

  // The set of the key, created, loaded and appended when there is none yet. The reference
  // stays valid until the next Find.
  UploadedIdSet& Find(const std::string& cacheFileName, const std::string& locale, int32_t build);

  // When set, each id a copy adds to a set is noted here too, so that the ids of a copy left out
  // of the package can be taken back (TakeBack) after later copies have added theirs.
  struct TakenId {
    size_t set;  // index in sets
    int32_t id;
  };
  std::vector<TakenId>* journal = nullptr;
  void TakeBack(const std::vector<TakenId>& taken);
};

// Builds the upload copy of a WDB file of kind kWdbKinds[kindIndex] into output (cleared first):
// its first 24 bytes, every record whose id is not in the key's set (added to the set as it is
// copied), then 8 zero bytes. The walk stops at an id or length below 1 and at a record whose
// data would run past the end of the file. Logs "Preparing '<path>' (<size> bytes)." and the
// row count line. True when at least one record was copied.
bool PrepareWdbFile(int kindIndex, ByteReader& file, const std::string& path,
                    const std::string& locale, IdSetList& sets, std::string& output);

// The same for an ADB file of kind kAdbKinds[kindIndex]: its header with the record count (and
// for the offset-map and id-list layouts the record size) changed, the new records, and the
// string block for the layouts that have one. A file that fails the header check is left out
// with the check's log line. An offset map is read up to the header's record count, and only
// entries whose data follows the previous record's inside the file are taken, so no copy is
// larger than twice its file.
bool PrepareAdbFile(int kindIndex, ByteReader& file, const std::string& path,
                    const std::string& locale, IdSetList& sets, std::string& output);

}  // namespace drovane
