#pragma once
// The exclusion list as the account dialog's edit shows it and as the player leaves it.
// Pure: no Windows headers.
#include <cstddef>
#include <string>

#include "settings/AccountExclusions.h"

namespace drovane {

// The most the dialog's edit takes: far more names than a player has accounts, and the dialog
// reads all of it back.
constexpr size_t kAccountListTextLimit = 32767;

// Every entry that excludes its account (a non-empty value), each followed by "\r\n", in map
// order.
std::string AccountListEditText(const AccountExclusionMap& exclusions);

// The edit's text split at each "\r\n": every non-empty piece becomes an entry with key and value
// its upper case, so names match whatever case they were typed in, blank lines vanish and a name
// typed twice is kept once.
AccountExclusionMap AccountListFromEditText(const std::string& text);

}  // namespace drovane
