// The main window: how it builds itself, shows itself at start, and ends the client.
#include "ui/MainForm.h"

#include <windows.h>
#include <shellapi.h>

#include <ctime>

#include "base/FileLog.h"
#include "base/Version.h"
#include "base/WideText.h"
#include "settings/AccountExclusions.h"
#include "settings/Settings.h"
#include "ui/Controls.h"
#include "ui/ListView.h"
#include "ui/UpdaterForm.h"
#include "update/SelfUpdate.h"

namespace drovane {
namespace {

constexpr int kClientWidth = 500;
constexpr int kStartHeight = 324;
constexpr int kLogShownHeight = 439;
constexpr int kLogHiddenHeight = 312;
constexpr LONG kMainWindowStyle = 0xCA0000;
constexpr DWORD kListStyle = 0x50018005 & ~(WS_CHILD | WS_VISIBLE);
constexpr DWORD kLogPaneStyle = 0x40211844 & ~WS_CHILD;  // created hidden
constexpr UINT kTrayIconId = 0;

constexpr char kWelcome[] =
    "Thanks for using the Drovane Client!\r\nThis is version 1.9.01, built on October 9, "
    "2016.\r\nCompatible with Legion.";

const ListColumn kCacheColumns[] = {
    {"Type", 65, LVCFMT_LEFT},      {"Count", 65, LVCFMT_RIGHT},       {"Size", 65, LVCFMT_RIGHT},
    {"Uploaded", 65, LVCFMT_RIGHT}, {"Description", 205, LVCFMT_LEFT},
};
const ListColumn kAccountColumns[] = {
    {"Name", 140, LVCFMT_LEFT},      {"Size", 65, LVCFMT_RIGHT},
    {"Loots", 65, LVCFMT_RIGHT},     {"Locations", 65, LVCFMT_RIGHT},
    {"AH Prices", 65, LVCFMT_RIGHT}, {"Profiles", 65, LVCFMT_RIGHT},
};

struct MenuItem {
  const char* text;  // null: a separator
  UINT id;
};

HMENU BuildPopup(std::initializer_list<MenuItem> items) {
  HMENU menu = CreatePopupMenu();
  UINT position = 0;
  for (const MenuItem& item : items) {
    MENUITEMINFOA info = {};
    info.cbSize = sizeof info;
    if (item.text) {
      info.fMask = MIIM_ID | MIIM_STRING | MIIM_FTYPE;
      info.fType = MFT_STRING;
      info.wID = item.id;
      info.dwTypeData = const_cast<char*>(item.text);
    } else {
      info.fMask = MIIM_FTYPE;
      info.fType = MFT_SEPARATOR;
    }
    InsertMenuItemA(menu, position++, TRUE, &info);
  }
  return menu;
}

void AppendSubmenu(HMENU bar, UINT position, const char* title, HMENU popup) {
  MENUITEMINFOA info = {};
  info.cbSize = sizeof info;
  info.fMask = MIIM_STRING | MIIM_SUBMENU;
  info.dwTypeData = const_cast<char*>(title);
  info.hSubMenu = popup;
  InsertMenuItemA(bar, position, TRUE, &info);
}

}  // namespace

MainForm::MainForm(Settings* store) : settings(store) {}

MainForm::~MainForm() {
  SetAccountExclusionsSavedHandler(nullptr);
  backgroundUpdate.reset();
  for (HMENU* menu : {&listMenu, &trayMenu, &allowMenu, &blockMenu}) {
    if (*menu) DestroyMenu(*menu);
    *menu = nullptr;
  }
  if (trayIconShown) SetTrayIcon(false, 0);
}

INT_PTR MainForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      if (!BuildMainWindow()) Close(0);
      return 0;
    case WM_CLOSE:
      ExitApplication();
      return 0;
    case WM_COMMAND:
      OnCommand(wParam);
      return 0;
    case WM_NOTIFY:
      OnListNotify(reinterpret_cast<const NMHDR*>(lParam));
      return 0;
    case WM_ENABLE:
      isEnabled = wParam == 1;
      return 0;
    case WM_SYSCOMMAND:
      // With the tray icon, minimizing hides the window: the icon brings it back.
      if ((wParam & 0xFFF0) == SC_MINIMIZE && settings->HasPreference(PREF_SHOW_IN_TRAY)) {
        ShowWindow(hwnd, SW_HIDE);
        SetWindowLongPtrA(hwnd, DWLP_MSGRESULT, 0);
        return 1;
      }
      return 0;
    case WM_TIMER:
      OnWatchTimer(wParam);
      return 0;
    case TRAY_CALLBACK_MESSAGE:
      OnTrayNotify(lParam);
      return 0;
    default:
      if (OnUpdateMessage(message, lParam)) return 0;
      // Explorer restarted: its notification area has forgotten the icon.
      if (message == taskbarCreatedMessage_ && taskbarCreatedMessage_ != 0 && trayIconShown) {
        trayIconShown = false;
        SetTrayIcon(true, 101);
      }
      return 0;
  }
}

