#pragma once
// Random access to the bytes of a cache file. The record walks are written against this small
// interface, so the same walk runs over an open file (with seeks) and over a byte buffer.
// Pure: only the C library.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace drovane {

class DataFile;

class ByteReader {
 public:
  virtual ~ByteReader() = default;
  // Bytes in the source; fixed for the reader's life.
  virtual int64_t Size() const = 0;
  // The bytes from offset on: at least `size` of them unless the source ends first or `size`
  // exceeds what the reader holds at once (FileReader: kLargeWindow), often more. Sets
  // *available to how many can be read at the pointer, which stays valid until the next call.
  // Null (and 0 available) for an offset outside the source. Walks read every record header
  // that lies in one view without another call.
  virtual const unsigned char* View(int64_t offset, size_t size, size_t* available) = 0;
  // Tells the reader how far apart the bytes the caller asks for next lie (a walk's record
  // size), so that it can choose between reading through and seeking; 0: unknown.
  virtual void ExpectStep(int64_t /*step*/) {}

  // Copies up to size bytes starting at offset; returns how many were copied (fewer at the end,
  // 0 for an offset outside the source).
  size_t ReadAt(int64_t offset, void* data, size_t size);
};

// Little-endian 32-bit value of 4 bytes.
inline int32_t LittleEndian32(const unsigned char* bytes) {
  return static_cast<int32_t>(
      static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
      static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24);
}

// True when the 4 bytes at offset lie inside the source; the value is read little-endian.
bool ReadInt32At(ByteReader& reader, int64_t offset, int32_t* value);

// A reader over bytes held by the caller (which keeps them alive).
class BufferReader : public ByteReader {
 public:
  BufferReader(const void* data, size_t size)
      : data_(static_cast<const unsigned char*>(data)), size_(size) {}
  int64_t Size() const override { return static_cast<int64_t>(size_); }
  const unsigned char* View(int64_t offset, size_t size, size_t* available) override;

 private:
  const unsigned char* data_;
  size_t size_;
};

// A reader over an open file, through one window. One system read costs about as much as
// copying tens of kilobytes, so records up to kSkipDistance apart are read through in large
// windows (one read for many records), while longer ones are reached by a seek and a page-sized
// read each: their data is never read, and the cost follows the number of records.
class FileReader : public ByteReader {
 public:
  FileReader() = default;
  explicit FileReader(DataFile& file) { Attach(file); }
  ~FileReader() override;
  FileReader(const FileReader&) = delete;
  FileReader& operator=(const FileReader&) = delete;
  // Reads another open file from now on. The window's memory is kept: fresh memory costs more
  // than the reads it serves, so one reader should serve a whole scan.
  void Attach(DataFile& file) { Reset(&file); }
  // Forgets the file (before it closes); the window's memory stays for the next one.
  void Detach() { Reset(nullptr); }
  int64_t Size() const override { return size_; }
  const unsigned char* View(int64_t offset, size_t size, size_t* available) override;
  void ExpectStep(int64_t step) override { step_ = step; }

  // System reads made so far.
  uint64_t Fills() const { return fills_; }

  static constexpr size_t kLargeWindow = 1024 * 1024;
  static constexpr size_t kSmallWindow = 4 * 1024;
  static constexpr int64_t kSkipDistance = 64 * 1024;

 private:
  void Reset(DataFile* file);
  bool Fill(int64_t offset, size_t size);

  DataFile* file_ = nullptr;
  int64_t size_ = 0;
  int64_t filePosition_ = -1;  // where the file stands after the last read; -1: unknown
  std::unique_ptr<unsigned char[]> window_;  // not zeroed: only read bytes are looked at
  size_t windowCapacity_ = 0;
  int64_t windowStart_ = 0;
  size_t windowLength_ = 0;
  int64_t step_ = 0;
  uint64_t fills_ = 0;
};

}  // namespace drovane
