#pragma once
// Folder listing, special folders and safe file replacement: the Windows side of the file helpers.
#include <string>
#include <vector>

namespace drovane {

// True when the path exists and is a folder.
bool DirectoryExists(const std::string& path);

// path + RandomMd5Hex() + suffix, drawn again while a file or folder of that name exists: a name
// for a new file beside another (or for a file or folder moved aside), unique per use, so no
// earlier run's leftover ever stands in the way.
std::string FreeNameBeside(const std::string& path, const char* suffix);

// Lists root + prefix + "/*"; names starting with '.' are skipped. Matching files are added as
// prefix + "/" + name, folders are entered only when recursive. Returns the number found.
size_t FindFiles(bool recursive, const std::string& pattern, std::vector<std::string>& out,
                 const std::string& root, const std::string& prefix = "");

// Every entry of folder + "\\" + pattern as the system lists it (names only, "." and ".." left
// out).
struct FolderEntry {
  std::string name;
  bool isDirectory;
};
std::vector<FolderEntry> ListFolder(const std::string& folder, const std::string& pattern = "*");

// Replaces a file's content in one step: the text goes to a temporary file in the same folder,
// which then takes the file's place, so a crash or a full disk never leaves a truncated file.
bool ReplaceFileContent(const std::string& path, const std::string& content);

// Programs is the shared Start menu, which a standard user may not write; UserPrograms is the
// user's own, where a shortcut goes when the shared one refuses it.
enum class SpecialFolder {
  Desktop = 0,
  Programs = 1,
  AppData = 2,
  Startup = 3,
  System = 4,
  UserPrograms = 5
};
bool GetSpecialFolderPath(SpecialFolder kind, std::string& out);

// The shared application data folder + "\\Drovane\\Drovane Client\\", or empty when there is none.
std::string AppDataDir();

// Full path of the running executable.
bool GetModulePath(std::string& out);

}  // namespace drovane
