#pragma once
// The bytes fakegame writes into an installation, as pure functions of what was there before.
#include <cstdint>
#include <string>

#include "fakegame/FakeGameOptions.h"

namespace drovane::fakegame {

// The WDB file after the game added the records of append (build and locale of the run).
// restarted tells whether the old file was dropped (another build, kind or no header).
std::string AppendWdb(const std::string& existing, const WdbAppend& append,
                      const FakeGameOptions& options, uint32_t build, bool* restarted = nullptr);

// A fresh ADB file of write's records in the run's format.
std::string WriteAdb(const AdbWrite& write, const FakeGameOptions& options, uint32_t build);

// The add-on file after the change; an empty text (no file yet) starts from an empty add-on
// file. Collecting adds loot lines, adds their number to the fourth counter (when the counters
// can be read) and sets dlUploaded to 0, since the file then holds data not yet uploaded.
std::string ApplyAddonChange(const std::string& text, const AddonChange& change, uint64_t seed);

}  // namespace drovane::fakegame
