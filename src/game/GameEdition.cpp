#include "game/GameEdition.h"

namespace drovane {
namespace {

const EditionInfo kEditionTable[kEditionCount] = {
    {"WoW Folder",
     "SOFTWARE\\Blizzard Entertainment\\World of Warcraft",
     {"\\Wow.exe", "\\Wow-64.exe"},
     "world of warcraft retail",
     "World of Warcraft (Wow.exe or Wow-64.exe)",
     "Wow.exe;Wow-64.exe",
     "Browse for your World of Warcraft folder",
     nullptr},
    {"WoW Folder PTR",
     "SOFTWARE\\Blizzard Entertainment\\World of Warcraft\\PTR",
     {"\\WowT.exe", "\\WowT-64.exe"},
     "world of warcraft ptr",
     "World of Warcraft (WowT.exe or WowT-64.exe)",
     "WowT.exe;WowT-64.exe",
     "Browse for your World of Warcraft PTR folder",
     "AutoDetectedPTR"},
    {"WoW Folder Beta",
     "SOFTWARE\\Blizzard Entertainment\\World of Warcraft\\Beta",
     {"\\WowB.exe", "\\WowB-64.exe"},
     "world of warcraft beta",
     "World of Warcraft (WowB.exe or WowB-64.exe)",
     "WowB.exe;WowB-64.exe",
     "Browse for your World of Warcraft Beta folder",
     "AutoDetectedBeta"},
};

}  // namespace

const EditionInfo& InfoOf(GameEdition edition) {
  return kEditionTable[edition >= 0 && edition < kEditionCount ? edition : Live];
}

std::string BrowseFilterOf(GameEdition edition) {
  const EditionInfo& info = InfoOf(edition);
  return std::string(info.browseFilterLabel) + '\0' + info.browseFilterPattern + '\0';
}

}  // namespace drovane