bool MainForm::BuildMainWindow() {
  const uint32_t preferences = settings->GetPreferences();
  BuildMenus();
  SetAppIcons();
  SetControlText(hwnd, kClientName);
  SetClientSize(kClientWidth, kStartHeight);
  SetWindowStyles(kMainWindowStyle, (preferences & PREF_SHOW_IN_TASKBAR) ? WS_EX_APPWINDOW : 0);

  INITCOMMONCONTROLSEX common = {};
  common.dwSize = sizeof common;
  common.dwICC = ICC_LISTVIEW_CLASSES;
  InitCommonControlsEx(&common);
  LoadAccountExclusions();
  SetAccountExclusionsSavedHandler([this] { RefreshData(); });
  CreateControls();
  CenterOver(nullptr);
  taskbarCreatedMessage_ = RegisterWindowMessageA("TaskbarCreated");

  if (preferences & PREF_SHOW_IN_TRAY) SetTrayIcon(true, 102);
  ShowAtStart(preferences);

  UpdaterOutcome startupRun;
  if (!settings->skipInitialSelfUpdate) {
    startupRun = drovane::RunUpdater(settings, hwnd, 1, hwnd, [this] { SetTrayIcon(false, 0); });
    // Only the player's own Cancel stops the client. A run that failed for a reason the player
    // cannot mend (an answer that is no list, a file that cannot be written, a full disk) has
    // shown its reason; the client carries on with the version it has and the hourly run tries
    // again.
    if (startupRun.cancelledByPlayer) {
      endReason = "The player cancelled the start-up update: the client ends.";
      ExitApplication();
      return true;
    }
    if (startupRun.phase != UpdatePhase::Finished) {
      LogLine() << "The start-up update did not finish; carrying on with this version.";
    }
  }
  if (preferences & PREF_SHOW_IN_TRAY) SetTrayIcon(true, 101);
  if (isEnabled && settings->timesStarted == 1) {
    PostMessageA(hwnd, WM_COMMAND, kCmdOptions, 0);
  }
  RefreshData();
  SetTimer(hwnd, kWatchTimer, 2000, nullptr);
  OnWatchTimer(kWatchTimer);
  SetTimer(hwnd, kUpdateTimer, 3600000, nullptr);
  AppendToLogPane(kWelcome, true);
  AnnounceClientNotice(startupRun.notInstallableClient, startupRun.clientNotice);
  return true;
}

void MainForm::AnnounceClientNotice(const std::string& clientDigest, const std::string& text) {
  if (clientDigest.empty() || clientDigest == announcedClient) return;
  announcedClient = clientDigest;
  AppendToLogPane(text, true);
}

