#pragma once
// The Windows side of the stand-in programs: their command line, files and folders, version
// resources, copying executables and the game's registry record.
//
// Paths and names are UTF-8 and go to the wide ("W") functions, so a folder is named exactly as
// given (an account "ΩMEGA", a game in "C:\Jeux\Élan") whatever the system's ANSI code page is,
// as the game names its own folders.
#include <cstdint>
#include <string>
#include <vector>

#include "game/GameEdition.h"

namespace drovane::fixture {

// The program's arguments after its name, as UTF-8 (account names may be any text).
std::vector<std::string> CommandLineUtf8();

// The folder of the running executable, without a trailing '\'.
std::string ModuleFolder();
// The full form of a path (relative to the working folder), without a trailing '\'.
std::string FullPath(const std::string& path);

// Creates the folder and every missing folder above it; existing ones count as success.
bool CreateFolderTree(const std::string& path);
// Writes the file anew (created or truncated) with exactly these bytes; false when it could not
// be opened or written whole.
bool WriteWholeFile(const std::string& path, const std::string& bytes);

// The four numbers of an executable's fixed file version, most significant first; the game's
// build number (the one its caches carry) is the last.
bool ReadExecutableVersion(const std::string& path, uint16_t (&parts)[4]);

bool CopyExecutable(const std::string& source, const std::string& target, std::string& error);

// HKEY_LOCAL_MACHINE\<edition's game key> "InstallPath" (REG_SZ, the UTF-8 value as Unicode
// text) in the 64-bit or 32-bit view.
bool WriteInstallPath(GameEdition edition, const std::string& value, bool view32,
                      std::string& error);
// Deleting a record that is not there succeeds.
bool DeleteInstallPath(GameEdition edition, bool view32, std::string& error);

// "<text> (error <code>: <system message>)" for the last Windows error.
std::string WithLastError(const std::string& text);

}  // namespace drovane::fixture
