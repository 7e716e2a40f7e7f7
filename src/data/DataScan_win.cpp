// RefreshData's data side: both scans and the texts of both lists.
#include "data/DataScan.h"

#include "base/FileLog.h"
#include "data/AccountScan.h"
#include "data/UploadedIdSet.h"

namespace drovane {

DataScanResult ScanGameData(const DataScanSources& sources, UploadStateMap& states) {
  DataScanResult result;
  LogLine() << "Refreshing data...";

  CacheScanSources caches;
  AccountScanSources accounts;
  for (int edition = 0; edition < kEditionCount; ++edition) {
    caches.gameFolders[edition] = sources.gameFolders[edition];
    accounts.gameFolders[edition] = sources.gameFolders[edition];
  }
  caches.listLocales = sources.listLocales;
  caches.loadIdSet = sources.loadIdSet;
  accounts.noCharacterData = sources.noCharacterData;
  accounts.exclusions = sources.exclusions;

  result.pendingCount = ScanCaches(caches, result.caches);
  result.pendingCount += ScanAccounts(accounts, states, result.accounts);

  static const AccountExclusionMap kNone;
  const AccountExclusionMap& exclusions = sources.exclusions ? *sources.exclusions : kNone;
  for (const AccountDataEntry& entry : result.accounts) {
    result.accountRows.push_back(AccountRow(entry, sources.noCharacterData, exclusions));
  }
  result.cacheRows = CacheListRows(result.caches);
  result.hasDataToUpload = result.pendingCount >= 1;
  return result;
}

IdSetLoader StateFolderIdSetLoader(const std::string& stateFolder) {
  return [stateFolder](UploadedIdSet& set) { set.LoadKept(stateFolder); };
}

}  // namespace drovane
