#pragma once
// The names the scans' log lines give the three installations.
#include "game/GameEdition.h"

namespace drovane {

inline const char* EditionDisplayName(GameEdition edition) {
  static const char* const kNames[kEditionCount] = {"Live", "PTR", "Beta"};
  return kNames[edition >= 0 && edition < kEditionCount ? edition : Live];
}

}  // namespace drovane
