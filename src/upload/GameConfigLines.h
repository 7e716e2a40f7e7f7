#pragma once
// The two game settings the upload reports: the realm list server from "realmlist.wtf" and the
// portal from "Config.wtf". Pure.
#include <string>

namespace drovane {

// The text after the first "set realmlist " (any letter case) up to the line's end, trimmed;
// empty when there is none.
std::string RealmlistSetting(const std::string& fileText);

// The text after the first "set portal " (any letter case) up to the line's end, trimmed and
// without double quotes: SET Portal "EU" gives EU.
std::string PortalSetting(const std::string& fileText);

// Appends a non-empty value to a list of values, one per line.
void AppendListValue(std::string& list, const std::string& value);

}  // namespace drovane
