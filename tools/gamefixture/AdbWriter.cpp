#include "gamefixture/AdbWriter.h"

#include <algorithm>
#include <cctype>
#include <vector>

#include "gamefixture/ByteWriter.h"
#include "gamefixture/SampleText.h"

namespace drovane::fixture {
namespace {

const AdbKindInfo kAdbKindTable[kAdbKindCount] = {
    {"item.adb", ADB_ID_LIST, 32, false},
    {"item-sparse.adb", ADB_OFFSET_MAP | ADB_ID_LIST, 160, true},
    {"keychain.adb", ADB_ID_LIST, 36, false},
    {"itemcurrencycost.adb", ADB_ID_LIST, 8, false},
    {"itemextendedcost.adb", ADB_ID_LIST, 80, false},
    {"itembonus.adb", 0, 16, false},
    {"spellreagents.adb", ADB_ID_LIST, 68, false},
};

struct HeaderValues {
  AdbMagic magic;
  int32_t recordCount;
  uint32_t recordSize;
  uint32_t stringBlockSize;
  uint32_t tableHash;
  uint32_t build;
  int32_t firstId;
  std::string locale;
};

std::string AdbHeader(const HeaderValues& values) {
  std::string header(MagicText(values.magic), 4);
  PutI32(header, values.recordCount);
  PutU32(header, (values.recordSize + 3) / 4);  // field count
  PutU32(header, values.recordSize);
  PutU32(header, values.stringBlockSize);
  PutU32(header, values.tableHash);
  PutU32(header, values.build);
  PutU32(header, 0);  // last written
  const bool any = values.recordCount > 0;
  PutI32(header, any ? values.firstId : 0);
  PutI32(header, any ? values.firstId + values.recordCount - 1 : 0);
  std::string code = values.locale.substr(0, 4);
  code.resize(4, '\0');
  header.append(code.rbegin(), code.rend());
  PutU32(header, 0);
  if (values.magic == AdbMagic::WCH8) PutU32(header, 0);
  return header;
}

// Fields of a fixed-size record after its id (and name offset): small numbers, as most of the
// game's columns are.
void AppendFields(std::string& record, size_t recordSize, Random& random) {
  while (record.size() + 4 <= recordSize)
    PutU32(record, random.Below(4) == 0 ? 0 : random.Below(5000));
  while (record.size() < recordSize) record.push_back('\0');
}

Random RecordRandom(const AdbFileParams& params, int32_t id) {
  return Random(
      MixSeed(MixSeed(params.sample.seed, TextHash(params.sample.locale)),
              (static_cast<uint64_t>(params.kindIndex + 16) << 32) | static_cast<uint32_t>(id)));
}

std::string RecordsLayout(const AdbFileParams& params, const AdbKindInfo& kind, uint32_t recordSize,
                          const HeaderValues& base) {
  const SampleText text(params.sample.locale);
  std::string records;
  records.reserve(static_cast<size_t>(params.recordCount) * recordSize);
  std::string strings(1, '\0');  // offset 0 is the empty text
  for (int32_t i = 0; i < params.recordCount; ++i) {
    const int32_t id = params.firstId + i;
    Random random = RecordRandom(params, id);
    std::string record;
    PutI32(record, id);
    if (kind.hasName) {
      PutU32(record, static_cast<uint32_t>(strings.size()));
      PutCString(strings, text.ItemName(random));
    }
    AppendFields(record, recordSize, random);
    records += record;
  }
  HeaderValues values = base;
  values.stringBlockSize = static_cast<uint32_t>(strings.size());
  return AdbHeader(values) + records + strings;
}

// The string block of an id-list file: the empty text, then one sample text. The records of
// these kinds name nothing, but the block is there all the same, between the records and the
// ids, so a reader has to look past it to find the ids.
std::string IdListStrings(const AdbFileParams& params, const AdbKindInfo& kind) {
  const SampleText text(params.sample.locale);
  Random random(MixSeed(MixSeed(params.sample.seed, TextHash(params.sample.locale)),
                        TextHash(kind.fileName)));
  std::string strings(1, '\0');
  PutCString(strings, text.ItemName(random));
  return strings;
}

std::string IdListLayout(const AdbFileParams& params, const AdbKindInfo& kind, uint32_t recordSize,
                         const HeaderValues& base) {
  const std::string strings = IdListStrings(params, kind);
  HeaderValues values = base;
  values.stringBlockSize = static_cast<uint32_t>(strings.size());
  std::string file = AdbHeader(values);
  file.reserve(file.size() + static_cast<size_t>(params.recordCount) * (recordSize + 4) +
               strings.size());
  for (int32_t i = 0; i < params.recordCount; ++i) {
    Random random = RecordRandom(params, params.firstId + i);
    std::string record;
    AppendFields(record, recordSize, random);
    file += record;
  }
  file += strings;
  for (int32_t i = 0; i < params.recordCount; ++i) PutI32(file, params.firstId + i);
  return file;
}

// A sparse item record: numeric columns with the texts inline between them.
std::string SparseRecord(const AdbFileParams& params, int32_t id) {
  const SampleText text(params.sample.locale);
  Random random = RecordRandom(params, id);
  std::string record;
  for (int i = 0; i < 10; ++i) PutU32(record, random.Below(1000));  // quality, flags, prices...
  PutCString(record, text.ItemName(random));
  record.append(3, '\0');  // three further names, empty
  PutCString(record, random.Below(2) ? text.Sentence(random, 4) : std::string());  // description
  for (int i = 0; i < 4; ++i) PutU32(record, random.Below(300));  // item level, requirements
  random.AppendBytes(record, std::min(params.sample.padding, kMaxAdbPadding));
  return record;
}

std::string OffsetMapLayout(const AdbFileParams& params, HeaderValues values) {
  std::vector<std::string> records;
  records.reserve(static_cast<size_t>(params.recordCount));
  uint64_t total = 0;
  for (int32_t i = 0; i < params.recordCount; ++i) {
    records.push_back(SparseRecord(params, params.firstId + i));
    total += records.back().size();
  }
  // There is no fixed record size here; the mean length keeps the size checks made of record
  // size x record count true for the file.
  values.recordSize = params.recordCount > 0
                          ? static_cast<uint32_t>(total / static_cast<uint64_t>(params.recordCount))
                          : 0;
  values.stringBlockSize = 0;
  const size_t mapStart =
      params.offsetMapStart == kOffsetMapInHeader ? kOffsetMapInHeader : kOffsetMapAfterHeader;
  std::string file = AdbHeader(values).substr(0, mapStart);
  file.reserve(mapStart + records.size() * kOffsetMapEntrySize + total);
  uint64_t dataOffset = mapStart + records.size() * kOffsetMapEntrySize;
  for (size_t i = 0; i < records.size(); ++i) {
    PutI32(file, params.firstId + static_cast<int32_t>(i));
    PutU32(file, static_cast<uint32_t>(dataOffset));
    PutU16(file, static_cast<uint16_t>(records[i].size()));
    dataOffset += records[i].size();
  }
  for (const std::string& record : records) file += record;
  return file;
}

}  // namespace

const char* MagicText(AdbMagic magic) {
  return magic == AdbMagic::WCH2 ? "WCH2" : "WCH8";
}

bool AdbMagicFromName(const std::string& name, AdbMagic& out) {
  std::string upper = name;
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  if (upper == "WCH2") {
    out = AdbMagic::WCH2;
  } else if (upper == "WCH8") {
    out = AdbMagic::WCH8;
  } else {
    return false;
  }
  return true;
}

AdbLayout LayoutOf(AdbMagic magic, uint32_t layoutFlags) {
  if (magic == AdbMagic::WCH2) return AdbLayout::Records;
  if (layoutFlags & ADB_OFFSET_MAP) return AdbLayout::OffsetMap;
  if (layoutFlags & ADB_ID_LIST) return AdbLayout::IdList;
  return AdbLayout::Records;
}

const AdbKindInfo& AdbKindAt(int index) {
  return kAdbKindTable[index >= 0 && index < kAdbKindCount ? index : 0];
}

bool AdbKindFromName(const std::string& name, int& index) {
  for (int i = 0; i < kAdbKindCount; ++i) {
    const std::string fileName = kAdbKindTable[i].fileName;
    if (name == fileName || name + ".adb" == fileName) {
      index = i;
      return true;
    }
  }
  return false;
}

std::string BuildAdbFile(const AdbFileParams& params) {
  const AdbKindInfo& kind = AdbKindAt(params.kindIndex);
  const uint32_t recordSize =
      std::max<uint32_t>(params.recordSize ? params.recordSize : kind.recordSize, 8);
  HeaderValues values{params.magic,
                      params.recordCount > 0 ? params.recordCount : 0,
                      recordSize,
                      0,
                      static_cast<uint32_t>(TextHash(kind.fileName)),
                      params.build,
                      params.firstId,
                      params.sample.locale};
  AdbFileParams checked = params;
  checked.recordCount = values.recordCount;
  switch (LayoutOf(params.magic, kind.layoutFlags)) {
    case AdbLayout::Records:
      return RecordsLayout(checked, kind, recordSize, values);
    case AdbLayout::IdList:
      return IdListLayout(checked, kind, recordSize, values);
    case AdbLayout::OffsetMap:
      return OffsetMapLayout(checked, values);
  }
  return std::string();
}

}  // namespace drovane::fixture
