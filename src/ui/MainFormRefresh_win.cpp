// The window side of a refresh: the scanners' rows shown in the two lists.
#include "base/FileLog.h"
#include "data/DataScan.h"
#include "data/UploadStateMap.h"
#include "data/UploadedIdSet.h"
#include "game/EditionNames.h"
#include "game/GameDiscovery.h"
#include "settings/AccountExclusions.h"
#include "settings/Settings.h"
#include "ui/ListView.h"
#include "ui/MainForm.h"
#include "upload/UploadPackage.h"

namespace drovane {

void MainForm::RefreshData() {
  if (uploading) {
    refreshAfterUpload = true;
    return;
  }
  DataScanSources sources;
  for (GameEdition edition : kEditions) {
    const std::string folder = settings->GetGameFolder(edition);
    // Counted only where an upload would take it: an installation whose game version cannot be
    // read (or is too old) is skipped by the upload, so its data is never "available".
    if (!folder.empty() && CheckedGameVersion(edition, folder).empty()) {
      LogLine() << "The " << EditionDisplayName(edition) << " installation in " << folder
                << " is not counted: its game executable is missing or older than the client "
                   "supports, so uploads skip it.";
      continue;
    }
    sources.gameFolders[edition] = folder;
  }
  sources.noCharacterData = settings->HasPreference(PREF_NO_CHARACTER_DATA);
  sources.exclusions = &AccountExclusions();
  sources.listLocales = ListCacheLocales;
  sources.loadIdSet = StateFolderIdSetLoader(StateFolder());
  const DataScanResult result = ScanGameData(sources, UploadStates());

  counters = result.caches;
  accounts = result.accounts;
  std::vector<std::vector<std::string>> cacheRows, accountRows;
  for (const CacheRowTexts& row : result.cacheRows) {
    cacheRows.push_back({row.type, row.count, row.size, row.uploaded, row.description});
  }
  for (const AccountRowTexts& row : result.accountRows) {
    accountRows.push_back({row.name, row.size, row.loots, row.locations, row.prices, row.profiles});
  }
  FillLists(cacheRows, accountRows);
  hasDataToUpload = result.hasDataToUpload;
  EnableWindow(uploadButton(), hasDataToUpload);
}

void MainForm::FillLists(const std::vector<std::vector<std::string>>& cacheRows,
                         const std::vector<std::vector<std::string>>& accountRows) {
  for (HWND list : {sharedCacheList(), accountList()}) {
    SendMessageA(list, WM_SETREDRAW, FALSE, 0);
    SendMessageA(list, LVM_DELETEALLITEMS, 0, 0);
  }
  for (const auto& row : accountRows) AppendListRow(accountList(), row);
  for (const auto& row : cacheRows) AppendListRow(sharedCacheList(), row);
  for (HWND list : {sharedCacheList(), accountList()}) {
    SendMessageA(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
  }
}

}  // namespace drovane