void MainForm::CreateControls() {
  controls[kSharedCacheLabel] =
      CreateControl(hwnd, instance, "STATIC", "Shared Data Cache", 0, 0, 11, 10, 200, 16);
  controls[kSharedCacheList] = CreateControl(hwnd, instance, WC_LISTVIEWA, nullptr, kListStyle,
                                             WS_EX_CLIENTEDGE, 10, 27, 480, 130);
  controls[kAccountLabel] =
      CreateControl(hwnd, instance, "STATIC", "Account-Specific Data", 0, 0, 11, 167, 200, 16);
  controls[kAccountList] = CreateControl(hwnd, instance, WC_LISTVIEWA, nullptr, kListStyle,
                                         WS_EX_CLIENTEDGE, 10, 185, 480, 98, kAccountListId);
  controls[kLaunchButton] = CreateControl(hwnd, instance, "BUTTON", "Launch WoW", WS_TABSTOP, 0,
                                          320, 292, 90, 23, kCmdLaunchButton);
  controls[kUploadButton] = CreateControl(hwnd, instance, "BUTTON", "Upload", WS_TABSTOP, 0, 416,
                                          292, 75, 23, kCmdUpload);
  // The log pane starts hidden: created without WS_VISIBLE.
  // A Unicode edit, as CreateControl makes them: the lines name folders and accounts.
  controls[kLogPane] = CreateWindowExW(WS_EX_CLIENTEDGE, L"EDIT", nullptr, WS_CHILD | kLogPaneStyle,
                                       10, 324, 480, 117, hwnd, nullptr, instance, nullptr);
  for (HWND list : {sharedCacheList(), accountList()}) {
    SendMessageA(list, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP);
  }
  ApplyDefaultFont(controls, kControlCount);
  AddListColumns(sharedCacheList(), kCacheColumns, 5);
  AddListColumns(accountList(), kAccountColumns, 6);
}

void MainForm::ShowAtStart(uint32_t preferences) {
  const int hiddenShow = (preferences & PREF_SHOW_IN_TRAY) ? SW_HIDE : SW_MINIMIZE;
  switch (settings->launchMode) {
    case LaunchMode::None:
      LogLine() << "Normal user client launch.";
      if (preferences & PREF_START_MINIMIZED) {
        ShowWindow(hwnd, hiddenShow);
      } else {
        BringToFront();
      }
      break;
    case LaunchMode::Hidden:
      LogLine() << "SelfUpdate client launch - minimized.";
      ShowWindow(hwnd, hiddenShow);
      break;
    default:
      LogLine() << "SelfUpdate client launch - normal.";
      BringToFront();
      break;
  }
}

void MainForm::BuildMenus() {
  HMENU bar = CreateMenu();
  AppendSubmenu(bar, 0, "File",
                BuildPopup({{"Launch WoW", kCmdLaunch}, {nullptr, 0}, {"Exit", kCmdExit}}));
  AppendSubmenu(bar, 1, "View",
                BuildPopup({{"Refresh", kCmdRefresh},
                            {nullptr, 0},
                            {"Display Log", kCmdDisplayLog},
                            {"Browse Log History", kCmdBrowseLogs}}));
  AppendSubmenu(bar, 2, "Tools",
                BuildPopup({{"Options...", kCmdOptions},
                            {"Manage Character Data Uploads", kCmdManageAccounts}}));
  AppendSubmenu(bar, 3, "Help",
                BuildPopup({{"FAQ", kCmdFaq},
                            {"Drovane Homepage", kCmdHomepage},
                            {nullptr, 0},
                            {"Check for Updates...", kCmdCheckUpdates},
                            {"Show Statistics...", kCmdStatistics},
                            {nullptr, 0},
                            {"About...", kCmdAbout}}));
  SetMenu(hwnd, bar);

  listMenu = BuildPopup({{"View...", kCmdViewCache}});
  blockMenu = BuildPopup({{"Block character data upload.", kCmdBlockAccount}});
  allowMenu = BuildPopup({{"Allow character data upload.", kCmdAllowAccount}});
  trayMenu = BuildPopup({{"Launch WoW", kCmdTrayLaunch},
                         {nullptr, 0},
                         {"Open Drovane Client", kCmdTrayOpen},
                         {"Exit", kCmdTrayExit}});
  SetMenuDefaultItem(trayMenu, kCmdTrayOpen, FALSE);
}

