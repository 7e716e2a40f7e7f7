// The walk over the installations that PrepareUpload runs: which files it opens, in which order,
// and what it reads besides the cache and add-on files.
#include "upload/UploadPackage.h"

#include <windows.h>

#include <algorithm>

#include "base/DataFile.h"
#include "base/FileLog.h"
#include "base/FileSystem.h"
#include "data/AccountData.h"
#include "data/ByteReader.h"
#include "data/CacheKind.h"
#include "data/SavedVariables.h"
#include "game/GameDiscovery.h"
#include "upload/AddonCopy.h"
#include "upload/CompressionPipeline.h"
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

// One file of the package to be: what the walk found, in the order the package takes them.
struct PlannedFile {
  enum class Kind { Wdb, Adb, Addon } kind;
  GameEdition edition;
  std::string version;
  std::string locale;   // cache files
  int kindIndex = 0;    // cache files: index in kWdbKinds or kAdbKinds
  std::string account;  // add-on files
  std::string path;
};

class PackageWalk {
 public:
  PackageWalk(const PackageSources& sources, IdSetList& wdbIdSets, IdSetList& adbIdSets,
              const PackageSink& sink, PackageSettings& settings, const PackageControl& control)
      : sources_(sources),
        wdbIdSets_(wdbIdSets),
        adbIdSets_(adbIdSets),
        sink_(sink),
        settings_(settings),
        control_(control) {}

  int Run() {
    std::vector<PlannedFile> plan;
    for (GameEdition edition : kEditions) {
      const std::string& folder = sources_.gameFolders[edition];
      if (folder.empty()) continue;
      const std::string version = CheckedGameVersion(edition, folder);
      if (version.empty()) continue;
      PlanWdbLocales(edition, folder, version, plan);
      PlanAdbLocales(edition, folder, version, plan);
      PlanAccounts(edition, folder, version, plan);
    }
    total_ = static_cast<int>(plan.size());
    Report();
    // The copies are made here, one after another, as each adds its ids to the sets the next
    // one looks at; their compression, the long part, runs on the pipeline's threads meanwhile.
    CompressionPipeline pipeline(
        std::max(control_.threads, 1), static_cast<size_t>(std::max(control_.threads, 1)) + 1,
        [this](const std::string& copy, std::string& out, std::string& reason) {
          const bool compressed =
              sources_.compress ? sources_.compress(copy.data(), copy.size(), out)
                                : GzipCompress(copy.data(), copy.size(), out, control_.cancel);
          if (!compressed) reason = LastGzipError();
          return compressed;
        });
    for (const PlannedFile& file : plan) {
      if (Cancelled()) break;
      switch (file.kind) {
        case PlannedFile::Kind::Wdb:
          AddCacheFile(file, wdbIdSets_, pipeline);
          break;
        case PlannedFile::Kind::Adb:
          AddCacheFile(file, adbIdSets_, pipeline);
          break;
        case PlannedFile::Kind::Addon:
          AddAddonFile(file, pipeline);
          break;
      }
    }
    pipeline.Finish();
    return files_;
  }

 private:
  bool Cancelled() const { return control_.cancel && control_.cancel->load(); }

