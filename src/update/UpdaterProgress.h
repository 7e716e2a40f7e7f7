#pragma once
// What the updater window shows of a running download. Pure.
#include <cstdint>
#include <string>

#include "update/UpdateList.h"

namespace drovane {

struct UpdaterProgress {
  int barPosition = 0;  // 0 to 100
  std::string text;     // "42% of 1.5 MB"
};

// A tick while a response arrives: the text tells the current transfer; the bar tells the same,
// except during file downloads, where it tells the whole download across all files.
UpdaterProgress ReceivingProgress(UpdatePhase phase, uint32_t bytes, uint32_t total,
                                  uint32_t downloadedBytes, uint32_t downloadTotal);
// "Update is complete: 1 file was updated." / "... 2 files were updated."
std::string UpdateCompleteText(uint32_t filesUpdated);

}  // namespace drovane
