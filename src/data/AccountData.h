#pragma once
// One account's add-on data as the main window's account list shows it. Pure.
#include <cstdint>
#include <string>

#include "game/GameEdition.h"
#include "settings/AccountExclusions.h"

namespace drovane {

struct AccountDataEntry {
  GameEdition edition = Live;
  std::string accountFolder;  // the folder name under WTF\Account, whole
  std::string displayName;    // title case of its first 16 bytes
  std::string filePath;
  int64_t fileSize = 0;
  int32_t stats[6] = {};  // the dlStats counters in file order
  int uploadState = 0;
};

// The account list shows at most this many bytes of a folder name.
constexpr size_t kDisplayNameBytes = 16;
// Utf8TitleCase of the first 16 bytes: "MY MAIN" -> "My Main".
std::string AccountDisplayName(const std::string& accountFolder);

// game folder + "\\WTF\\Account\\" + account folder + "\\SavedVariables\\+Drovane_Looter.lua"
std::string SavedVariablesPath(const std::string& gameFolder, const std::string& accountFolder);

struct AccountRowTexts {
  std::string name;
  std::string size;
  std::string loots;      // the fourth counter
  std::string locations;  // the sum of the first three
  std::string prices;     // the fifth
  std::string profiles;   // the sixth, or "Disabled" / "Blocked"
};

// The row of AddAccountRow. "Blocked" is decided by the whole account folder name, so an account
// whose name is longer than its display form is recognised too.
AccountRowTexts AccountRow(const AccountDataEntry& entry, bool noCharacterData,
                           const AccountExclusionMap& exclusions);

}  // namespace drovane
