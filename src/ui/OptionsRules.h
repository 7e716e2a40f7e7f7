#pragma once
// What the Options dialog decides without a window: which file a browse may pick for an edition,
// the folder it then takes, and what the dialog tells the player about each edition.
// Pure: no Windows headers.
#include <string>

#include "game/GameEdition.h"

namespace drovane {

// The file name (after the last backslash) is one of the edition's two executables, whatever the
// letter case: "WOW.EXE" picks a Live folder, "WowT.exe" does not.
bool IsEditionExecutable(GameEdition edition, const std::string& path);

// The path up to its last backslash; empty when it has none.
std::string FolderOfFile(const std::string& path);

struct EditionMessages {
  const char* browseRefusal;  // a browsed file that is not the edition's executable
  const char* detectFailure;  // the game's own record names no valid folder
  const char* invalidFolder;  // the folder in the edit fails the check at OK
};
const EditionMessages& MessagesOf(GameEdition edition);

}  // namespace drovane
