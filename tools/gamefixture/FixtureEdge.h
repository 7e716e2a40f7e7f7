#pragma once
// The Windows side of the stand-in programs: their command line, paths in the system code
// page, version resources, copying executables and the game's registry record.
#include <cstdint>
#include <string>
#include <vector>

#include "app/GameEdition.h"

namespace drovane::fixture {

// The program's arguments after its name, as UTF-8 (account names may be any text).
std::vector<std::string> CommandLineUtf8();

// Paths go to the system's "A" functions, as the client's do: a UTF-8 path becomes the system
// code page's. An account folder name is the exception: it stays UTF-8 bytes (see README.md).
std::string Utf8ToAnsi(const std::string& text);

// The folder of the running executable, without a trailing '\'.
std::string ModuleFolder();
// The full form of a path (relative to the working folder), without a trailing '\'.
std::string FullPath(const std::string& path);

// The four numbers of an executable's fixed file version, most significant first; the game's
// build number (the one its caches carry) is the last.
bool ReadExecutableVersion(const std::string& path, uint16_t (&parts)[4]);

bool CopyExecutable(const std::string& source, const std::string& target, std::string& error);

// HKEY_LOCAL_MACHINE\<edition's game key> "InstallPath" (REG_SZ) in the 64-bit or 32-bit view.
bool WriteInstallPath(GameEdition edition, const std::string& value, bool view32,
                      std::string& error);
// Deleting a record that is not there succeeds.
bool DeleteInstallPath(GameEdition edition, bool view32, std::string& error);

// "<text> (error <code>: <system message>)" for the last Windows error.
std::string WithLastError(const std::string& text);

}  // namespace drovane::fixture
