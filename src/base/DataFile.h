#pragma once
// A C library file with an optional cached whole-file buffer, and the folder helpers it needs.
// Pure: only the C library (its wide-character open on Windows, for UTF-8 paths).
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>

namespace drovane {

// True when the file can be opened for reading.
bool FileExists(const std::string& path);

// Creates every folder of the path up to its last separator ('\\' and '/' both count); the part
// after the last separator is created too when the path ends with one. Existing folders count
// as success.
bool CreateDirectoryTree(const std::string& path);

// How DataFile::Open opens a file.
namespace FileMode {
constexpr unsigned Read = 1;
constexpr unsigned Write = 2;
constexpr unsigned Append = 4;
constexpr unsigned CreateDirs = 0x80;  // with Write or Append: create the folders first
}  // namespace FileMode

class DataFile {
 public:
  DataFile() = default;
  ~DataFile() { Close(); }
  DataFile(const DataFile&) = delete;
  DataFile& operator=(const DataFile&) = delete;

  // Read opens "rb" and wins over the others; else Write "wb", else Append "ab".
  bool Open(const std::string& path, unsigned flags);
  bool IsOpen() const { return file_ != nullptr; }
  const std::string& Path() const { return path_; }

  bool Write(const std::string& text);
  bool Write(const void* data, size_t size);
  // Reads up to size bytes at the current position; returns how many were read.
  size_t Read(void* data, size_t size);
  bool Seek(int64_t offset);
  int64_t Size();
  bool AtEnd();
  // The whole file, read once and cached; the file position is kept. Null for an empty file or
  // a failed read. The buffer ends with a NUL that is not part of the file.
  const char* ReadAll();
  size_t ReadAllSize() const { return bufferSize_; }
  void Close();

 private:
  std::FILE* file_ = nullptr;
  std::string path_;
  std::unique_ptr<char[]> buffer_;
  size_t bufferSize_ = 0;
};

// Reads a whole file into text; false when it cannot be opened or read completely.
bool ReadWholeFile(const std::string& path, std::string& out);

}  // namespace drovane
