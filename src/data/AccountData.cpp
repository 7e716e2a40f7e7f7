#include "data/AccountData.h"

#include "base/TextHelpers.h"

namespace drovane {

std::string AccountDisplayName(const std::string& accountFolder) {
  // A cut through a multi-byte character leaves an invalid sequence, which title casing drops.
  return Utf8TitleCase(accountFolder.substr(0, kDisplayNameBytes));
}

std::string SavedVariablesPath(const std::string& gameFolder, const std::string& accountFolder) {
  return gameFolder + "\\WTF\\Account\\" + accountFolder + "\\SavedVariables\\+Drovane_Looter.lua";
}

AccountRowTexts AccountRow(const AccountDataEntry& entry, bool noCharacterData,
                           const AccountExclusionMap& exclusions) {
  AccountRowTexts row;
  row.name = entry.displayName;
  row.size = FormatSize(static_cast<double>(entry.fileSize), false);
  row.loots = std::to_string(entry.stats[3]);
  // Summed in 64 bits: three large counters must not wrap.
  row.locations = std::to_string(int64_t{entry.stats[0]} + entry.stats[1] + entry.stats[2]);
  row.prices = std::to_string(entry.stats[4]);
  if (noCharacterData) {
    row.profiles = "Disabled";
  } else if (IsAccountExcluded(exclusions, entry.accountFolder)) {
    row.profiles = "Blocked";
  } else {
    row.profiles = std::to_string(entry.stats[5]);
  }
  return row;
}

}  // namespace drovane
