#pragma once
// Writes a fakegame run's data into the installation: WDB records added, ADB files written
// anew, add-on files changed.
#include <cstdint>
#include <string>

#include "fakegame/FakeGameOptions.h"

namespace drovane::fakegame {

// gameFolder in the system code page, without a trailing '\'. Every file is replaced in one
// step (temporary file, then rename); an add-on file's old content is kept beside it as
// "+Drovane_Looter.lua.bak", as the game keeps the previous SavedVariables. Stops at the first
// failure with error set.
bool WriteGameData(const FakeGameOptions& options, const std::string& gameFolder, uint32_t build,
                   std::string& error);

}  // namespace drovane::fakegame
