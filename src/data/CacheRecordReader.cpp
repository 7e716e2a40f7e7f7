#include "data/CacheRecordReader.h"

#include <cstring>

namespace drovane {
namespace {

const char* const kCreatureTypes[] = {"None",      "Beast",  "Dragonkin", "Demon",   "Giant",
                                      "Elemental", "Undead", "Humanoid",  "Critter", "Mechanical"};
const char* const kClassifications[] = {"Normal", "Elite", "Rare Elite", "Boss", "Rare"};

// Payload offsets of the displayed values.
constexpr size_t kCreatureNameAt = 15;
constexpr int64_t kCreatureTypeAfterName = 9;  // from the name's terminator
constexpr int64_t kCreatureClassificationAfterName = 17;
constexpr int64_t kObjectCategoryAt = 0;
constexpr size_t kObjectNameAt = 8;
constexpr size_t kPageTextAt = 0;
constexpr int64_t kQuestLevelAt = 8;
constexpr size_t kQuestTitleAt = 296;

const WdbRecordFormat kFormats[] = {
    {{'B', 'O', 'M', 'W'},
     4,
     {{"ID", 45, true}, {"Name", 150, false}, {"Type", 70, false}, {"Classification ", 80, false}},
     DecodeCreatureRecord},
    {{'B', 'O', 'G', 'W'},
     3,
     {{"ID", 50, true}, {"Name", 225, false}, {"Category", 70, true}, {nullptr, 0, false}},
     DecodeObjectRecord},
    {{'X', 'T', 'P', 'W'},
     3,
     {{"ID", 45, true}, {"Text", 220, false}, {"Next Page ID", 85, true}, {nullptr, 0, false}},
     DecodePageRecord},
    {{'T', 'S', 'Q', 'W'},
     3,
     {{"ID", 45, true}, {"Title", 160, false}, {"Level", 50, true}, {nullptr, 0, false}},
     DecodeQuestRecord},
};

int32_t Le32(const unsigned char* bytes) {
  return static_cast<int32_t>(
      static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
      static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24);
}

// The number as "%i" writes it; empty when the field is not inside the payload.
std::string NumberAt(const unsigned char* payload, size_t size, int64_t offset) {
  int32_t value = 0;
  return PayloadInt32(payload, size, offset, &value) ? std::to_string(value) : std::string();
}

}  // namespace

const WdbRecordFormat* WdbRecordFormatOf(int kind) {
  if (kind < 0 || kind >= static_cast<int>(sizeof kFormats / sizeof kFormats[0])) return nullptr;
  return &kFormats[kind];
}

const char* CreatureTypeText(int32_t value) {
  const int32_t count = static_cast<int32_t>(sizeof kCreatureTypes / sizeof kCreatureTypes[0]);
  return kCreatureTypes[value >= 0 && value < count ? value : 0];
}

const char* ClassificationText(int32_t value) {
  const int32_t count = static_cast<int32_t>(sizeof kClassifications / sizeof kClassifications[0]);
  return kClassifications[value >= 0 && value < count ? value : 0];
}

std::string PayloadString(const unsigned char* payload, size_t size, size_t offset,
                          int64_t* terminator) {
  if (terminator) *terminator = -1;
  if (offset >= size) return std::string();
  const unsigned char* begin = payload + offset;
  const void* zero = std::memchr(begin, 0, size - offset);
  const unsigned char* end = zero ? static_cast<const unsigned char*>(zero) : payload + size;
  if (zero && terminator) *terminator = end - payload;
  return std::string(reinterpret_cast<const char*>(begin), static_cast<size_t>(end - begin));
}

bool PayloadInt32(const unsigned char* payload, size_t size, int64_t offset, int32_t* value) {
  if (offset < 0 || static_cast<uint64_t>(offset) + 4 > size) return false;
  *value = Le32(payload + offset);
  return true;
}

void DecodeCreatureRecord(const unsigned char* payload, size_t size, WdbRecordRow& row) {
  int64_t terminator = -1;
  row.cells[0] = PayloadString(payload, size, kCreatureNameAt, &terminator);
  // The fields after the name are placed by where the name ends; a name that runs to the end of
  // the payload leaves them outside it.
  if (terminator < 0) return;
  int32_t value = 0;
  if (PayloadInt32(payload, size, terminator + kCreatureTypeAfterName, &value)) {
    row.cells[1] = CreatureTypeText(value);
  }
  if (PayloadInt32(payload, size, terminator + kCreatureClassificationAfterName, &value)) {
    row.cells[2] = ClassificationText(value);
  }
}

void DecodeObjectRecord(const unsigned char* payload, size_t size, WdbRecordRow& row) {
  row.cells[0] = PayloadString(payload, size, kObjectNameAt);
  row.cells[1] = NumberAt(payload, size, kObjectCategoryAt);
}

void DecodePageRecord(const unsigned char* payload, size_t size, WdbRecordRow& row) {
  int64_t terminator = -1;
  row.cells[0] = PayloadString(payload, size, kPageTextAt, &terminator);
  if (terminator >= 0) row.cells[1] = NumberAt(payload, size, terminator + 1);
}

void DecodeQuestRecord(const unsigned char* payload, size_t size, WdbRecordRow& row) {
  row.cells[0] = PayloadString(payload, size, kQuestTitleAt);
  row.cells[1] = NumberAt(payload, size, kQuestLevelAt);
}

WdbReadResult CheckWdbFile(int kind, const unsigned char* data, size_t size) {
  const WdbRecordFormat* format = WdbRecordFormatOf(kind);
  if (!format || !data || size <= kWdbFileHeaderSize) return WdbReadResult::TooShort;
  if (std::memcmp(data, format->signature, sizeof format->signature) != 0) {
    return WdbReadResult::WrongSignature;
  }
  return WdbReadResult::Read;
}

WdbReadResult ReadWdbRecords(int kind, const unsigned char* data, size_t size,
                             const std::function<void(const WdbRecordRow&)>& onRow) {
  const WdbReadResult check = CheckWdbFile(kind, data, size);
  if (check != WdbReadResult::Read) return check;
  const WdbRecordFormat& format = *WdbRecordFormatOf(kind);
  // Positions in 64 bits: a size read from the file may be up to 2^31 - 1.
  const uint64_t end = size;
  uint64_t position = kWdbFileHeaderSize;
  while (position + 8 <= end) {
    const int32_t id = Le32(data + position);
    const int32_t length = Le32(data + position + 4);
    if (id < 1 || length < 1) break;
    const uint64_t next = position + 8 + static_cast<uint64_t>(length);
    // A record cut short by the end of the file is not shown, nor anything after it.
    if (next > end) break;
    WdbRecordRow row;
    row.id = id;
    format.decode(data + position + 8, static_cast<size_t>(length), row);
    onRow(row);
    position = next;
  }
  return WdbReadResult::Read;
}

WdbReadResult ReadWdbRecords(int kind, const std::string& file, std::vector<WdbRecordRow>& rows) {
  return ReadWdbRecords(kind, reinterpret_cast<const unsigned char*>(file.data()), file.size(),
                        [&rows](const WdbRecordRow& row) { rows.push_back(row); });
}

}  // namespace drovane
