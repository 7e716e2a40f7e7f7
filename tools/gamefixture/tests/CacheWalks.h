#pragma once
// How the client reads the game's cache files, written out from the documented formats for
// these tests: the inventory walks, the upload walks with the ADB header validation, and where
// the cache viewer finds each kind's values. The files gamefixture and fakegame write must read
// back through these exactly as they were made.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace drovane::fixture::test {

inline bool Read32(const std::string& file, uint64_t at, int32_t& value) {
  if (at + 4 > file.size()) return false;
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(file[at + i]);
  value = static_cast<int32_t>(v);
  return true;
}

inline int32_t Field(const std::string& file, uint64_t at) {
  int32_t value = 0;
  Read32(file, at, value);
  return value;
}

struct WdbRecord {
  int32_t id;
  std::string payload;
};

// The inventory's WDB walk: from 24, id and length, stop at a short read or either below 1.
inline std::vector<WdbRecord> WalkWdb(const std::string& file) {
  std::vector<WdbRecord> records;
  uint64_t position = 24;
  while (position < file.size()) {
    int32_t id = 0, length = 0;
    if (!Read32(file, position, id) || !Read32(file, position + 4, length)) break;
    if (id < 1 || length < 1) break;
    records.push_back({id, file.substr(position + 8, static_cast<size_t>(length))});
    position += 8 + static_cast<uint64_t>(length);
  }
  return records;
}

constexpr uint32_t kOffsetMapFlag = 1;
constexpr uint32_t kIdListFlag = 4;

// The inventory's ADB walk: the ids, by magic and the kind's layout flags.
inline std::vector<int32_t> InventoryAdbIds(const std::string& file, uint32_t flags) {
  std::vector<int32_t> ids;
  if (file.size() < 48 || file.size() == 49) return ids;
  const int32_t count = Field(file, 4);
  const int32_t recordSize = Field(file, 12);
  const int32_t stringBlock = Field(file, 16);
  const bool wch8 = file.compare(0, 4, "WCH8") == 0;
  int64_t position = 0;
  int64_t skip = 0;
  if (wch8 && (flags & kOffsetMapFlag)) {
    position = 44;
    skip = 6;
  } else if (wch8 && (flags & kIdListFlag)) {
    // The ids close the file, after the string block: where the upload reads them.
    position = static_cast<int64_t>(file.size()) - 4LL * count;
  } else {
    position =
        static_cast<int64_t>(file.size()) - static_cast<int64_t>(recordSize) * count - stringBlock;
    skip = recordSize - 4;
  }
  for (int32_t i = 0; i < count && position >= 0; ++i) {
    if (static_cast<uint64_t>(position) >= file.size()) break;
    int32_t id = 0;
    if (!Read32(file, static_cast<uint64_t>(position), id) || id < 1) break;
    ids.push_back(id);
    position += 4 + skip;
  }
  return ids;
}

// The upload's header validation; empty when the file passes, else the line logged.
inline std::string ValidateAdbHeader(const std::string& file, uint32_t flags) {
  if (file.size() < 48) return "\tError: Header not found.";
  if (file.size() == 49) return "\tFile Empty.";
  const bool wch8 = file.compare(0, 4, "WCH8") == 0;
  if (!wch8 && file.compare(0, 4, "WCH2") != 0)
    return "\tError: Invalid header values. First values.";
  const int64_t header = wch8 ? 52 : 48;
  const int64_t count = Field(file, 4);
  const int64_t recordSize = Field(file, 12);
  const int64_t stringBlock = Field(file, 16);
  const int64_t size = static_cast<int64_t>(file.size());
  if (size < recordSize * count + header + stringBlock) {
    return "\tError: Invalid header values. First values.";
  }
  if (wch8 &&
      size < recordSize * count + ((flags & kIdListFlag) ? 4 * count : 0) + header + stringBlock) {
    return "\tError: Invalid header values. Validation: 1";
  }
  return std::string();
}

struct AdbUpload {
  std::vector<std::pair<int32_t, std::string>> records;  // id and the record's bytes
  std::string stringBlock;
};

// The upload's ADB walk: each record's id and bytes as the upload copy would take them.
inline AdbUpload UploadAdbRecords(const std::string& file, uint32_t flags) {
  AdbUpload result;
  const bool wch8 = file.compare(0, 4, "WCH8") == 0;
  const uint64_t header = wch8 ? 52 : 48;
  const int64_t count = Field(file, 4);
  const int64_t recordSize = Field(file, 12);
  const int64_t stringBlock = Field(file, 16);
  const int64_t size = static_cast<int64_t>(file.size());
  if (wch8 && (flags & kOffsetMapFlag)) {
    const int64_t limit = Field(file, header + 4);
    for (int64_t position = static_cast<int64_t>(header);
         position < limit - 9 && position < size - 9; position += 10) {
      const int32_t id = Field(file, static_cast<uint64_t>(position));
      const int64_t offset =
          static_cast<uint32_t>(Field(file, static_cast<uint64_t>(position) + 4));
      const int64_t length = static_cast<unsigned char>(file[position + 8]) |
                             (static_cast<unsigned char>(file[position + 9]) << 8);
      if (id < 1 || offset + length > size) break;
      result.records.emplace_back(
          id, file.substr(static_cast<size_t>(offset), static_cast<size_t>(length)));
    }
    return result;
  }
  for (int64_t i = 0; i < count; ++i) {
    int64_t id_at = 0, record_at = 0;
    if (wch8 && (flags & kIdListFlag)) {
      id_at = size - 4 * count + 4 * i;
      record_at = size - 4 * count - stringBlock - recordSize * (count - i);
    } else if (wch8) {
      record_at = size - stringBlock - recordSize * (count - i);
      id_at = record_at;
    } else {
      record_at = size - recordSize * count - stringBlock + recordSize * i;
      id_at = record_at;
    }
    const int32_t id = Field(file, static_cast<uint64_t>(id_at));
    if (id < 1) break;
    result.records.emplace_back(
        id, file.substr(static_cast<size_t>(record_at), static_cast<size_t>(recordSize)));
  }
  const int64_t blockAt =
      wch8 && (flags & kIdListFlag) ? size - 4 * count - stringBlock : size - stringBlock;
  result.stringBlock = file.substr(static_cast<size_t>(blockAt), static_cast<size_t>(stringBlock));
  return result;
}

// The viewer's reading of payloads: a string at an offset (empty when it would run past the
// payload) and 32-bit values.
inline bool PayloadString(const std::string& payload, size_t at, std::string& text,
                          size_t& terminator) {
  if (at >= payload.size()) return false;
  terminator = payload.find('\0', at);
  if (terminator == std::string::npos) return false;
  text = payload.substr(at, terminator - at);
  return true;
}

inline bool PayloadInt(const std::string& payload, size_t at, int32_t& value) {
  return Read32(payload, at, value);
}

// True when text is well-formed UTF-8.
inline bool IsUtf8(const std::string& text) {
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    const int follow = c < 0x80         ? 0
                       : (c >> 5) == 6  ? 1
                       : (c >> 4) == 14 ? 2
                       : (c >> 3) == 30 ? 3
                                        : -1;
    if (follow < 0) return false;
    for (int k = 1; k <= follow; ++k) {
      if (i + k >= text.size() || (static_cast<unsigned char>(text[i + k]) >> 6) != 2) return false;
    }
    i += 1 + follow;
  }
  return true;
}

}  // namespace drovane::fixture::test
