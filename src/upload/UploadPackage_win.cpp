// The walk over the installations that PrepareUpload runs: which files it opens, in which order,
// and what it reads besides the cache and add-on files.
#include "upload/UploadPackage.h"

#include <windows.h>

#include <algorithm>

#include "app/DataFile.h"
#include "app/FileLog.h"
#include "app/FileSystem.h"
#include "app/GameDiscovery.h"
#include "data/AccountData.h"
#include "data/ByteReader.h"
#include "data/CacheKind.h"
#include "data/SavedVariables.h"
#include "upload/AddonCopy.h"
#include "upload/GameConfigLines.h"
#include "upload/Gzip.h"
#include "upload/UploadProtocol.h"

namespace drovane {
namespace {

// Reads a whole small text file (realm list, configuration); false when it cannot be opened.
bool ReadTextFile(const std::string& path, std::string& text) {
  DataFile file;
  if (!file.Open(path, FileMode::Read)) return false;
  const char* data = file.ReadAll();
  text.assign(data ? data : "", data ? file.ReadAllSize() : 0);
  return true;
}

class PackageWalk {
 public:
  PackageWalk(const PackageSources& sources, IdSetList& wdbIdSets, IdSetList& adbIdSets,
              const PackageSink& sink, PackageSettings& settings)
      : sources_(sources),
        wdbIdSets_(wdbIdSets),
        adbIdSets_(adbIdSets),
        sink_(sink),
        settings_(settings) {}

  int Run() {
    for (GameEdition edition : kEditions) {
      const std::string& folder = sources_.gameFolders[edition];
      if (folder.empty()) continue;
      const std::string version = CheckedGameVersion(edition, folder);
      if (version.empty()) continue;
      WalkWdbLocales(edition, folder, version);
      WalkAdbLocales(edition, folder, version);
      WalkAccounts(edition, folder, version);
    }
    return files_;
  }

 private:
  void WalkWdbLocales(GameEdition edition, const std::string& folder, const std::string& version) {
    std::vector<std::string> locales;
    ListCacheLocales(folder, CacheFolderKind::WDB, locales);
    for (const std::string& locale : locales) {
      std::string text;
      if (ReadTextFile(folder + "\\Data\\" + locale + "\\realmlist.wtf", text)) {
        AppendListValue(settings_.realmlist, RealmlistSetting(text));
      }
      // The game's configuration is one file per installation, but it is read for each locale
      // folder, so the service sees one portal line per locale.
      if (ReadTextFile(folder + "\\WTF\\Config.wtf", text)) {
        AppendListValue(settings_.portal, PortalSetting(text));
      }
      for (int kind = 0; kind < kWdbKindCount; ++kind) {
        const std::string path =
            folder + "\\Cache\\WDB\\" + locale + "\\" + kWdbKinds[kind].fileName;
        DataFile file;
        if (!file.Open(path, FileMode::Read)) continue;
        reader_.Attach(file);
        const IdSetList before = wdbIdSets_;
        if (PrepareWdbFile(kind, reader_, path, locale, wdbIdSets_, copy_) &&
            !Add(CachePackageFileName(edition, version, locale, kWdbKinds[kind].fileName))) {
          wdbIdSets_ = before;  // not sent: its records stay new
        }
      }
    }
  }

  void WalkAdbLocales(GameEdition edition, const std::string& folder, const std::string& version) {
    std::vector<std::string> locales;
    ListCacheLocales(folder, CacheFolderKind::ADB, locales);
    for (const std::string& locale : locales) {
      for (int kind = 0; kind < kAdbKindCount; ++kind) {
        const std::string path =
            folder + "\\Cache\\ADB\\" + locale + "\\" + kAdbKinds[kind].fileName;
        DataFile file;
        if (!file.Open(path, FileMode::Read)) continue;
        reader_.Attach(file);
        const IdSetList before = adbIdSets_;
        if (PrepareAdbFile(kind, reader_, path, locale, adbIdSets_, copy_) &&
            !Add(CachePackageFileName(edition, version, locale, kAdbKinds[kind].fileName))) {
          adbIdSets_ = before;  // not sent: its records stay new
        }
      }
    }
  }

