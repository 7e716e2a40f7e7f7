// The upload copies of the cache files: the WDB and ADB walks that copy the records not uploaded
// before, and the gzip stream each copy becomes. The first input byte picks the kind (four WDB
// kinds, then seven ADB kinds); the rest is the file.
#include <zlib.h>

#include "FuzzSupport.h"
#include "data/CacheHeader.h"
#include "upload/Gzip.h"
#include "upload/UploadCopy.h"

using namespace drovane;

namespace {

// Inflates one gzip stream; false when it is not exactly one whole stream.
bool Gunzip(const std::string& packed, std::string& out) {
  z_stream stream{};
  if (inflateInit2(&stream, 15 + 16) != Z_OK) return false;
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(packed.data()));
  stream.avail_in = static_cast<uInt>(packed.size());
  int result = Z_OK;
  char chunk[16384];
  while (result == Z_OK) {
    stream.next_out = reinterpret_cast<Bytef*>(chunk);
    stream.avail_out = sizeof chunk;
    result = inflate(&stream, Z_NO_FLUSH);
    out.append(chunk, sizeof chunk - stream.avail_out);
  }
  const bool whole = result == Z_STREAM_END && stream.avail_in == 0;
  inflateEnd(&stream);
  return whole;
}

void LoadSomeIds(UploadedIdSet& set) {
  for (int32_t id = 5; id < 3000; id += 5) set.Add(id);
}

// A copy holds at most twice its file and one header besides (the longest, a "WCH8" one), so
// that no damaged file can make the client build a copy many times its size.
constexpr size_t kCopyHeaderAllowance = static_cast<size_t>(kAdbWch8HeaderSize);

bool WithinBound(const std::string& copy, const ByteReader& file) {
  return copy.size() <= 2 * static_cast<size_t>(file.Size()) + kCopyHeaderAllowance;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input input(data, size);
  const int kind = input.Byte() % (kWdbKindCount + kAdbKindCount);
  BufferReader reader(input.RestData(), input.RestSize());
  IdSetList sets;
  sets.load = LoadSomeIds;
  std::string copy;
  bool copied;
  if (kind < kWdbKindCount) {
    copied = PrepareWdbFile(kind, reader, "creaturecache.wdb", "enUS", sets, copy);
  } else {
    copied = PrepareAdbFile(kind - kWdbKindCount, reader, "item.adb", "enUS", sets, copy);
  }
  FUZZ_CHECK(WithinBound(copy, reader));
  if (copied) {
    // A copy goes out as one gzip stream that gives back exactly its bytes.
    std::string packed, unpacked;
    FUZZ_CHECK(GzipCompress(copy.data(), copy.size(), packed));
    FUZZ_CHECK(Gunzip(packed, unpacked));
    FUZZ_CHECK(unpacked == copy);
    // Every record copied was added to its key's set: the same file in the same upload has
    // nothing more to give.
    std::string again;
    const bool copiedAgain =
        kind < kWdbKindCount
            ? PrepareWdbFile(kind, reader, "creaturecache.wdb", "enUS", sets, again)
            : PrepareAdbFile(kind - kWdbKindCount, reader, "item.adb", "enUS", sets, again);
    FUZZ_CHECK(!copiedAgain);
    FUZZ_CHECK(WithinBound(again, reader));
  }
  fuzz::DiscardLog();
  return 0;
}
