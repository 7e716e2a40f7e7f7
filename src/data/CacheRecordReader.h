#pragma once
// Decoding of the four WDB cache files for the cache viewer: each file's signature, the walk over
// its records, where each displayed value sits inside a record's payload, and the texts of the
// viewer's columns. Pure: bytes in, rows of texts out.
//
// Every value is read only from inside its record's payload, and every payload only from inside
// the file: a string without its terminator ends with the payload, and a number that would reach
// past the payload is left out (its cell stays empty). A damaged record so shows what lies inside
// it and nothing beyond.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace drovane {

// The viewer's kind index, which is the WDB kind's index in the cache kind table.
enum WdbViewKind : int { kViewCreatures = 0, kViewObjects = 1, kViewPages = 2, kViewQuests = 3 };

struct WdbColumn {
  const char* title;
  int width;  // pixels
  bool alignRight;
};

constexpr int kWdbMaxColumns = 4;

// One displayed record: the id (column 0) and the texts of the further columns, UTF-8 as stored
// for names and texts. An empty text is an empty cell.
struct WdbRecordRow {
  int32_t id = 0;
  std::string cells[kWdbMaxColumns - 1];
};

// Fills the cells of a row from a record's payload (size bytes, all of them readable).
using WdbPayloadDecoder = void (*)(const unsigned char* payload, size_t size, WdbRecordRow& row);

struct WdbRecordFormat {
  char signature[4];  // the first four bytes of the file as stored, "BOMW" for creatures
  int columnCount;
  WdbColumn columns[kWdbMaxColumns];
  WdbPayloadDecoder decode;
};

// The format of a viewer kind; null for an index outside 0 to 3.
const WdbRecordFormat* WdbRecordFormatOf(int kind);

// The name tables: any value outside them shows "None" and "Normal".
const char* CreatureTypeText(int32_t value);
const char* ClassificationText(int32_t value);

// The per-kind payload layouts.
void DecodeCreatureRecord(const unsigned char* payload, size_t size, WdbRecordRow& row);
void DecodeObjectRecord(const unsigned char* payload, size_t size, WdbRecordRow& row);
void DecodePageRecord(const unsigned char* payload, size_t size, WdbRecordRow& row);
void DecodeQuestRecord(const unsigned char* payload, size_t size, WdbRecordRow& row);

// The text from offset up to its terminating zero byte, or up to the end of the payload when the
// payload holds no terminator; empty when offset lies outside. *terminator (when given) becomes the
// terminator's offset, or -1 when there is none.
std::string PayloadString(const unsigned char* payload, size_t size, size_t offset,
                          int64_t* terminator = nullptr);
// The little-endian 32-bit value at offset; false when its four bytes do not all lie inside.
bool PayloadInt32(const unsigned char* payload, size_t size, int64_t offset, int32_t* value);

constexpr size_t kWdbFileHeaderSize = 24;

enum class WdbReadResult {
  TooShort,        // 24 bytes or fewer: nothing to show, nothing to say
  WrongSignature,  // the first four bytes are not the kind's
  Read,            // the columns apply; rows were given for the records found (maybe none)
};

// What the first bytes of a file say: whether it is long enough and carries the kind's signature.
WdbReadResult CheckWdbFile(int kind, const unsigned char* data, size_t size);

// Checks the file as above, then walks the records from offset 24. A record is id and size (32-bit
// signed each) and size bytes of payload. The walk stops at the first record whose id or size is
// below 1, or whose frame or payload does not lie whole inside the file; every record before it is
// given to onRow in file order. A record whose payload ends exactly at the end of the file is whole
// and is given too.
WdbReadResult ReadWdbRecords(int kind, const unsigned char* data, size_t size,
                             const std::function<void(const WdbRecordRow&)>& onRow);
// The same, collecting the rows.
WdbReadResult ReadWdbRecords(int kind, const std::string& file, std::vector<WdbRecordRow>& rows);

}  // namespace drovane
