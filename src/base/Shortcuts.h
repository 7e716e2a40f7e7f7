#pragma once
// Shortcuts to the client on the desktop and in the programs menu.
#include <string>

namespace drovane {

// The description every shortcut to the client carries.
constexpr char kShortcutDescription[] = "Drovane Client";
// The name a shortcut to the client gets in the folder it is put in.
constexpr char kShortcutFileName[] = "Drovane Client.lnk";

// Writes (or replaces) a shell link at linkPath that starts targetPath and is described as
// kShortcutDescription. False when the link object could not be made or the file not written;
// the folder must exist already.
bool CreateShortcut(const std::string& linkPath, const std::string& targetPath);

}  // namespace drovane
