#include "update/UpdaterProgress.h"

#include <algorithm>
#include <cstdio>

#include "base/TextHelpers.h"

namespace drovane {
namespace {

double Percent(double part, double whole) {
  return whole > 0 ? part * 100.0 / whole : 0.0;
}

// Counters that move on another thread can briefly pass their totals; the bar never does.
int BarPosition(double percent) {
  return static_cast<int>(std::min(100.0, std::max(0.0, percent)));
}

}  // namespace

UpdaterProgress ReceivingProgress(UpdatePhase phase, uint32_t bytes, uint32_t total,
                                  uint32_t downloadedBytes, uint32_t downloadTotal) {
  UpdaterProgress progress;
  const double percent = Percent(bytes, total);
  progress.text = ProgressText(percent, total);
  progress.barPosition =
      phase == UpdatePhase::FileDownload
          ? BarPosition(Percent(static_cast<double>(downloadedBytes) + bytes, downloadTotal))
          : BarPosition(percent);
  return progress;
}

std::string UpdateCompleteText(uint32_t filesUpdated) {
  char text[96];
  std::snprintf(text, sizeof text, "Update is complete: %u file%s updated.", filesUpdated,
                filesUpdated < 2 ? " was" : "s were");
  return text;
}

}  // namespace drovane
