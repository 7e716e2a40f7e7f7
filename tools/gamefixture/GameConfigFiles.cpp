#include "gamefixture/GameConfigFiles.h"

namespace drovane::fixture {

std::string RealmlistText(const std::string& realmlist) {
  std::string text;
  if (!realmlist.empty()) text += "set realmlist " + realmlist + "\n";
  text += "set patchlist us.version.worldofwarcraft.com\n";
  return text;
}

std::string ConfigWtfText(const std::string& portal, const std::string& locale,
                          const std::string& accountName) {
  std::string text;
  text += "SET readTOS \"1\"\n";
  text += "SET readEULA \"1\"\n";
  text += "SET locale \"" + locale + "\"\n";
  if (!portal.empty()) text += "SET portal \"" + portal + "\"\n";
  if (!accountName.empty()) text += "SET accountName \"" + accountName + "\"\n";
  text += "SET gxWindow \"1\"\n";
  text += "SET gxMaximize \"0\"\n";
  return text;
}

}  // namespace drovane::fixture
