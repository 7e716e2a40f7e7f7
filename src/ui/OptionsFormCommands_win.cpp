// The Options dialog's buttons: shortcuts, browsing and detecting the game folders, and OK, which
// stores the choices in a fixed order and stops at the first one it cannot take.
#include <windows.h>

#include "base/ClientMessageBox.h"
#include "base/FileSystem.h"
#include "base/Md5.h"
#include "base/Shortcuts.h"
#include "base/TextHelpers.h"
#include "settings/Settings.h"
#include "ui/Controls.h"
#include "ui/MainForm.h"
#include "ui/OptionsForm.h"
#include "ui/OptionsRules.h"

namespace drovane {
namespace {

constexpr char kUsernameRefused[] =
    "Your username can only contain letters and numbers\nand must be between 4 and 16 characters "
    "long.";
constexpr int kTrayIcon = 101;

// The clear password lives only as long as it takes to hash it.
void Wipe(std::string& secret) {
  if (!secret.empty()) SecureZeroMemory(&secret[0], secret.size());
  secret.clear();
}

}  // namespace

void OptionsForm::OnCommand(WPARAM command) {
  switch (command) {
    case kOptDesktopShortcut:
      CreateShortcutIn(SpecialFolder::Desktop);
      break;
    case kOptStartMenuShortcut:
      CreateShortcutIn(SpecialFolder::Programs);
      break;
    case kOptBrowseLive + Live:
    case kOptBrowseLive + PTR:
    case kOptBrowseLive + Beta:
      Browse(static_cast<GameEdition>(command - kOptBrowseLive));
      break;
    case kOptDetectLive + Live:
    case kOptDetectLive + PTR:
    case kOptDetectLive + Beta:
      DetectOrClear(static_cast<GameEdition>(command - kOptDetectLive));
      break;
    case IDOK:
    case kOptOk: {
      bool foldersChanged = false;
      const bool complete = StoreSettings(foldersChanged);
      // A stop after a new folder was stored still leaves the main window showing its data.
      if (complete || foldersChanged) Rescan();
      if (complete) Close(IDOK);
      break;
    }
    case IDCANCEL:
    case kOptCancel:
      Close(IDCANCEL);
      break;
    default:
      break;
  }
}

void OptionsForm::CreateShortcutIn(SpecialFolder folderKind) {
  std::string target;
  const bool haveTarget = GetModulePath(target);
  auto createIn = [&target](SpecialFolder kind) {
    std::string folder;
    return GetSpecialFolderPath(kind, folder) &&
           CreateShortcut(folder + "\\" + kShortcutFileName, target);
  };
  // A standard user may not write the shared Start menu: the user's own takes the shortcut.
  const bool created = haveTarget && (createIn(folderKind) ||
                                      (folderKind == SpecialFolder::Programs &&
                                       createIn(SpecialFolder::UserPrograms)));
  if (created) {
    ClientMessageBox(hwnd, "Shortcut created successfully.", MB_ICONINFORMATION);
  } else {
    ClientMessageBox(hwnd, "Could not create shortcut.", MB_ICONERROR);
  }
}

// The browsed file must be the edition's executable; its folder is checked only at OK.
void OptionsForm::Browse(GameEdition edition) {
  const std::string title = InfoOf(edition).browseTitle;
  const std::string filter = BrowseFilterOf(edition);
  std::string chosen;
  const bool picked = fileChooser ? fileChooser(title, filter, chosen)
                                  : ChooseFile(title, chosen, filter, hwnd) >= 0;
  if (!picked) return;
  if (!IsEditionExecutable(edition, chosen)) {
    ClientMessageBox(hwnd, MessagesOf(edition).browseRefusal, MB_ICONERROR);
    return;
  }
  SetControlText(FolderEdit(edition), FolderOfFile(chosen));
  if (edition != Live) SetControlText(DetectButton(edition), "Clear");
}

// Live always detects; PTR and Beta clear a folder that is set and detect otherwise.
void OptionsForm::DetectOrClear(GameEdition edition) {
  HWND edit = FolderEdit(edition);
  if (edition != Live && GetWindowTextLengthW(edit) > 0) {
    SetControlText(edit, "");
    SetControlText(DetectButton(edition), "Detect");
    return;
  }
  const std::string folder = InstallPathFor(edition);
  if (folder.empty() || !IsValidGameFolder(edition, folder)) {
    ClientMessageBox(hwnd, MessagesOf(edition).detectFailure, MB_ICONERROR);
    return;
  }
  SetControlText(edit, folder);
  if (edition != Live) SetControlText(DetectButton(edition), "Clear");
}

// What is stored before a stop stays stored.
bool OptionsForm::StoreSettings(bool& foldersChanged) {
  if (!settings->SetUsername(ControlText(kUsernameEdit), false)) {
    ClientMessageBox(hwnd, kUsernameRefused, MB_ICONERROR);
    return false;
  }

  // Without the password character the edit shows the hint: the stored digest stays. With a
  // stored password an empty edit means the same (the player entered it but typed nothing);
  // only without one does the empty entry store the digest of the empty text.
  if (SendMessageA(controls[kPasswordEdit], EM_GETPASSWORDCHAR, 0, 0) != 0) {
    std::string entered = ControlText(kPasswordEdit);
    if (!(passwordStored && entered.empty())) settings->SetPassword(Md5Hex(entered), false);
    Wipe(entered);
  }

  for (GameEdition edition : kEditions) {
    if (!StoreFolder(edition, foldersChanged)) return false;
  }

  settings->SetStartWithWindows(IsChecked(kStartWithWindowsCheck));

  uint32_t preferences = 0;
  for (const PreferenceCheck& check : kPreferenceChecks) {
    if (IsChecked(check.control)) preferences |= check.bit;
  }
  if (!IsChecked(kCharacterDataCheck)) preferences |= PREF_NO_CHARACTER_DATA;

  ApplyWindowChoices(IsChecked(kTaskbarCheck), IsChecked(kTrayCheck));
  settings->SetPreferences(preferences, false);
  return true;
}

// An invalid Live folder is reported and skipped (the stored one stays); an invalid PTR or Beta
// folder stops the store. An empty PTR or Beta edit clears that setting.
bool OptionsForm::StoreFolder(GameEdition edition, bool& foldersChanged) {
  const std::string folder =
      StripTrailingBackslashes(ControlText(static_cast<Control>(kLiveEdit + 4 * edition)));
  const bool clears = edition != Live && folder.empty();
  if (!clears && !IsValidGameFolder(edition, folder)) {
    ClientMessageBox(nullptr, MessagesOf(edition).invalidFolder, MB_ICONERROR);
    return edition == Live;
  }
  const bool changed = folder != settings->GetGameFolder(edition);
  if (settings->SetGameFolder(edition, folder, false) && changed) foldersChanged = true;
  return true;
}

// The taskbar takes a changed WS_EX_APPWINDOW only when the window is shown again.
void OptionsForm::ApplyWindowChoices(bool taskbar, bool tray) {
  if (!mainWindow || !mainWindow->hwnd) return;
  if (taskbar != taskbarAtOpen) {
    ShowWindow(mainWindow->hwnd, SW_HIDE);
    mainWindow->SetWindowStyles(-1, taskbar ? WS_EX_APPWINDOW : 0);
    mainWindow->BringToFront();
  }
  if (tray != trayAtOpen) mainWindow->SetTrayIcon(tray, kTrayIcon);
}

void OptionsForm::Rescan() {
  if (mainWindow && mainWindow->hwnd) mainWindow->RefreshData();
}

}  // namespace drovane
