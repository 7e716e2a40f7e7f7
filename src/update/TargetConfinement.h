#pragma once
// Where the update list may place files: inside a game installation's "Interface\AddOns" folder
// ("%WoW%" templates, edition placeholders included) or inside the client's data folder
// ("%AppPath%" templates). The list travels over the network, so anything else is refused before
// a folder is created or a file is read: other placeholders ("%System%"), absolute, UNC and
// drive-relative folders, "." and ".." components, alternate data streams, device names, and
// names Windows would silently change (a trailing dot or space).
// Pure: no Windows headers.
#include <string>
#include <string_view>

#include "update/UpdateList.h"

namespace drovane {

constexpr char kGameTargetPrefix[] = "%WoW%\\Interface\\AddOns\\";
constexpr char kAppDataPlaceholder[] = "%AppPath%";

// True when one folder or file name is safe to use below an allowed folder; otherwise why not.
bool IsSafePathName(std::string_view name, std::string& reason);

// True when the entry (targetDir in "%WoW%" form, as ClassifyTarget leaves it) places its file
// inside an allowed folder; otherwise the reason, for the log.
bool IsConfinedTarget(const UpdateEntry& entry, std::string& reason);

// A text of the list as a log line may show it: control characters (a forged line break among
// them) become '?', and at most 200 characters are kept.
std::string ShownListText(std::string_view text);

}  // namespace drovane
