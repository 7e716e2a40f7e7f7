#pragma once
// The three installations of the game the client serves, and what the client knows of each.
// Pure: a table of constants.
#include <string>

namespace drovane {

enum GameEdition : int { Live = 0, PTR = 1, Beta = 2 };
constexpr int kEditionCount = 3;
constexpr GameEdition kEditions[kEditionCount] = {Live, PTR, Beta};

struct EditionInfo {
  const char* folderValueName;  // the client's own setting
  const char* gameRegistryKey;  // under HKEY_LOCAL_MACHINE, value "InstallPath"
  const char* executables[2];   // appended to the folder, in the order tried
  const char* ownDescription;   // accepted file description (lower case) besides the common one
  const char* browseFilterLabel;
  const char* browseFilterPattern;
  const char* browseTitle;
  const char*
      autoDetectedValueName;  // statistics value marking the one-time detection; none for Live
};

const EditionInfo& InfoOf(GameEdition edition);

// The open-file dialog's filter for the edition: label, NUL, pattern, NUL.
std::string BrowseFilterOf(GameEdition edition);

// The description every edition accepts.
constexpr char kCommonGameDescription[] = "world of warcraft";

}  // namespace drovane
