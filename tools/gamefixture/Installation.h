#pragma once
// The data files of a sample installation: the add-on files of the accounts, the WDB and ADB
// caches of every locale, the realm lists and Config.wtf. Pure: writing them is the Windows
// side's (InstallationFiles.h), as are the executables and the registry record
// (gamefixture_win.cpp).
#include <cstdint>
#include <string>
#include <vector>

#include "gamefixture/FixtureOptions.h"

namespace drovane::fixture {

struct WrittenFile {
  std::string relativePath;  // from the installation folder, '\' separated
  uint64_t size = 0;
};

// A file of the installation and how to make its bytes, so files are built one at a time and
// a large installation never needs more memory than its largest file.
struct PlannedFile {
  std::string relativePath;
  enum class Kind { Addon, Wdb, Adb, Realmlist, Config } kind;
  size_t localeIndex = 0;
  int index = 0;  // the account, WDB kind or ADB kind
};

// Every data file the options ask for, in the order they are written.
std::vector<PlannedFile> PlanInstallation(const FixtureOptions& options);

// The bytes of one planned file; build goes into the cache headers.
std::string BuildPlannedFile(const FixtureOptions& options, const PlannedFile& file,
                             uint32_t build);

}  // namespace drovane::fixture
