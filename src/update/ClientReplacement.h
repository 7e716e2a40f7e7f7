#pragma once
// Putting a new client executable in place of the running one. A running executable cannot be
// overwritten, but it can be renamed: the old file moves aside to a ".delete" name (deleted by
// the restarted client, or at the next system start), and the new one, written beside it first,
// takes its name.
#include <windows.h>

#include <string>

namespace drovane {

// The renames go through this, so a test can make one of them fail.
using MoveFunction = BOOL(WINAPI*)(LPCSTR existing, LPCSTR target);

// executable + RandomMd5Hex() + suffix, drawn again while a file of that name exists.
std::string FreeNameBeside(const std::string& executable, const char* suffix);

// Writes the content to a ".new" file beside the executable and flushes it to the disk, moves
// the executable to a ".delete" name (returned in oldFile) and the new file to the executable's
// name. On failure the executable in place is the original (moved back when the second rename
// failed) and the ".new" file is removed.
bool ReplaceExecutable(const std::string& executable, const std::string& content,
                       std::string& oldFile, MoveFunction move = MoveFileA);

// True only for the name ReplaceExecutable moves the executable to: the executable's own path
// followed by 32 hexadecimal characters and ".delete". The restarted client deletes the file its
// command line names only when this holds, so the command line cannot make it delete anything
// else.
bool IsRenamedAsideClient(const std::string& candidate, const std::string& executable);

// The restarted client's parameters: selfupdate "<old file>" normal|hidden.
std::string RestartParameters(const std::string& oldFile, bool mainWindowVisible);

}  // namespace drovane
