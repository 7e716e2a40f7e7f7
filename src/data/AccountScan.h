#pragma once
// The scan of the add-on's SavedVariables files: one per game account in each installation.
#include <cstdint>
#include <string>
#include <vector>

#include "data/AccountData.h"
#include "data/UploadStateMap.h"
#include "game/GameEdition.h"
#include "settings/AccountExclusions.h"

namespace drovane {

struct AccountScanSources {
  std::string gameFolders[kEditionCount];           // empty: edition not configured
  bool noCharacterData = false;                     // PREF_NO_CHARACTER_DATA
  const AccountExclusionMap* exclusions = nullptr;  // null: nothing excluded
};

// Reads every account's add-on file (Live, PTR, Beta; accounts in the order the folder lists
// them), resets and sets each file's upload state, logs one line per file read, appends a row
// per account that has counters and is not fully uploaded, and returns how many accounts still
// have something to upload.
int ScanAccounts(const AccountScanSources& sources, UploadStateMap& states,
                 std::vector<AccountDataEntry>& rows);

}  // namespace drovane
