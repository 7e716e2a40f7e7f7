// The cache viewer's decoding of the four WDB files: signature check, record walk and the
// per-kind payload layouts. The first input byte picks the kind (values past 3 ask for a kind
// the viewer does not know); the rest is the file, whose last byte is the last readable one.
#include <vector>

#include "FuzzSupport.h"
#include "data/CacheRecordReader.h"

using namespace drovane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input input(data, size);
  const int kind = input.Byte() % 5;
  if (WdbRecordFormatOf(kind) == nullptr) {
    FUZZ_CHECK(kind == 4);
    return 0;
  }
  size_t rows = 0;
  const WdbReadResult result =
      ReadWdbRecords(kind, input.RestData(), input.RestSize(), [&](const WdbRecordRow& row) {
        ++rows;
        FUZZ_CHECK(row.id >= 1);
      });
  if (result != WdbReadResult::Read) FUZZ_CHECK(rows == 0);
  // Each record is at least an 8-byte frame and one byte of payload.
  FUZZ_CHECK(rows * 9 <= input.RestSize());
  // The payload helpers on the input itself, at offsets inside and outside it.
  const size_t length = input.RestSize();
  int32_t value = 0;
  for (size_t offset : {size_t{0}, length / 2, length > 4 ? length - 4 : 0, length, length + 7}) {
    int64_t terminator = 0;
    const std::string text = PayloadString(input.RestData(), length, offset, &terminator);
    FUZZ_CHECK(text.size() <= length);
    FUZZ_CHECK(terminator == -1 || (terminator >= 0 && static_cast<size_t>(terminator) < length));
    if (PayloadInt32(input.RestData(), length, static_cast<int64_t>(offset), &value)) {
      FUZZ_CHECK(offset + 4 <= length);
    }
  }
  return 0;
}
