#include "base/FileSystem.h"

#include <windows.h>
#include <shlobj.h>

#include "base/DataFile.h"
#include "base/Md5.h"
#include "base/TextHelpers.h"
#include "base/WideText.h"
#include "base/WinHandles.h"

namespace drovane {

bool DirectoryExists(const std::string& path) {
  WIN32_FIND_DATAW data;
  FindHandle find(FindFirstFileW(Wide(path).c_str(), &data));
  return find.valid() && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::vector<FolderEntry> ListFolder(const std::string& folder, const std::string& pattern) {
  std::vector<FolderEntry> entries;
  WIN32_FIND_DATAW data;
  FindHandle find(FindFirstFileW(Wide(folder + "\\" + pattern).c_str(), &data));
  if (!find.valid()) return entries;
  do {
    const std::string name = Utf8(data.cFileName);
    if (name == "." || name == "..") continue;
    entries.push_back({name, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (FindNextFileW(find.get(), &data));
  return entries;
}

namespace {

void FindFilesInto(bool recursive, const std::string& pattern, std::vector<std::string>& out,
                   const std::string& root, const std::string& prefix) {
  WIN32_FIND_DATAW data;
  FindHandle find(FindFirstFileW(Wide(root + prefix + "/*").c_str(), &data));
  if (!find.valid()) return;
  do {
    const std::string name = Utf8(data.cFileName);
    if (name.empty() || name[0] == '.') continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (recursive) FindFilesInto(recursive, pattern, out, root, prefix + "/" + name);
    } else if (WildcardMatch(name, pattern)) {
      out.push_back(prefix + "/" + name);
    }
  } while (FindNextFileW(find.get(), &data));
}

}  // namespace

size_t FindFiles(bool recursive, const std::string& pattern, std::vector<std::string>& out,
                 const std::string& root, const std::string& prefix) {
  out.clear();
  FindFilesInto(recursive, pattern, out, root, prefix);
  return out.size();
}

namespace {

// Writes the whole content to a new file and makes sure it reached the disk: the C library's
// buffered writes only meet a full disk when the file is closed, and a failed close would
// otherwise go unnoticed and let an empty or cut copy replace the original.
bool WriteNewFile(const std::string& path, const std::string& content) {
  KernelHandle file(CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  size_t done = 0;
  while (done < content.size()) {
    const size_t left = content.size() - done;
    const DWORD chunk = left > (1u << 30) ? (1u << 30) : static_cast<DWORD>(left);
    DWORD written = 0;
    if (!WriteFile(file.get(), content.data() + done, chunk, &written, nullptr) || written == 0) {
      return false;
    }
    done += written;
  }
  // Without this the new name could point at data still in the cache when the power fails.
  if (!FlushFileBuffers(file.get())) return false;
  return CloseHandle(file.release()) != FALSE;
}

}  // namespace

bool ReplaceFileContent(const std::string& path, const std::string& content) {
  const std::string temporary = path + ".tmp";
  if (!WriteNewFile(temporary, content)) {
    DeleteFileW(Wide(temporary).c_str());
    return false;
  }
  if (!MoveFileExW(Wide(temporary).c_str(), Wide(path).c_str(),
                   MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DeleteFileW(Wide(temporary).c_str());
    return false;
  }
  return true;
}

bool GetSpecialFolderPath(SpecialFolder kind, std::string& out) {
  struct Ids {
    int first;
    int fallback;  // -1: none
  };
  static const Ids kIds[] = {
      {CSIDL_DESKTOP, -1},
      // The lookup never fails where writing does: a standard user may not write the shared
      // Start menu, so the caller falls back to UserPrograms when its write is refused.
      {CSIDL_COMMON_PROGRAMS, -1},
      {CSIDL_COMMON_APPDATA, CSIDL_APPDATA},
      {CSIDL_COMMON_STARTUP, CSIDL_STARTUP},
      {CSIDL_SYSTEM, -1},
      {CSIDL_PROGRAMS, -1},
  };
  const int index = static_cast<int>(kind);
  if (index < 0 || index >= static_cast<int>(sizeof kIds / sizeof kIds[0])) return false;
  wchar_t buffer[MAX_PATH] = {};
  bool found = SHGetSpecialFolderPathW(nullptr, buffer, kIds[index].first, FALSE);
  if (!found && kIds[index].fallback >= 0) {
    found = SHGetSpecialFolderPathW(nullptr, buffer, kIds[index].fallback, FALSE);
  }
  if (found) out = Utf8(buffer);
  return found;
}

std::string FreeNameBeside(const std::string& path, const char* suffix) {
  std::string name;
  do {
    name = path + RandomMd5Hex() + suffix;
  } while (FileExists(name) || DirectoryExists(name));
  return name;
}

std::string AppDataDir() {
  std::string folder;
  if (!GetSpecialFolderPath(SpecialFolder::AppData, folder)) return std::string();
  return folder + "\\Drovane\\Drovane Client\\";
}

bool GetModulePath(std::string& out) {
  // A folder deeper than MAX_PATH is possible: the buffer grows until the name fits.
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, &buffer[0], static_cast<DWORD>(buffer.size()));
    if (length == 0) return false;
    if (length < buffer.size()) {
      out = Utf8(buffer.data(), length);
      return true;
    }
    if (buffer.size() >= 32768) return false;
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace drovane
