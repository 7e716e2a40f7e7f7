#pragma once
// Small byte-exact inputs for the upload tests: cache files and add-on files, plus gunzip and log
// capture. Pure, so the tests of the pure upload code build natively too; a game installation
// with a real executable is in UploadTestGame.h.
#include <zlib.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/FileLog.h"
#include "data/ByteReader.h"
#include "support/Bytes.h"
#include "support/TempFolder.h"

namespace drovane::test {

struct Record {
  int32_t id;
  std::string data;
};

// The 24-byte header: magic, build, then 16 bytes the upload copies unchanged.
inline std::string WdbHeader(int32_t build) {
  return "BOMW" + Le32(build) + "enUS" + Le32(1) + Le32(0x0BADF00D) + Le32(0x12345678);
}

inline std::string WdbRecordBytes(const Record& record) {
  return Le32(record.id) + Le32(static_cast<int32_t>(record.data.size())) + record.data;
}

inline std::string WdbFile(int32_t build, const std::vector<Record>& records,
                           const std::string& tail = std::string(8, '\0')) {
  std::string file = WdbHeader(build);
  for (const Record& record : records) file += WdbRecordBytes(record);
  return file + tail;
}

// An ADB header with the fields the client reads and recognisable bytes everywhere else.
inline std::string AdbHeader(const std::string& magic, int64_t count, int64_t recordSize,
                             int64_t stringBlockSize, int32_t build) {
  std::string header = magic + Le32(count) + Le32(0x0A0B0C0D) + Le32(recordSize) +
                       Le32(stringBlockSize) + Le32(0x1F2E3D4C) + Le32(build);
  for (char c = 'a'; header.size() < (magic == "WCH8" ? 52u : 48u); ++c) header += c;
  return header;
}

// A fixed-size record that begins with its id; the rest tells the records apart.
inline std::string IdRecord(int32_t id, int32_t size) {
  std::string record = Le32(id);
  while (static_cast<int32_t>(record.size()) < size) {
    record += static_cast<char>('A' + (id + record.size()) % 26);
  }
  return record.substr(0, static_cast<size_t>(size));
}

// A record of an id-list file (no id inside).
inline std::string BareRecord(int32_t id, int32_t size) {
  std::string record;
  while (static_cast<int32_t>(record.size()) < size) {
    record += static_cast<char>('a' + (id * 7 + record.size()) % 26);
  }
  return record;
}

constexpr char kGameVersion[] = "7.0.3.22522";

inline std::string Gunzip(const std::string& gzip) {
  z_stream stream = {};
  if (inflateInit2(&stream, 15 + 16) != Z_OK) return "<inflateInit2 failed>";
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(gzip.data()));
  stream.avail_in = static_cast<uInt>(gzip.size());
  std::string out;
  char chunk[16384];
  int result = Z_OK;
  while (result == Z_OK) {
    stream.next_out = reinterpret_cast<Bytef*>(chunk);
    stream.avail_out = sizeof chunk;
    result = inflate(&stream, Z_NO_FLUSH);
    out.append(chunk, sizeof chunk - stream.avail_out);
    if (result == Z_BUF_ERROR && stream.avail_in == 0) break;
  }
  const bool whole = result == Z_STREAM_END && stream.avail_in == 0;
  inflateEnd(&stream);
  return whole ? out : "<not one whole gzip stream>";
}

// The log lines written while the capture lives, without their "[hh:mm:ss] " prefixes (a tab
// written before a prefix stays).
class LogLines {
 public:
  LogLines() : start_(Log().Pending().size()) {}
  std::vector<std::string> Lines() const {
    const std::string text = Log().Pending().substr(start_);
    std::vector<std::string> lines;
    size_t begin = 0;
    while (begin < text.size()) {
      size_t end = text.find('\n', begin);
      if (end == std::string::npos) end = text.size();
      std::string line = text.substr(begin, end - begin);
      const size_t prefix = line.find("] ");
      const size_t open = line.find('[');
      if (open <= 1 && prefix == open + 9) line.erase(open, 11);
      lines.push_back(line);
      begin = end + 1;
    }
    return lines;
  }
  bool Has(const std::string& line) const {
    for (const std::string& l : Lines()) {
      if (l == line) return true;
    }
    return false;
  }

 private:
  size_t start_;
};

}  // namespace drovane::test
