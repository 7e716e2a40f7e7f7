#pragma once
// Putting a new client executable in place of the running one, with a client at the
// executable's path at every moment, whenever the process doing it is killed.
//
// A running executable can be renamed but neither overwritten nor replaced, so the running
// client does not touch its own file: it writes the new client beside itself (flushed and
// closed) under a ".new" name and starts it with "selfupdate-install", then ends. The new client
// waits until the old one has ended, renames itself over the executable's name in one step (a
// running file may be renamed; the old one is no longer running), and starts the client there
// with "selfupdate". Killed before that rename, the old client is at the path; after it, the
// new one.
#include <windows.h>

#include <string>

#include "update/InstalledFiles.h"  // FreeNameBeside

namespace drovane {

// The rename goes through this, so a test can make it fail. It replaces an existing target and
// is written through to the disk.
using MoveFunction = BOOL(WINAPI*)(LPCSTR existing, LPCSTR target);
BOOL WINAPI RenameReplacing(LPCSTR existing, LPCSTR target);

// Starts a program with parameters; false when it could not be started. Tests replace it.
using StartFunction = bool (*)(const std::string& program, const std::string& parameters);
bool StartProgram(const std::string& program, const std::string& parameters);

// Whether this process may put a new client in the executable's place: write a new file beside
// it and rename the executable. A copy installed for every user (Program Files) or in any other
// folder the player may not write cannot; its newer version comes with the setup program. Only
// a refusal of access counts: any other failure (a full disk, say) is left to the write itself.
bool CanReplaceExecutable(const std::string& executable);

// Writes the content to a free ".new" name beside the executable (returned in newFile), flushed
// and closed with the result checked. On failure nothing is left behind.
bool WriteNewClientBeside(const std::string& executable, const std::string& content,
                          std::string& newFile);

// The executable a new client written by WriteNewClientBeside stands in for: its path without
// the 32 hexadecimal characters and ".new". False for any other name, so a new client only ever
// takes the place of the executable beside it.
bool ExecutableOfNewClient(const std::string& newFile, std::string& executable);

// Renames the new client over the executable in one step; tried `attempts` times, pauseMs
// apart, while the old client's file may still be held (by the ending process or a scanner).
bool TakeExecutablePlace(const std::string& newFile, const std::string& executable,
                         MoveFunction move, int attempts, DWORD pauseMs);

// True only for the name an earlier client moved its executable aside to: the executable's own
// path followed by 32 hexadecimal characters and ".delete". A restarted client deletes the file
// its command line names only when this holds, so the command line cannot make it delete
// anything else.
bool IsRenamedAsideClient(const std::string& candidate, const std::string& executable);

// The new client's first start: selfupdate-install normal|hidden.
std::string InstallParameters(bool mainWindowVisible);
// The client's start at its path after the swap: selfupdate "<file>" normal|hidden, the file
// being where the new client was written (gone after the rename; an earlier client gave the
// ".delete" name of its old executable there).
std::string RestartParameters(const std::string& oldFile, bool mainWindowVisible);

}  // namespace drovane
