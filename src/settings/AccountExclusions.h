#pragma once
// The game accounts whose character data is not uploaded: a process-wide set of upper-cased
// account names, stored one per line in "account.block" in the application data folder.
#include <functional>
#include <map>
#include <string>

namespace drovane {

// Ordered by the key's bytes; an entry excludes its account only when its value is not empty.
// Entries made by the client have key and value equal: the name in upper case.
using AccountExclusionMap = std::map<std::string, std::string>;

// The process-wide map, used on the main thread only.
AccountExclusionMap& AccountExclusions();

// Whether the account is excluded: Utf8ToUpper of the name has an entry with a non-empty value.
bool IsAccountExcluded(const AccountExclusionMap& exclusions, const std::string& name);
bool IsAccountExcluded(const std::string& name);

// File text -> entries: the text is split at every line feed, empty pieces are skipped and every
// other piece becomes an entry as written (nothing trimmed, case kept). Existing entries stay.
void AddAccountExclusionLines(const std::string& text, AccountExclusionMap& exclusions);
// Entries -> file text: every non-empty key followed by a line feed, in map order.
std::string AccountExclusionFileText(const AccountExclusionMap& exclusions);

// Reads the file into the map; a missing, empty or unreadable file leaves the map as it was.
// False when nothing was read.
bool LoadAccountExclusions(const std::string& path, AccountExclusionMap& exclusions);
// Rewrites the file in one step (a temporary file replaces it), so a failed write never leaves a
// cut list; the folder is not created. False when the file could not be written.
bool SaveAccountExclusions(const std::string& path, const AccountExclusionMap& exclusions);

// AppDataDir + "account.block".
std::string AccountExclusionsPath();
// The process-wide map and file.
void LoadAccountExclusions();
// Writes the process-wide map, then calls the saved handler (the main window refreshes its
// account list there), whether or not the file could be written.
void SaveAccountExclusions();
void SetAccountExclusionsSavedHandler(std::function<void()> handler);

}  // namespace drovane
