// The Options dialog: how it builds itself, what it shows at opening, and how the two login edits
// react to the focus. The buttons and the OK steps are in OptionsFormCommands_win.cpp.
#include "ui/OptionsForm.h"

#include <windows.h>

#include "base/FileLog.h"
#include "settings/Settings.h"
#include "ui/Controls.h"

namespace drovane {
namespace {

constexpr int kClientWidth = 340;
constexpr int kClientHeight = 392;
constexpr LONG kDialogStyle = WS_CAPTION | WS_SYSMENU;
constexpr char kPasswordHint[] = "click to change";
constexpr WPARAM kPasswordCharacter = '*';

constexpr DWORD kGroup = BS_GROUPBOX;
constexpr DWORD kRightLabel = SS_RIGHT;
constexpr DWORD kLoginEdit = ES_AUTOHSCROLL | WS_TABSTOP;
constexpr DWORD kFolderEdit = ES_AUTOHSCROLL | ES_READONLY;
constexpr DWORD kButton = BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD kCheck = BS_AUTOCHECKBOX | WS_TABSTOP;

struct ControlSpec {
  const char* className;
  const char* text;
  DWORD style;
  DWORD extendedStyle;
  int x, y, width, height;
  int id;
};

// One row per control, in the order of OptionsForm::Control. Texts that depend on the settings
// are filled in afterwards.
const ControlSpec kLayout[OptionsForm::kControlCount] = {
    {"BUTTON", "Drovane Login", kGroup, 0, 10, 8, 184, 84, 0},
    {"STATIC", "Username:", kRightLabel, 0, 25, 31, 50, 16, 0},
    {"EDIT", "", kLoginEdit, WS_EX_CLIENTEDGE, 79, 28, 100, 21, 0},
    {"STATIC", "Password:", kRightLabel, 0, 25, 60, 50, 16, 0},
    {"EDIT", "", kLoginEdit, WS_EX_CLIENTEDGE, 79, 57, 100, 21, 0},
    {"BUTTON", "Create Shortcut", kGroup, 0, 205, 8, 125, 84, 0},
    {"BUTTON", "Desktop", kButton, 0, 219, 27, 97, 23, kOptDesktopShortcut},
    {"BUTTON", "Start Menu", kButton, 0, 219, 56, 97, 23, kOptStartMenuShortcut},
    {"BUTTON", "WoW Folders", kGroup, 0, 10, 99, 320, 114, 0},
    {"STATIC", "Live:", kRightLabel, 0, 25, 122, 24, 16, 0},
    {"EDIT", "", kFolderEdit, WS_EX_CLIENTEDGE, 53, 119, 195, 21, 0},
    {"BUTTON", "...", kButton, 0, 248, 118, 20, 23, kOptBrowseLive + Live},
    {"BUTTON", "Detect", kButton, 0, 274, 118, 42, 23, kOptDetectLive + Live},
    {"STATIC", "PTR:", kRightLabel, 0, 25, 151, 24, 16, 0},
    {"EDIT", "", kFolderEdit, WS_EX_CLIENTEDGE, 53, 148, 195, 21, 0},
    {"BUTTON", "...", kButton, 0, 248, 147, 20, 23, kOptBrowseLive + PTR},
    {"BUTTON", "Detect", kButton, 0, 274, 147, 42, 23, kOptDetectLive + PTR},
    {"STATIC", "Beta:", kRightLabel, 0, 25, 180, 24, 16, 0},
    {"EDIT", "", kFolderEdit, WS_EX_CLIENTEDGE, 53, 177, 195, 21, 0},
    {"BUTTON", "...", kButton, 0, 248, 176, 20, 23, kOptBrowseLive + Beta},
    {"BUTTON", "Detect", kButton, 0, 274, 176, 42, 23, kOptDetectLive + Beta},
    {"BUTTON", "Preferences", kGroup, 0, 10, 220, 320, 131, 0},
    {"BUTTON", "Start with Windows", kCheck, 0, 25, 239, 130, 16, 0},
    {"BUTTON", "Start minimized", kCheck, 0, 25, 260, 130, 16, 0},
    {"STATIC", "Show in:", 0, 0, 190, 239, 130, 16, 0},
    {"BUTTON", "Taskbar", kCheck, 0, 236, 239, 75, 16, 0},
    {"BUTTON", "System tray", kCheck, 0, 236, 260, 75, 16, 0},
    {"BUTTON", "Auto-minimize when launching WoW", kCheck, 0, 25, 281, 290, 16, 0},
    {"BUTTON", "Automatically upload when WoW exits", kCheck, 0, 25, 302, 290, 16, 0},
    {"BUTTON", "Upload character data", kCheck, 0, 25, 323, 290, 16, 0},
    {"BUTTON", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP, 0, 175, 360, 75, 23, kOptOk},
    {"BUTTON", "Cancel", kButton, 0, 256, 360, 75, 23, kOptCancel},
};

HFONT CreateItalicVariant(HFONT font) {
  LOGFONTA description = {};
  if (!GetObjectA(font, sizeof description, &description)) return nullptr;
  description.lfItalic = TRUE;
  return CreateFontIndirectA(&description);
}

void SetCheck(HWND box, bool checked) {
  SendMessageA(box, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

}  // namespace

const OptionsForm::PreferenceCheck OptionsForm::kPreferenceChecks[5] = {
    {kStartMinimizedCheck, PREF_START_MINIMIZED}, {kAutoMinimizeCheck, PREF_AUTO_MINIMIZE},
    {kTaskbarCheck, PREF_SHOW_IN_TASKBAR},        {kTrayCheck, PREF_SHOW_IN_TRAY},
    {kAutoUploadCheck, PREF_AUTO_UPLOAD},
};

OptionsForm::OptionsForm(Settings* store, MainForm* main)
    : settings(store),
      mainWindow(main),
      normalFont(static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT))),
      italicFont(CreateItalicVariant(normalFont)),
      fileChooser(store ? store->fileChooser : nullptr) {}

OptionsForm::~OptionsForm() {
  // The window goes before the italic font it may still be using.
  Close(IDCANCEL);
}

INT_PTR OptionsForm::HandleMessage(UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      if (!Build()) Close(0);
      return 0;
    case WM_CLOSE:
      Close(IDCANCEL);
      return 0;
    case WM_COMMAND:
      OnCommand(wParam);
      return 0;
    default:
      return 0;
  }
}

