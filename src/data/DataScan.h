#pragma once
// The data side of the main window's refresh: the cache inventory and the account scan, with
// every text the two lists show and the Upload button's state, so the window only displays them.
#include <string>
#include <vector>

#include "data/AccountData.h"
#include "data/CacheRows.h"
#include "data/CacheScan.h"
#include "data/UploadStateMap.h"
#include "game/GameEdition.h"
#include "settings/AccountExclusions.h"

namespace drovane {

struct DataScanSources {
  std::string gameFolders[kEditionCount];  // empty: edition not configured
  bool noCharacterData = false;            // PREF_NO_CHARACTER_DATA
  const AccountExclusionMap* exclusions = nullptr;
  LocaleLister listLocales;  // ListCacheLocales in the client
  IdSetLoader loadIdSet;     // UploadedIdSet::Load from StateFolder() in the client
};

struct DataScanResult {
  CacheCounters caches;
  std::vector<AccountDataEntry> accounts;  // in scan order
  int pendingCount = 0;  // cache files with new records plus accounts with something to send
  bool hasDataToUpload = false;
  std::vector<CacheRowTexts> cacheRows;      // the cache list, in display order
  std::vector<AccountRowTexts> accountRows;  // one per account entry
};

// Logs "Refreshing data...", runs ScanCaches and then the account scan, and builds the rows.
DataScanResult ScanGameData(const DataScanSources& sources, UploadStateMap& states);

// The sources the client uses: the id sets come from the state folder, each file read again only
// when it changed (UploadedIdSet::LoadKept).
IdSetLoader StateFolderIdSetLoader(const std::string& stateFolder);

}  // namespace drovane
