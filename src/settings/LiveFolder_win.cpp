// The Live folder at start: without one the client cannot run, so the player is asked for it
// when the stored one no longer holds the game.
#include <windows.h>

#include "base/ClientMessageBox.h"
#include "base/Registry.h"
#include "base/TextHelpers.h"
#include "game/GameDiscovery.h"
#include "settings/Settings.h"

namespace drovane {
namespace {

bool ChooseWithDialog(const std::string& title, const std::string& filter, std::string& chosen) {
  return ChooseFile(title, chosen, filter, nullptr) >= 0;
}

}  // namespace

bool ObtainLiveFolder(Settings& settings, FileChooser chooser) {
  if (!chooser) chooser = ChooseWithDialog;
  const EditionInfo& live = InfoOf(Live);

  std::string stored;
  if (RegistryReadString(HKEY_CURRENT_USER, kOptionsKey, live.folderValueName, MAX_PATH, stored)) {
    stored = StripTrailingBackslashes(stored);
    if (HasEditionExecutable(Live, stored)) return settings.SetGameFolder(Live, stored, true);
  }

  const std::string detected = InstallPathFor(Live);
  if (detected.empty()) {
    if (ClientMessageBox(nullptr,
                         "Could not find your World of Warcraft folder.\nIt might not be "
                         "installed on your computer.\n\nWould you like to browse for it?",
                         MB_YESNO | MB_ICONINFORMATION) != IDYES) {
      return false;
    }
  } else {
    const int answer =
        ClientMessageBox(nullptr,
                         "Is this the folder where you installed World of Warcraft?\n" + detected +
                             "\n\nIf not, click 'No' to browse for it.",
                         MB_YESNOCANCEL | MB_ICONQUESTION);
    if (answer == IDYES) return settings.SetGameFolder(Live, detected, false);
    if (answer != IDNO) return false;
  }

  std::string chosen;
  if (!chooser(live.browseTitle, BrowseFilterOf(Live), chosen)) return false;
  const size_t cut = chosen.find_last_of('\\');
  const std::string fileName =
      Utf8ToLower(cut == std::string::npos ? chosen : chosen.substr(cut + 1));
  if (fileName == "wow.exe" || fileName == "wow-64.exe") {
    const std::string folder = cut == std::string::npos ? std::string() : chosen.substr(0, cut);
    if (IsValidGameFolder(Live, folder)) return settings.SetGameFolder(Live, folder, false);
    ClientMessageBox(nullptr, "This is not a valid World of Warcraft application.", MB_ICONERROR);
    return false;
  }
  ClientMessageBox(nullptr, "Could not find your World of Warcraft folder.", MB_ICONERROR);
  return false;
}

}  // namespace drovane