bool OptionsForm::Build() {
  SetAppIcons();
  SetControlText(hwnd, "Options");
  SetClientSize(kClientWidth, kClientHeight);
  SetWindowStyles(kDialogStyle, -1);
  CreateControls();
  ApplyDefaultFont(controls, kControlCount);
  ShowInitialState();
  CenterOver(parent);
  return true;
}

void OptionsForm::CreateControls() {
  for (int i = 0; i < kControlCount; ++i) {
    const ControlSpec& c = kLayout[i];
    controls[i] = CreateControl(hwnd, instance, c.className, c.text, c.style, c.extendedStyle, c.x,
                                c.y, c.width, c.height, c.id);
  }
}

void OptionsForm::ShowInitialState() {
  HWND username = controls[kUsernameEdit];
  AttachUsernameFilter(username);
  SetControlText(username, settings->GetUsername());

  // A stored password is never shown, not even masked: the edit offers to change it instead.
  passwordStored = !settings->GetPassword().empty();
  if (passwordStored) {
    ShowPasswordHint();
  } else {
    SendMessageA(controls[kPasswordEdit], EM_SETPASSWORDCHAR, kPasswordCharacter, 0);
  }

  for (GameEdition edition : kEditions) {
    const std::string folder = settings->GetGameFolder(edition);
    SetControlText(FolderEdit(edition), folder);
    if (edition != Live && !folder.empty()) SetControlText(DetectButton(edition), "Clear");
  }

  const uint32_t preferences = settings->GetPreferences();
  SetCheck(controls[kStartWithWindowsCheck], settings->GetStartWithWindows());
  for (const PreferenceCheck& check : kPreferenceChecks) {
    SetCheck(controls[check.control], (preferences & check.bit) != 0);
  }
  SetCheck(controls[kCharacterDataCheck], (preferences & PREF_NO_CHARACTER_DATA) == 0);
  taskbarAtOpen = IsChecked(kTaskbarCheck);
  trayAtOpen = IsChecked(kTrayCheck);
}

void OptionsForm::ShowPasswordHint() {
  HWND edit = controls[kPasswordEdit];
  SendMessageA(edit, EM_SETPASSWORDCHAR, 0, 0);
  SetControlText(edit, kPasswordHint);
  SendMessageA(edit, WM_SETFONT, reinterpret_cast<WPARAM>(italicFont.get()), TRUE);
}

void OptionsForm::OnChildMessage(HWND window, UINT message, WPARAM, LPARAM) {
  if (message != WM_SETFOCUS && message != WM_KILLFOCUS) return;
  const bool isUsername = window == controls[kUsernameEdit];
  const bool isPassword = window == controls[kPasswordEdit];
  if (!window || (!isUsername && !isPassword)) return;

  if (message == WM_SETFOCUS) {
    // One balloon tool per edit: attaching again at every focus would stack tools on the edit.
    HWND& tip = isUsername ? usernameTip : passwordTip;
    if (!tip) tip = AttachAccountHintTip(window);
  }
  if (isPassword && passwordStored) OnPasswordFocus(message == WM_SETFOCUS);
}

// While a password is stored, the edit shows the hint until the player enters it, and shows the
// hint again when the player leaves it empty: the stored digest then stays as it is.
void OptionsForm::OnPasswordFocus(bool gained) {
  HWND edit = controls[kPasswordEdit];
  if (gained) {
    if (SendMessageA(edit, EM_GETPASSWORDCHAR, 0, 0) == 0) {
      SetControlText(edit, "");
      SendMessageA(edit, EM_SETPASSWORDCHAR, kPasswordCharacter, 0);
      SendMessageA(edit, WM_SETFONT, reinterpret_cast<WPARAM>(normalFont), TRUE);
    }
  } else if (GetWindowTextLengthW(edit) == 0) {
    ShowPasswordHint();
  }
}

bool OptionsForm::IsChecked(Control control) const {
  return SendMessageA(controls[control], BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::string OptionsForm::ControlText(Control control) const {
  // The whole text: a cut name could pass the checks that the whole one fails.
  return drovane::ControlText(controls[control]);
}

int ShowOptions(Settings* settings, MainForm* mainWindow, HWND owner) {
  LogLine() << "Creating `OptionsForm`.";
  std::unique_ptr<OptionsForm> form(new OptionsForm(settings, mainWindow));
  const int result = form->RunModal(owner);
  form.reset();
  LogLine() << "Deleted `OptionsForm`.";
  return result;
}

}  // namespace drovane
