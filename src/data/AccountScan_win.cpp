// Lists the account folders of each installation and reads their add-on files.
#include "data/AccountScan.h"

#include <algorithm>
#include <iterator>

#include "base/DataFile.h"
#include "base/FileLog.h"
#include "base/FileSystem.h"
#include "data/SavedVariables.h"
#include "game/EditionNames.h"

namespace drovane {

int ScanAccounts(const AccountScanSources& sources, UploadStateMap& states,
                 std::vector<AccountDataEntry>& rows) {
  static const AccountExclusionMap kNone;
  const AccountExclusionMap& exclusions = sources.exclusions ? *sources.exclusions : kNone;
  int pending = 0;
  for (GameEdition edition : kEditions) {
    const std::string& folder = sources.gameFolders[edition];
    if (folder.empty()) continue;
    LogLine() << " - Scanning '" << folder << "' (" << EditionDisplayName(edition) << "):";

    for (const FolderEntry& account : ListFolder(folder + "\\WTF\\Account", "*.*")) {
      if (!account.isDirectory) continue;
      const std::string path = SavedVariablesPath(folder, account.name);
      // Missing, unreadable or too small files are passed over without a line.
      DataFile file;
      if (!file.Open(path, FileMode::Read)) continue;
      const int64_t size = file.Size();
      if (size < kMinimumSavedVariablesSize) continue;
      const char* data = file.ReadAll();
      if (!data) continue;
      const std::string text(data, file.ReadAllSize());
      file.Close();

      const SavedVariablesScan scan = ScanSavedVariablesText(text);
      int& state = states[path];
      state = 0;
      state |= scan.uploadState;
      LogLine() << "  > '" << path << "': " << OutcomeText(scan.outcome);
      if (scan.outcome != SavedVariablesOutcome::NotUploaded) continue;

      if (HasPendingUpload(state, IsAccountExcluded(exclusions, account.name),
                           sources.noCharacterData)) {
        ++pending;
      }
      AccountDataEntry entry;
      entry.edition = edition;
      entry.accountFolder = account.name;
      entry.displayName = AccountDisplayName(account.name);
      entry.filePath = path;
      entry.fileSize = size;
      std::copy(std::begin(scan.stats), std::end(scan.stats), entry.stats);
      entry.uploadState = state;
      rows.push_back(entry);
    }
  }
  return pending;
}

}  // namespace drovane
