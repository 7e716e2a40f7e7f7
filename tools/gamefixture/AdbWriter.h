#pragma once
// The game's ADB cache files as bytes: a "WCH2" (48-byte) or "WCH8" (52-byte) header, then the
// records in one of three layouts:
//   records   - "WCH2", and "WCH8" of a kind without layout flags: fixed-size records, each
//               starting with its id, then the string block (which starts with a zero byte);
//   id list   - "WCH8" of a kind with ADB_ID_LIST only: fixed-size records without ids, the
//               string block (a zero byte and one text), then one 4-byte id per record at the
//               very end;
//   offset map - "WCH8" of a kind with ADB_OFFSET_MAP: one 10-byte entry per record (id, data
//               offset, 16-bit length) right after the header, then the variable-length records
//               (their texts inline), no string block.
// Header fields (little-endian): 0 magic, 4 record count, 8 field count, 12 record size,
// 16 string block size, 20 table hash, 24 build, 28 last-written time (0, so the bytes are the
// same every run), 32 lowest id, 36 highest id, 40 the locale's characters reversed, 44 zero,
// 48 zero ("WCH8" only). Bytes 44 to 51 stay zero on purpose: a reader that looks for the offset
// map at byte 44 of a file whose map follows the header meets id 0 there and stops, instead of
// taking header values for ids.
#include <cstddef>
#include <cstdint>
#include <string>

#include "gamefixture/WdbWriter.h"

namespace drovane::fixture {

constexpr uint32_t ADB_OFFSET_MAP = 1;
constexpr uint32_t ADB_ID_LIST = 4;

enum class AdbMagic { WCH2, WCH8 };
const char* MagicText(AdbMagic magic);
bool AdbMagicFromName(const std::string& name, AdbMagic& out);  // "WCH2"/"WCH8", any case

enum class AdbLayout { Records, IdList, OffsetMap };
AdbLayout LayoutOf(AdbMagic magic, uint32_t layoutFlags);

constexpr size_t kWch2HeaderSize = 48;
constexpr size_t kWch8HeaderSize = 52;
constexpr size_t kOffsetMapEntrySize = 10;
// Where the "WCH8" offset map may start: right after the header, or at byte 44 (over the last
// two header fields).
constexpr size_t kOffsetMapAfterHeader = 52;
constexpr size_t kOffsetMapInHeader = 44;

constexpr int kAdbKindCount = 7;
struct AdbKindInfo {
  const char* fileName;
  uint32_t layoutFlags;
  uint32_t recordSize;  // bytes of a fixed-size record, id included in the records layout
  bool hasName;         // records carry a name (in the string block or inline)
};
// In the order of the client's cache table: item, item-sparse, keychain, itemcurrencycost,
// itemextendedcost, itembonus, spellreagents.
const AdbKindInfo& AdbKindAt(int index);
// The file name with or without ".adb".
bool AdbKindFromName(const std::string& name, int& index);

struct AdbFileParams {
  int kindIndex = 0;
  AdbMagic magic = AdbMagic::WCH8;
  uint32_t build = 0;
  int32_t firstId = 1;
  int32_t recordCount = 0;
  uint32_t recordSize = 0;  // fixed-size layouts; 0 takes the kind's size; at least 8
  size_t offsetMapStart = kOffsetMapAfterHeader;
  SampleSettings sample;  // padding lengthens the variable-length records of the offset map
};

// The largest padding that keeps an offset-map record within its 16-bit length.
constexpr uint32_t kMaxAdbPadding = 60000;

std::string BuildAdbFile(const AdbFileParams& params);

}  // namespace drovane::fixture
