// The inventory walks over one cache file, as the main window's scan runs them: the WDB record
// walk, the ADB header, where its ids lie, and the check made before an ADB file is uploaded.
// The first input byte picks the kind (four WDB kinds, then seven ADB kinds); the rest is the file.
#include "FuzzSupport.h"
#include "data/CacheHeader.h"
#include "data/CacheInventory.h"

using namespace drovane;

namespace {

// A set with every third id marked, so walks meet both uploaded and new records.
void LoadSomeIds(UploadedIdSet& set) {
  for (int32_t id = 3; id < 3000; id += 3) set.Add(id);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input input(data, size);
  const int kind = input.Byte() % (kWdbKindCount + kAdbKindCount);
  BufferReader reader(input.RestData(), input.RestSize());
  CacheFileEntry entry;
  if (kind < kWdbKindCount) {
    ReadWdbBuild(reader);
    WalkWdbInventory(reader, kWdbKinds[kind], "enUS", LoadSomeIds, entry);
  } else {
    const CacheKind& adb = kAdbKinds[kind - kWdbKindCount];
    AdbHeader header;
    if (ReadAdbHeader(reader, &header)) {
      AdbIdPositions positions;
      if (LocateAdbIds(header, adb, reader.Size(), &positions)) {
        // Every located id lies inside the file.
        FUZZ_CHECK(positions.count >= 0);
        if (positions.count > 0) {
          FUZZ_CHECK(positions.first >= 0 && positions.stride >= 4);
          FUZZ_CHECK(positions.first + (positions.count - 1) * positions.stride + 4 <=
                     reader.Size());
        }
      }
    }
    ValidateAdbForUpload(reader, adb);
    WalkAdbInventory(reader, adb, "enUS", LoadSomeIds, entry);
  }
  FUZZ_CHECK(entry.uploadedRecords >= 0 && entry.uploadedRecords <= entry.records);
  fuzz::DiscardLog();
  return 0;
}
