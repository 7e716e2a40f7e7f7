#pragma once
// Where each edition of the game is installed, and whether a folder really holds it.
#include <string>
#include <vector>

#include "game/GameEdition.h"

namespace drovane {

// The edition's folder from the game's own registry record (64-bit view, then 32-bit), when one
// of the edition's executables is there; otherwise empty.
std::string InstallPathFor(GameEdition edition);

// File description and "a.b.c.d" version of an executable's version resource.
bool ReadExecutableInfo(const std::string& path, std::string* description, std::string* version);
// Of the edition's first executable in the folder, else of its second.
bool GetGameExecutableInfo(const std::string& folder, GameEdition edition, std::string* description,
                           std::string* version);
// The folder holds the edition's game of major version 7.
bool IsValidGameFolder(GameEdition edition, const std::string& folder);

// One of the edition's executables is in the folder.
bool HasEditionExecutable(GameEdition edition, const std::string& folder);

// Asks the player for a file: shows the open-file dialog (ChooseFile below; tests give their own)
// and returns the chosen path, or false when the player cancelled.
using FileChooser = bool (*)(const std::string& title, const std::string& filter,
                             std::string& chosenPath);

// The open-file dialog: returns the offset of the file name inside the chosen path, or -1 when
// the player cancelled. The filter is a label and a pattern separated by '\0'.
int ChooseFile(const std::string& title, std::string& path, const std::string& filter, void* owner);

enum class CacheFolderKind { WDB, ADB };
// The four-character locale folders of folder\Cache\WDB (or ADB), in the order listed.
void ListCacheLocales(const std::string& folder, CacheFolderKind kind,
                      std::vector<std::string>& out);

}  // namespace drovane
