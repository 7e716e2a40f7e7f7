#include "base/DataFile.h"

#include <cerrno>
#include <cstring>
#include <new>

#ifdef _WIN32
#include <direct.h>

#include "base/WideText.h"
#else
#include <sys/stat.h>
#endif

namespace drovane {
namespace {

// Paths are UTF-8; on Windows they are opened through the wide functions, so a folder name
// outside the ANSI code page still opens.
std::FILE* OpenFile(const std::string& path, const char* mode) {
#ifdef _WIN32
  return _wfopen(Wide(path).c_str(), Wide(mode).c_str());
#else
  return std::fopen(path.c_str(), mode);
#endif
}

int MakeDirectory(const std::string& path) {
#ifdef _WIN32
  return _wmkdir(Wide(path).c_str());
#else
  return mkdir(path.c_str(), 0777);
#endif
}

int64_t Tell(std::FILE* file) {
#ifdef _WIN32
  return _ftelli64(file);
#else
  return ftello(file);
#endif
}

int SeekTo(std::FILE* file, int64_t offset, int origin) {
#ifdef _WIN32
  return _fseeki64(file, offset, origin);
#else
  return fseeko(file, offset, origin);
#endif
}

}  // namespace

bool FileExists(const std::string& path) {
  std::FILE* file = OpenFile(path, "r");
  if (!file) return false;
  std::fclose(file);
  return true;
}

bool CreateDirectoryTree(const std::string& path) {
  std::string normal = path;
  for (char& c : normal) {
    if (c == '\\') c = '/';
  }
  while (!normal.empty() && normal.back() == '/') normal.pop_back();
  normal += '/';
  size_t start = 0;
  const size_t drive = normal.find(":/");
  if (drive != std::string::npos) start = normal.find('/') + 1;
  for (size_t slash = normal.find('/', start); slash != std::string::npos;
       slash = normal.find('/', slash + 1)) {
    if (slash == 0) continue;  // the root of an absolute path
    const std::string folder = normal.substr(0, slash);
    if (MakeDirectory(folder) != 0 && errno != EEXIST) return false;
  }
  return true;
}

bool DataFile::Open(const std::string& path, unsigned flags) {
  Close();
  const char* mode;
  if (flags & FileMode::Read) {
    mode = "rb";
  } else if (flags & FileMode::Write) {
    mode = "wb";
  } else if (flags & FileMode::Append) {
    mode = "ab";
  } else {
    return false;
  }
  if ((flags & FileMode::CreateDirs) && !(flags & FileMode::Read)) {
    size_t cut = path.find_last_of('\\');
    if (cut == std::string::npos) cut = path.find_last_of('/');
    if (cut != std::string::npos) CreateDirectoryTree(path.substr(0, cut));
  }
  file_ = OpenFile(path, mode);
  if (!file_) return false;
  path_ = path;
  return true;
}

bool DataFile::Write(const std::string& text) {
  return Write(text.data(), text.size());
}

bool DataFile::Write(const void* data, size_t size) {
  if (!file_) return false;
  return size == 0 || std::fwrite(data, 1, size, file_) == size;
}

size_t DataFile::Read(void* data, size_t size) {
  if (!file_ || size == 0) return 0;
  return std::fread(data, 1, size, file_);
}

bool DataFile::Seek(int64_t offset) {
  return file_ && offset >= 0 && SeekTo(file_, offset, SEEK_SET) == 0;
}

int64_t DataFile::Size() {
  if (!file_) return 0;
  const int64_t position = Tell(file_);
  SeekTo(file_, 0, SEEK_END);
  const int64_t size = Tell(file_);
  SeekTo(file_, position, SEEK_SET);
  return size < 0 ? 0 : size;
}

bool DataFile::AtEnd() {
  return !file_ || Tell(file_) >= Size();
}

const char* DataFile::ReadAll() {
  if (buffer_) return buffer_.get();
  if (!file_) return nullptr;
  const int64_t size = Size();
  if (size <= 0 || static_cast<uint64_t>(size) >= SIZE_MAX) return nullptr;
  const int64_t position = Tell(file_);
  std::unique_ptr<char[]> buffer(new (std::nothrow) char[static_cast<size_t>(size) + 1]);
  if (!buffer) return nullptr;
  SeekTo(file_, 0, SEEK_SET);
  const size_t read = std::fread(buffer.get(), 1, static_cast<size_t>(size), file_);
  SeekTo(file_, position, SEEK_SET);
  if (read != static_cast<size_t>(size)) return nullptr;
  buffer[read] = '\0';
  buffer_ = std::move(buffer);
  bufferSize_ = read;
  return buffer_.get();
}

void DataFile::Close() {
  buffer_.reset();
  bufferSize_ = 0;
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
}

bool ReadWholeFile(const std::string& path, std::string& out) {
  DataFile file;
  if (!file.Open(path, FileMode::Read)) return false;
  const int64_t size = file.Size();
  if (size < 0) return false;
  out.assign(static_cast<size_t>(size), '\0');
  return file.Read(&out[0], out.size()) == out.size();
}

}  // namespace drovane