void MainForm::SetTrayIcon(bool show, int iconId) {
  NOTIFYICONDATAA data = {};
  data.cbSize = NOTIFYICONDATAA_V2_SIZE;
  data.hWnd = hwnd;
  data.uID = kTrayIconId;
  if (!show) {
    Shell_NotifyIconA(NIM_DELETE, &data);
    trayIconShown = false;
    return;
  }
  data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
  data.uCallbackMessage = TRAY_CALLBACK_MESSAGE;
  // Each icon is loaded once and kept until the window goes: toggling the icon leaks nothing.
  IconHandle& loaded = trayIcons_[iconId];
  if (!loaded.valid()) {
    loaded.reset(static_cast<HICON>(
        LoadImageA(instance, MAKEINTRESOURCEA(iconId), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR)));
  }
  data.hIcon = loaded.get();
  trayIcon = data.hIcon;
  GetWindowTextA(hwnd, data.szTip, 64);
  Shell_NotifyIconA(trayIconShown ? NIM_MODIFY : NIM_ADD, &data);
  trayIconShown = true;
}

void MainForm::AppendToLogPane(const std::string& text, bool newLine) {
  HWND pane = logPane();
  const int length = GetWindowTextLengthW(pane);
  SendMessageW(pane, EM_SETSEL, static_cast<WPARAM>(length), length);
  if (newLine) {
    if (length > 0) SendMessageW(pane, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(L"\r\n"));
    const std::time_t now = std::time(nullptr);
    std::tm local = {};
    localtime_s(&local, &now);
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "[%02i:%02i:%02i] ", local.tm_hour, local.tm_min,
                  local.tm_sec);
    SendMessageW(pane, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(Wide(stamp).c_str()));
  }
  SendMessageW(pane, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(Wide(text).c_str()));
}

void MainForm::ShowLogPane(bool show) {
  ShowWindow(logPane(), show ? SW_SHOW : SW_HIDE);
  SetClientSize(kClientWidth, show ? kLogShownHeight : kLogHiddenHeight);
  CheckMenuItem(GetSubMenu(GetMenu(hwnd), 1), kCmdDisplayLog,
                MF_BYCOMMAND | (show ? MF_CHECKED : MF_UNCHECKED));
}

void MainForm::ExitApplication() {
  SetTrayIcon(false, 0);
  Close(0);
  PostQuitMessage(0);
}

void MainForm::OnTrayNotify(LPARAM event) {
  if (event == WM_LBUTTONDBLCLK) {
    SendMessageA(hwnd, WM_COMMAND, kCmdTrayOpen, 0);
  } else if (event == WM_RBUTTONUP) {
    OpenPopup(trayMenu);
  }
}

void MainForm::OpenPopup(HMENU menu) {
  if (popupHandler) {
    popupHandler(*this, menu);
    return;
  }
  POINT cursor = {};
  GetCursorPos(&cursor);
  // Without being the foreground window, the menu would not close when the player clicks away.
  SetForegroundWindow(hwnd);
  TrackPopupMenu(menu, TPM_RIGHTBUTTON, cursor.x, cursor.y, 0, hwnd, nullptr);
  PostMessageA(hwnd, WM_NULL, 0, 0);
}

int MainForm::RunUpdater(int runMode) {
  // A restart replaces this process: its tray icon goes first, or a dead icon stays behind.
  const UpdaterOutcome outcome =
      drovane::RunUpdater(settings, hwnd, runMode, hwnd, [this] { SetTrayIcon(false, 0); });
  AnnounceClientNotice(outcome.notInstallableClient, outcome.clientNotice);
  return static_cast<int>(outcome.phase);
}

}  // namespace drovane
