#pragma once
// The two game configuration files the client reads a line from: "Data\<locale>\realmlist.wtf"
// ("set realmlist <host>") and "WTF\Config.wtf" ("SET portal \"<region>\"").
#include <string>

namespace drovane::fixture {

// "set realmlist <realmlist>" and "set patchlist <patchlist>" lines; an empty realm list
// leaves its line out.
std::string RealmlistText(const std::string& realmlist);

// Config.wtf as the game writes it: one "SET name \"value\"" line per setting; the portal line
// sits among the others and is left out when portal is empty.
std::string ConfigWtfText(const std::string& portal, const std::string& locale,
                          const std::string& accountName);

}  // namespace drovane::fixture
