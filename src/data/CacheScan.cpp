#include "data/CacheScan.h"

#include "base/DataFile.h"
#include "base/FileLog.h"
#include "game/EditionNames.h"

namespace drovane {
namespace {

using Walk = bool (*)(ByteReader&, const CacheKind&, const std::string&, const IdSetLoader&,
                      CacheFileEntry&);

// Opens one cache file, walks it and logs its line. A file that cannot be opened is skipped
// without a line. The walk's own error lines come first, then the file's line with the outcome.
void ScanFile(const std::string& path, const CacheKind& kind, const std::string& locale,
              const IdSetLoader& loadIdSet, CacheFileEntry& entry, Walk walk, bool countFile,
              FileReader& reader, int& filesWithNewData) {
  DataFile file;
  if (!file.Open(path, FileMode::Read)) return;
  if (countFile) ++entry.files;
  reader.Attach(file);
  const bool hasNewData = walk(reader, kind, locale, loadIdSet, entry);
  reader.Detach();
  if (hasNewData) ++filesWithNewData;
  LogLine() << "  > '" << path
            << "': " << (hasNewData ? "Data available for upload." : "Fully uploaded.");
}

}  // namespace

int ScanCaches(const CacheScanSources& sources, CacheCounters& counters) {
  counters.Clear();
  LogLine() << "Refreshing ADB/WDB data...";
  int filesWithNewData = 0;
  FileReader reader;  // one window for every file
  for (GameEdition edition : kEditions) {
    const std::string& folder = sources.gameFolders[edition];
    if (folder.empty()) continue;
    LogLine() << " - Scanning '" << folder << "' (" << EditionDisplayName(edition) << "):";

    std::vector<std::string> locales;
    if (sources.listLocales) sources.listLocales(folder, CacheFolderKind::WDB, locales);
    for (const std::string& locale : locales) {
      const std::string directory = folder + "\\Cache\\WDB\\" + locale + "\\";
      for (int kind = 0; kind < kWdbKindCount; ++kind) {
        ScanFile(directory + kWdbKinds[kind].fileName, kWdbKinds[kind], locale, sources.loadIdSet,
                 counters.wdb[kind], WalkWdbInventory, false, reader, filesWithNewData);
      }
    }

    locales.clear();
    if (sources.listLocales) sources.listLocales(folder, CacheFolderKind::ADB, locales);
    for (const std::string& locale : locales) {
      const std::string directory = folder + "\\Cache\\ADB\\" + locale + "\\";
      for (int kind = 0; kind < kAdbKindCount; ++kind) {
        ScanFile(directory + kAdbKinds[kind].fileName, kAdbKinds[kind], locale, sources.loadIdSet,
                 counters.adb[kind], WalkAdbInventory, true, reader, filesWithNewData);
      }
    }
  }
  return filesWithNewData;
}

}  // namespace drovane