  void WalkAccounts(GameEdition edition, const std::string& folder, const std::string& version) {
    static const AccountExclusionMap kNone;
    const AccountExclusionMap& exclusions = sources_.exclusions ? *sources_.exclusions : kNone;
    UploadStateMap unused;
    UploadStateMap& states = sources_.states ? *sources_.states : unused;
    for (const FolderEntry& account : ListFolder(folder + "\\WTF\\Account", "*.*")) {
      const std::string path = SavedVariablesPath(folder, account.name);
      DataFile file;
      if (!file.Open(path, FileMode::Read)) continue;
      const int64_t size = file.Size();
      const char* data = size > 0 ? file.ReadAll() : nullptr;
      if (!data) continue;
      const std::string text(data, file.ReadAllSize());
      file.Close();
      int& state = states[path];
      if ((state & UPLOADED_ALL) == UPLOADED_ALL) continue;
      const int stateBefore = state;

      int32_t dataVersion = 0;
      if (ReadAddonDataVersion(text, &dataVersion)) {
        settings_.addonVersion = std::max(settings_.addonVersion, dataVersion);
      }
      // The exclusion list holds upper-cased names; the scan decides the same way.
      const bool excluded = sources_.noCharacterData || IsAccountExcluded(exclusions, account.name);
      copy_ = AddonUploadCopy(text, excluded, state);
      LogLine() << "Preparing '" << path << "' (" << size << " bytes).";
      // An empty copy still goes: the service learns that the account has nothing new.
      if (!Add(AddonPackageFileName(edition, version, account.name))) state = stateBefore;
    }
  }

  // False when the file could not be compressed: it is left out of the package.
  bool Add(const std::string& fileName) {
    const bool compressed = sources_.compress
                                ? sources_.compress(copy_.data(), copy_.size(), compressed_)
                                : GzipCompress(copy_.data(), copy_.size(), compressed_);
    if (!compressed) {
      LogLine() << "GZip failed: " << LastGzipError();
      return false;
    }
    sink_(fileName, compressed_);
    ++files_;
    return true;
  }

  const PackageSources& sources_;
  IdSetList& wdbIdSets_;
  IdSetList& adbIdSets_;
  const PackageSink& sink_;
  PackageSettings& settings_;
  FileReader reader_;  // one read window for every cache file
  std::string copy_;   // reused, so its memory is allocated once for the largest file
  std::string compressed_;
  int files_ = 0;
};

}  // namespace

int BuildUploadPackage(const PackageSources& sources, IdSetList& wdbIdSets, IdSetList& adbIdSets,
                       const PackageSink& sink, PackageSettings& settings) {
  settings = PackageSettings();
  return PackageWalk(sources, wdbIdSets, adbIdSets, sink, settings).Run();
}

std::string CheckedGameVersion(GameEdition edition, const std::string& folder) {
  std::string version;
  if (!IsValidGameFolder(edition, folder) ||
      !GetGameExecutableInfo(folder, edition, nullptr, &version)) {
    return std::string();
  }
  return version;
}

std::string ResponseLocale(const std::string (&gameFolders)[kEditionCount]) {
  std::vector<std::vector<std::string>> lists;
  for (GameEdition edition : kEditions) {
    const std::string& folder = gameFolders[edition];
    if (folder.empty() || !IsValidGameFolder(edition, folder)) continue;
    lists.emplace_back();
    ListCacheLocales(folder, CacheFolderKind::WDB, lists.back());
  }
  return ResponseLocaleOf(lists);
}

std::string OsVersionText() {
  OSVERSIONINFOEXA info = {};
  info.dwOSVersionInfoSize = sizeof info;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  const BOOL known = GetVersionExA(reinterpret_cast<OSVERSIONINFOA*>(&info));
#pragma GCC diagnostic pop
  if (!known) return std::string();
  return FormatOsVersion(info.dwMajorVersion, info.dwMinorVersion, info.wServicePackMajor,
                         info.wServicePackMinor, info.wSuiteMask);
}

}  // namespace drovane
