#include "fakegame/GameWrites.h"

#include "base/DataFile.h"
#include "base/FileSystem.h"
#include "fakegame/GameData.h"
#include "gamefixture/FixtureEdge.h"

namespace drovane::fakegame {
namespace {

bool Replace(const std::string& path, const std::string& content, std::string& error) {
  const size_t cut = path.find_last_of('\\');
  if (!CreateDirectoryTree(path.substr(0, cut + 1)) || !ReplaceFileContent(path, content)) {
    error = fixture::WithLastError("cannot write " + path);
    return false;
  }
  return true;
}

// A file that is not there reads as empty; one that is there but cannot be read is an error,
// so it is never replaced by data that lost its old content.
bool ReadExisting(const std::string& path, std::string& content, std::string& error) {
  content.clear();
  if (!FileExists(path)) return true;
  if (ReadWholeFile(path, content)) return true;
  error = "cannot read " + path;
  return false;
}

}  // namespace

bool WriteGameData(const FakeGameOptions& options, const std::string& gameFolder, uint32_t build,
                   std::string& error) {
  const std::string& locale = options.locale;  // folder names stay as given, like gamefixture's
  for (const WdbAppend& append : options.wdbAppends) {
    const std::string path =
        gameFolder + "\\Cache\\WDB\\" + locale + "\\" + fixture::InfoOf(append.kind).fileName;
    std::string existing;
    if (!ReadExisting(path, existing, error)) return false;
    if (!Replace(path, AppendWdb(existing, append, options, build), error)) return false;
  }
  for (const AdbWrite& write : options.adbWrites) {
    const std::string path = gameFolder + "\\Cache\\ADB\\" + locale + "\\" +
                             fixture::AdbKindAt(write.kindIndex).fileName;
    if (!Replace(path, WriteAdb(write, options, build), error)) return false;
  }
  for (const AddonChange& change : options.addonChanges) {
    const std::string path = gameFolder + "\\WTF\\Account\\" + change.account +
                             "\\SavedVariables\\" + fixture::kAddonFileName;
    std::string existing;
    if (!ReadExisting(path, existing, error)) return false;
    if (!existing.empty() && !Replace(path + ".bak", existing, error)) return false;
    if (!Replace(path, ApplyAddonChange(existing, change, options.seed), error)) return false;
  }
  return true;
}

}  // namespace drovane::fakegame
