#pragma once
// The client's data folder lies in the shared application data folder, like the game's own
// caches it describes, so every Windows user of the computer uses the same one. A folder made
// there belongs to the user who made it: the others may add files but not change or replace
// them, so their clients could not keep the upload state. The client that made the folder (or
// owns it) lets the computer's users change what it holds.
#include <windows.h>

#include <string>

namespace drovane {

enum class DataFolderAccess {
  Shared,         // the folder now lets every user change its files
  AlreadyShared,  // it did already
  NotOwner,       // another user owns it and has not shared it yet
  Failed,         // its security could not be read or written
};

// Adds, when missing, an entry that lets the built-in Users group read, write and delete in the
// folder, inherited by everything in it; the folder must exist.
DataFolderAccess ShareDataFolder(const std::string& folder);

// Whether an access list lets the Users group read, write and delete, inherited by what the
// folder holds (a missing list lets everyone do everything).
bool GrantsUsersModify(const ACL* dacl);
// The list with such an entry added (LocalAlloc'd: the caller frees it with LocalFree); null when
// it could not be made.
ACL* WithUsersModify(ACL* dacl);

// The log line for a result.
const char* DataFolderAccessText(DataFolderAccess access);

}  // namespace drovane