  void PlanWdbLocales(GameEdition edition, const std::string& folder, const std::string& version,
                      std::vector<PlannedFile>& plan) {
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
        plan.push_back({PlannedFile::Kind::Wdb, edition, version, locale, kind, std::string(),
                        folder + "\\Cache\\WDB\\" + locale + "\\" + kWdbKinds[kind].fileName});
      }
    }
  }

  void PlanAdbLocales(GameEdition edition, const std::string& folder, const std::string& version,
                      std::vector<PlannedFile>& plan) {
    std::vector<std::string> locales;
    ListCacheLocales(folder, CacheFolderKind::ADB, locales);
    for (const std::string& locale : locales) {
      for (int kind = 0; kind < kAdbKindCount; ++kind) {
        plan.push_back({PlannedFile::Kind::Adb, edition, version, locale, kind, std::string(),
                        folder + "\\Cache\\ADB\\" + locale + "\\" + kAdbKinds[kind].fileName});
      }
    }
  }

  void PlanAccounts(GameEdition edition, const std::string& folder, const std::string& version,
                    std::vector<PlannedFile>& plan) {
    for (const FolderEntry& account : ListFolder(folder + "\\WTF\\Account", "*.*")) {
      plan.push_back({PlannedFile::Kind::Addon, edition, version, std::string(), 0, account.name,
                      SavedVariablesPath(folder, account.name)});
    }
  }

  void AddCacheFile(const PlannedFile& planned, IdSetList& sets, CompressionPipeline& pipeline) {
    DataFile file;
    if (!file.Open(planned.path, FileMode::Read)) return Skip();
    reader_.Attach(file);
    std::string copy;
    std::vector<IdSetList::TakenId> taken;
    sets.journal = &taken;
    const bool wdb = planned.kind == PlannedFile::Kind::Wdb;
    const bool copied =
        wdb ? PrepareWdbFile(planned.kindIndex, reader_, planned.path, planned.locale, sets, copy)
            : PrepareAdbFile(planned.kindIndex, reader_, planned.path, planned.locale, sets, copy);
    sets.journal = nullptr;
    if (!copied) return Skip();
    const std::string name = CachePackageFileName(
        planned.edition, planned.version, planned.locale,
        wdb ? kWdbKinds[planned.kindIndex].fileName : kAdbKinds[planned.kindIndex].fileName);
    // Not sent: the copy's records stay new.
    Submit(pipeline, std::move(copy), name,
           [&sets, taken = std::move(taken)] { sets.TakeBack(taken); });
  }

  void AddAddonFile(const PlannedFile& planned, CompressionPipeline& pipeline) {
    static const AccountExclusionMap kNone;
    const AccountExclusionMap& exclusions = sources_.exclusions ? *sources_.exclusions : kNone;
    UploadStateMap& states = sources_.states ? *sources_.states : unusedStates_;
    DataFile file;
    if (!file.Open(planned.path, FileMode::Read)) return Skip();
    const int64_t size = file.Size();
    const char* data = size > 0 ? file.ReadAll() : nullptr;
    if (!data) return Skip();
    const std::string text(data, file.ReadAllSize());
    file.Close();
    int& state = states[planned.path];
    if ((state & UPLOADED_ALL) == UPLOADED_ALL) return Skip();
    const int stateBefore = state;

    int32_t dataVersion = 0;
    if (ReadAddonDataVersion(text, &dataVersion)) {
      settings_.addonVersion = std::max(settings_.addonVersion, dataVersion);
    }
    // The exclusion list holds upper-cased names; the scan decides the same way.
    const bool excluded =
        sources_.noCharacterData || IsAccountExcluded(exclusions, planned.account);
    std::string copy = AddonUploadCopy(text, excluded, state);
    LogLine() << "Preparing '" << planned.path << "' (" << size << " bytes).";
    // An empty copy still goes: the service learns that the account has nothing new. Not sent,
    // the file keeps its state.
    Submit(pipeline, std::move(copy),
           AddonPackageFileName(planned.edition, planned.version, planned.account),
           [&state, stateBefore] { state = stateBefore; });
  }

  // A planned file that gives nothing to the package still counts as done.
  void Skip() {
    ++done_;
    Report();
  }

  void Report() {
    if (control_.progress) control_.progress(done_, total_);
  }

  // The file goes into the package once compressed; else it is left out and undo puts back
  // what its copy changed in the bookkeeping.
  void Submit(CompressionPipeline& pipeline, std::string copy, const std::string& fileName,
              std::function<void()> undo) {
    pipeline.Submit(std::move(copy),
                    [this, fileName, undo = std::move(undo)](bool compressed, std::string& out,
                                                             const std::string& reason) {
                      if (compressed) {
                        sink_(fileName, out);
                        ++files_;
                      } else {
                        LogLine() << "GZip failed: " << reason;
                        undo();
                      }
                      ++done_;
                      Report();
                    });
  }

  const PackageSources& sources_;
  IdSetList& wdbIdSets_;
  IdSetList& adbIdSets_;
  const PackageSink& sink_;
  PackageSettings& settings_;
  const PackageControl& control_;
  FileReader reader_;  // one read window for every cache file
  UploadStateMap unusedStates_;
  int files_ = 0;
  int done_ = 0;
  int total_ = 0;
};

}  // namespace

int BuildUploadPackage(const PackageSources& sources, IdSetList& wdbIdSets, IdSetList& adbIdSets,
                       const PackageSink& sink, PackageSettings& settings,
                       const PackageControl& control) {
  settings = PackageSettings();
  return PackageWalk(sources, wdbIdSets, adbIdSets, sink, settings, control).Run();
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
