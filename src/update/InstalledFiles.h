#pragma once
// The files a self-update run maintains on this machine: comparing them with the list, copying a
// current add-on file between game installations, and writing downloaded files in place.
// Entries reach here only after their targets were confined (TargetConfinement.h).
#include <array>
#include <string>

#include "base/FileSystem.h"  // FreeNameBeside

#include "game/GameEdition.h"
#include "update/UpdateList.h"

namespace drovane {

// The game folders of Live, PTR and Beta; an empty one is an installation the client does not
// know, which is skipped.
using GameFolders = std::array<std::string, kEditionCount>;

// Compares one entry with this machine and sets kNeedsDownload when it must be fetched. A file
// is current when its size and both digests (MD5 and SHA-256) are the entry's.
// A game file is looked for in the installations it serves (Live, PTR, Beta); the first current
// copy is copied to the other installations, so nothing is downloaded that one installation
// already has. A game file for no known installation is left alone (it is dropped).
// Any other file has "%AppPath%" replaced in its targetDir and is compared there.
void CheckEntry(UpdateEntry& entry, const GameFolders& gameFolders, const std::string& appDataDir);

// Writes a downloaded entry into every known installation it serves (folders created), or into
// its targetDir. False as soon as one target cannot be written; targets written before stay.
bool StoreEntry(const UpdateEntry& entry, const std::string& content,
                const GameFolders& gameFolders);

// Creates or truncates the file, writes the content through the system directly and flushes it
// to the disk before closing, so a failed write (a full disk) or a failed close is seen here
// rather than lost, and the file is whole on disk before anything renames it into place.
bool WriteWholeFile(const std::string& path, const std::string& content);

// Writes the content through a temporary file in the same folder that then takes the target's
// place, so an interrupted write never leaves a half-written file. A read-only target is made
// writable first; the new file is not read-only.
bool WriteFileInPlace(const std::string& path, const std::string& content);

// Copies a file the same way: a temporary copy, flushed and made writable, then moved over the
// target.
bool CopyFileInPlace(const std::string& source, const std::string& target);

}  // namespace drovane
