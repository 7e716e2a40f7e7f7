#pragma once
// PrepareUpload's walk over the game installations: the upload copies of every cache file with
// new records and of every add-on file not fully uploaded, compressed and handed to a sink (the
// upload request), with the settings the upload reports beside them.
#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "data/UploadStateMap.h"
#include "game/GameEdition.h"
#include "settings/AccountExclusions.h"
#include "upload/UploadCopy.h"

namespace drovane {

struct PackageSources {
  std::string gameFolders[kEditionCount];  // empty: edition not configured
  bool noCharacterData = false;            // PREF_NO_CHARACTER_DATA: no account sends its export
  const AccountExclusionMap* exclusions = nullptr;  // null: nothing excluded
  UploadStateMap* states = nullptr;                 // the add-on files' upload states
  // Compresses a package file; null: GzipCompress. Tests make it fail.
  std::function<bool(const char* data, size_t size, std::string& out)> compress;
};

// What the walk found besides the files.
struct PackageSettings {
  std::string realmlist;     // realm list servers, one per line
  std::string portal;        // portals, one per line (one per WDB locale folder)
  int32_t addonVersion = 0;  // the newest dlVersion
};

// Receives each package file, in package order: its name and its gzip content (which the sink
// may move away).
using PackageSink = std::function<void(const std::string& fileName, std::string& content)>;

// How a package is built: on how many threads its files are compressed, a flag that stops the
// walk at the next file (what it returns then is to be dropped), and the progress, told as the
// files the walk has done out of those it found. progress is called on the walking thread.
struct PackageControl {
  int threads = 1;
  const std::atomic<bool>* cancel = nullptr;
  std::function<void(int done, int total)> progress;
};

// Walks Live, PTR and Beta (each only when its folder holds the game, version 7): per WDB locale
// folder the realm list and portal settings and the four WDB kinds, per ADB locale folder the
// seven ADB kinds, then every account's add-on file. New record ids are added to the id sets
// and new bits to the upload states, in memory only, and only for the files handed over: a file
// that cannot be compressed is left out and its ids and bits stay as they were. Returns the
// number of files handed over. The copies are made in order on the calling thread, which the sink
// and the progress are called on too; the files are compressed on control.threads others.
int BuildUploadPackage(const PackageSources& sources, IdSetList& wdbIdSets, IdSetList& adbIdSets,
                       const PackageSink& sink, PackageSettings& settings,
                       const PackageControl& control = PackageControl());

// The game version of an installation when its folder holds the edition's game of major version
// 7 ("7.0.3.22522"); empty otherwise.
std::string CheckedGameVersion(GameEdition edition, const std::string& folder);

// The locale sent with both requests (ResponseLocaleOf over the installations that pass the
// executable check).
std::string ResponseLocale(const std::string (&gameFolders)[kEditionCount]);

// "%d.%d.%d.%d.%d" of the running system, empty when it cannot be asked.
std::string OsVersionText();

}  // namespace drovane
