// The main window's commands: buttons, menus, the tray menu and the lists' context menus.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>

#include "base/ClientMessageBox.h"
#include "base/FileLog.h"
#include "base/FileSystem.h"
#include "base/TextHelpers.h"
#include "base/Version.h"
#include "base/WideText.h"
#include "settings/AccountExclusions.h"
#include "settings/ServiceUrls.h"
#include "settings/Settings.h"
#include "ui/AccountOptionsForm.h"
#include "ui/Controls.h"
#include "ui/MainForm.h"
#include "ui/OptionsForm.h"
#include "ui/WdbViewerForm.h"

namespace drovane {
namespace {

constexpr char kLauncherName[] = "\\World of Warcraft Launcher.exe";
constexpr char kFeedbackAddress[] = "feedback@drovane.com";
constexpr int kWdbRowCount = 4;

}  // namespace

void MainForm::OnCommand(WPARAM command) {
  switch (command) {
    case kCmdUpload:
      StartUpload(false);
      break;
    case kCmdLaunchButton:
    case kCmdLaunch:
    case kCmdTrayLaunch:
      LaunchGame();
      break;
    case kCmdExit:
    case kCmdTrayExit:
      ExitApplication();
      break;
    case kCmdRefresh:
      RefreshData();
      break;
    case kCmdDisplayLog:
      ShowLogPane(!IsWindowVisible(logPane()));
      break;
    case kCmdBrowseLogs:
      ShellExecuteW(nullptr, L"explore", Wide(AppDataDir() + "log\\").c_str(), nullptr, nullptr,
                    SW_SHOWNORMAL);
      break;
    case kCmdOptions:
      ShowOptions(settings, this, hwnd);
      break;
    case kCmdManageAccounts:
      ShowAccountOptions(settings, hwnd);
      break;
    case kCmdViewCache: {
      const int row = static_cast<int>(
          SendMessageA(sharedCacheList(), LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED));
      if (row >= 0 && row < kWdbRowCount) ShowWdbViewer(settings, row, hwnd);
      break;
    }
    case kCmdFaq:
      OpenWithShell(WebsiteBaseUrl() + "/client#related-faq");
      break;
    case kCmdHomepage:
      OpenWithShell(WebsiteBaseUrl());
      break;
    case kCmdCheckUpdates:
      EndBackgroundUpdateFor("the player checks for updates.");
      RunUpdater(0);
      break;
    case kCmdStatistics:
      ShowStatistics();
      break;
    case kCmdAbout:
      ShowAbout();
      break;
    case kCmdTrayOpen:
      BringToFront();
      break;
    case kCmdBlockAccount:
      AccountExclusions()[contextAccount] = contextAccount;
      SaveAccountExclusions();
      break;
    case kCmdAllowAccount:
      AccountExclusions().erase(contextAccount);
      SaveAccountExclusions();
      break;
    default:
      break;
  }
}

void MainForm::LaunchGame() {
  const std::string folder = settings->GetGameFolder(Live);
  const std::string launcher = folder + kLauncherName;
  const INT_PTR result = reinterpret_cast<INT_PTR>(ShellExecuteW(
      nullptr, L"open", Wide(launcher).c_str(), nullptr, Wide(folder).c_str(), SW_SHOWNORMAL));
  if (result <= 32) {
    ClientMessageBox(hwnd, "Could not launch " + launcher + ".", MB_ICONERROR);
    return;
  }
  // Minimized directly, not through the minimize command: even with the tray icon on.
  if (isEnabled && settings->HasPreference(PREF_AUTO_MINIMIZE)) ShowWindow(hwnd, SW_MINIMIZE);
}

void MainForm::ShowStatistics() {
  settings->LoadStatistics();
  char text[128];
  std::snprintf(text, sizeof text, "Times started: %i\nUploads: %i\nTotal uploaded: %s",
                static_cast<int>(settings->timesStarted), static_cast<int>(settings->uploadCount),
                FormatSize(settings->totalUploaded, false).c_str());
  ShowMessageBox(hwnd, text, "Statistics", MB_OK);
}

void MainForm::ShowAbout() {
  const std::string text = std::string(kClientName) + " " + kClientVersion +
                           "\r\n\r\nPlease send any comments, questions\r\nand bug reports to " +
                           kFeedbackAddress;
  ShowMessageBox(hwnd, text, "About", MB_OK);
}

void MainForm::OnListNotify(const NMHDR* header) {
  // Only a click carries an NMITEMACTIVATE; other notifications (focus, hover) are a bare NMHDR
  // or another structure, and reading a row from them would read past it.
  if (!header || (header->code != NM_RCLICK && header->code != NM_DBLCLK)) return;
  const NMITEMACTIVATE* activate = reinterpret_cast<const NMITEMACTIVATE*>(header);
  if (header->hwndFrom == sharedCacheList()) {
    const int row = activate->iItem;
    if (row < 0 || row >= kWdbRowCount || counters.wdb[row].records <= 0) return;
    if (header->code == NM_RCLICK) {
      OpenPopup(listMenu);
    } else if (header->code == NM_DBLCLK) {
      SendMessageA(hwnd, WM_COMMAND, kCmdViewCache, 0);
    }
  } else if (header->hwndFrom == accountList() && header->code == NM_RCLICK) {
    const int row = activate->iItem;
    if (row < 0 || row >= static_cast<int>(accounts.size())) return;
    // The whole folder name, not the shortened one the row shows, names the account.
    const std::string& name = accounts[row].accountFolder;
    if (name.empty()) return;
    contextAccount = Utf8ToUpper(name);
    OpenPopup(IsAccountExcluded(contextAccount) ? allowMenu : blockMenu);
  }
}

}  // namespace drovane
