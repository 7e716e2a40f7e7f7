#pragma once
// The Options dialog: the service login, shortcuts to the client, the three game folders and the
// preferences. Opened modally by the main window; OK stores what the player chose, step by step,
// and tells the main window about the changes that concern it.
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <type_traits>

#include "base/FileSystem.h"
#include "game/GameDiscovery.h"
#include "game/GameEdition.h"
#include "ui/Form.h"

namespace drovane {

class Settings;
class MainForm;

// Command ids of the dialog's buttons.
enum OptionsCommand : int {
  kOptDesktopShortcut = 101,
  kOptStartMenuShortcut = 102,
  kOptOk = 103,
  kOptCancel = 104,
  kOptBrowseLive = 110,  // + edition
  kOptDetectLive = 113,  // + edition
};

class OptionsForm : public Form {
 public:
  // The main window may be null (tests): then nothing outside the settings is told of a change.
  OptionsForm(Settings* settings, MainForm* mainWindow);
  ~OptionsForm() override;

  void OnChildMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam) override;
  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  // The controls, in the order of the layout; ApplyDefaultFont covers them in one call.
  enum Control {
    kLoginGroup,
    kUsernameLabel,
    kUsernameEdit,
    kPasswordLabel,
    kPasswordEdit,
    kShortcutGroup,
    kDesktopButton,
    kStartMenuButton,
    kFoldersGroup,
    kLiveLabel,
    kLiveEdit,
    kLiveBrowse,
    kLiveDetect,
    kPtrLabel,
    kPtrEdit,
    kPtrBrowse,
    kPtrDetect,
    kBetaLabel,
    kBetaEdit,
    kBetaBrowse,
    kBetaDetect,
    kPreferencesGroup,
    kStartWithWindowsCheck,
    kStartMinimizedCheck,
    kShowInLabel,
    kTaskbarCheck,
    kTrayCheck,
    kAutoMinimizeCheck,
    kAutoUploadCheck,
    kCharacterDataCheck,
    kOkButton,
    kCancelButton,
    kControlCount
  };
  HWND controls[kControlCount] = {};
  // Each edition's folder edit, browse and detect/clear buttons.
  HWND FolderEdit(GameEdition edition) const { return controls[kLiveEdit + 4 * edition]; }
  HWND DetectButton(GameEdition edition) const { return controls[kLiveDetect + 4 * edition]; }

  // The check boxes that each mirror one preference bit; "Upload character data" is checked when
  // PREF_NO_CHARACTER_DATA is clear and is handled apart.
  struct PreferenceCheck {
    Control control;
    uint32_t bit;
  };
  static const PreferenceCheck kPreferenceChecks[5];

  Settings* settings;
  MainForm* mainWindow;
  bool passwordStored = false;
  bool taskbarAtOpen = false;
  bool trayAtOpen = false;
  HFONT normalFont;
  struct FontDeleter {
    void operator()(HFONT font) const { DeleteObject(font); }
  };
  std::unique_ptr<std::remove_pointer_t<HFONT>, FontDeleter> italicFont;
  // The hint balloons of the two login edits, attached when each first gets the focus.
  HWND usernameTip = nullptr;
  HWND passwordTip = nullptr;

  // Shows the open-file dialog for the browse buttons; null: the system's, owned by this dialog.
  // Taken from the settings at construction, so whoever gives the client a chooser gives it
  // here too.
  FileChooser fileChooser = nullptr;

 private:
  bool Build();
  void CreateControls();
  void ShowInitialState();
  void ShowPasswordHint();
  void OnPasswordFocus(bool gained);
  void OnCommand(WPARAM command);
  void CreateShortcutIn(SpecialFolder folder);
  void Browse(GameEdition edition);
  void DetectOrClear(GameEdition edition);
  // The OK steps in their order; false where a step stops and the dialog stays open.
  bool StoreSettings(bool& foldersChanged);
  bool StoreFolder(GameEdition edition, bool& foldersChanged);
  void ApplyWindowChoices(bool taskbar, bool tray);
  void Rescan();
  bool IsChecked(Control control) const;
  std::string ControlText(Control control) const;
};

// Creates the Options dialog, runs it modal over the owner and deletes it, framed by the log lines
// "Creating `OptionsForm`." and "Deleted `OptionsForm`.". Returns what RunModal returned: IDOK after a
// complete store, IDCANCEL otherwise.
int ShowOptions(Settings* settings, MainForm* mainWindow, HWND owner);

}  // namespace drovane
