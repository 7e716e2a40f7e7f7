#pragma once
// Builders of small WDB and ADB files, a reader that fails the test on any read outside its
// bytes, and log capture for the data tests.
#include <gtest/gtest.h>

#include <cstdint>
#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "base/FileLog.h"
#include "data/ByteReader.h"
#include "support/Bytes.h"

namespace drovane::test {

struct WdbRecord {
  int32_t id;
  std::string data;
};

// 24-byte header (magic, build, 16 bytes of other fields), then id, length and data per record.
inline std::string WdbFile(int32_t build, const std::vector<WdbRecord>& records,
                           const std::string& magic = "BOMW") {
  std::string file = magic + Le32(build) + std::string(16, '\x11');
  for (const WdbRecord& record : records) {
    file += Le32(record.id) + Le32(static_cast<int32_t>(record.data.size())) + record.data;
  }
  return file;
}

// Fields at 0, 4, 12, 16 and 24; the others filled with a recognisable byte.
inline std::string AdbHeaderBytes(const std::string& magic, int32_t count, int32_t recordSize,
                                  int32_t stringBlockSize, int32_t build) {
  const size_t size = magic == "WCH8" ? 52 : 48;
  std::string header = magic + Le32(count) + Le32(0x22222222) + Le32(recordSize) +
                       Le32(stringBlockSize) + Le32(0x33333333) + Le32(build);
  header.resize(size, '\x44');
  return header;
}

// A record of the given size that starts with its id.
inline std::string AdbRecord(int32_t id, int32_t recordSize) {
  std::string record = Le32(id);
  record.resize(static_cast<size_t>(recordSize), '\x55');
  return record;
}

// "WCH2" (or "WCH8" without layout flags): header, records, string block.
inline std::string AdbRecordFile(const std::string& magic, int32_t build, int32_t recordSize,
                                 const std::vector<int32_t>& ids, const std::string& strings) {
  std::string file = AdbHeaderBytes(magic, static_cast<int32_t>(ids.size()), recordSize,
                                    static_cast<int32_t>(strings.size()), build);
  for (int32_t id : ids) file += AdbRecord(id, recordSize);
  return file + strings;
}

// "WCH8" with an id list: header, records (without ids), the string block, then the ids.
inline std::string AdbIdListFile(int32_t build, int32_t recordSize, const std::vector<int32_t>& ids,
                                 const std::string& strings) {
  std::string file = AdbHeaderBytes("WCH8", static_cast<int32_t>(ids.size()), recordSize,
                                    static_cast<int32_t>(strings.size()), build);
  file += std::string(ids.size() * static_cast<size_t>(recordSize), '\x66');
  file += strings;
  for (int32_t id : ids) file += Le32(id);
  return file;
}

// "WCH8" with an offset map: 10-byte entries (id, data offset, data length) right after the
// 52-byte header, then the record data.
inline std::string AdbOffsetMapFile(int32_t build, const std::vector<int32_t>& ids) {
  std::string file = AdbHeaderBytes("WCH8", static_cast<int32_t>(ids.size()), 16, 0, build);
  file.resize(52, '\0');
  const int32_t dataStart = static_cast<int32_t>(52 + 10 * ids.size());
  for (size_t i = 0; i < ids.size(); ++i) {
    file += Le32(ids[i]) + Le32(dataStart + static_cast<int32_t>(i) * 16) + Le16(16);
  }
  file += std::string(ids.size() * 16, '\x77');
  if (file.size() < 52) file.resize(52, '\0');
  return file;
}

// Holds the bytes of a CheckedReader; a base, so it is built before the reader that uses it.
struct OwnedBytes {
  std::string bytes;
};

// A reader over its own copy of the bytes that fails the test when asked for anything outside
// them.
class CheckedReader : private OwnedBytes, public BufferReader {
 public:
  explicit CheckedReader(std::string content)
      : OwnedBytes{std::move(content)}, BufferReader(bytes.data(), bytes.size()) {}
  const unsigned char* View(int64_t offset, size_t size, size_t* available) override {
    if (offset < 0 || static_cast<uint64_t>(offset) + size > bytes.size()) {
      ADD_FAILURE() << "read of " << size << " bytes at " << offset << " in a file of "
                    << bytes.size();
      ++outside;
    }
    ++reads;
    return BufferReader::View(offset, size, available);
  }
  int outside = 0;
  int reads = 0;
};

// The log text written while the capture lives, with every "[hh:mm:ss] " prefix checked and
// taken out.
class LogCapture {
 public:
  LogCapture() : start_(Log().Pending().size()) {}
  std::string Lines() const {
    const std::string text = Log().Pending().substr(start_);
    return std::regex_replace(text, std::regex(R"(\[\d\d:\d\d:\d\d\] )"), "");
  }
  std::string Raw() const { return Log().Pending().substr(start_); }

 private:
  size_t start_;
};

}  // namespace drovane::test
