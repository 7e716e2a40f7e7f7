#pragma once
// Whether the game runs, asked every two seconds by the main window's watch and before the add-on
// files are written after an upload.
#include <string>

#include "game/GameEdition.h"

namespace drovane {

// A process of any edition's executable runs from one of the folders.
bool IsGameRunning(const std::string (&gameFolders)[kEditionCount]);

}  // namespace drovane
