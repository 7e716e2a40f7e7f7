#pragma once
// The window the player works with: the shared cache list and the account list, the launch and
// upload buttons, a hidden log pane, the menu bar, context menus and the notification icon.
// Closing it ends the client.
#include <windows.h>
#include <commctrl.h>

#include <chrono>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "base/WinHandles.h"
#include "data/AccountData.h"
#include "data/CacheInventory.h"
#include "ui/Form.h"

namespace drovane {

class Settings;
class SelfUpdate;

constexpr UINT TRAY_CALLBACK_MESSAGE = 0x440;

// Command ids of the buttons, menus and pop-ups.
enum MainCommand : int {
  kCmdUpload = 101,
  kCmdLaunchButton = 102,
  kCmdLaunch = 201,
  kCmdExit = 202,
  kCmdRefresh = 211,
  kCmdDisplayLog = 212,
  kCmdBrowseLogs = 213,
  kCmdOptions = 221,
  kCmdManageAccounts = 222,
  kCmdFaq = 231,
  kCmdHomepage = 232,
  kCmdCheckUpdates = 233,
  kCmdStatistics = 234,
  kCmdAbout = 235,
  kCmdViewCache = 301,
  kCmdTrayLaunch = 401,
  kCmdTrayOpen = 402,
  kCmdTrayExit = 403,
  kCmdBlockAccount = 501,
  kCmdAllowAccount = 502,
};
constexpr int kAccountListId = 901;

class MainForm : public Form {
 public:
  explicit MainForm(Settings* settings);
  ~MainForm() override;

  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  // Rescans the game data and refills both lists; the Upload button follows what was found.
  void RefreshData();
  void SetTrayIcon(bool show, int iconId);
  // With newLine, a new line with the local time begins (unless the pane is empty).
  void AppendToLogPane(const std::string& text, bool newLine);
  void ShowLogPane(bool show);
  void ExitApplication();
  void StartUpload(bool automatic);
  // The upload window has closed: the rescan it held back runs now.
  void EndOfUpload();
  int RunUpdater(int runMode);

  // The seven controls, in the order one ApplyDefaultFont call covers them.
  enum Control {
    kSharedCacheLabel,
    kSharedCacheList,
    kAccountLabel,
    kAccountList,
    kLaunchButton,
    kUploadButton,
    kLogPane,
    kControlCount
  };
  HWND controls[kControlCount] = {};
  HWND sharedCacheList() const { return controls[kSharedCacheList]; }
  HWND accountList() const { return controls[kAccountList]; }
  HWND launchButton() const { return controls[kLaunchButton]; }
  HWND uploadButton() const { return controls[kUploadButton]; }
  HWND logPane() const { return controls[kLogPane]; }

  Settings* settings;
  // The running hourly update, if any.
  std::unique_ptr<SelfUpdate> backgroundUpdate;
  // The hourly update has put a new client in place; it restarts once no window is open.
  bool restartPending = false;
  // Why the window closed itself while it was being built (the player cancelled the start-up
  // update); empty otherwise.
  std::string endReason;
  // The digest of the newer client the log pane last said this copy cannot install.
  std::string announcedClient;
  HMENU listMenu = nullptr;
  HMENU trayMenu = nullptr;
  HMENU allowMenu = nullptr;
  HMENU blockMenu = nullptr;
  bool isEnabled = true;
  // An upload window is open: the upload's bookkeeping uses the upload states the scan fills, so
  // no rescan runs under it; one asked for meanwhile runs when the upload has ended.
  bool uploading = false;
  bool refreshAfterUpload = false;
  CacheCounters counters;
  bool hasDataToUpload = false;
  bool trayIconShown = false;
  HICON trayIcon = nullptr;  // the icon last given to the notification area
  bool gameRunning = false;
  std::string contextAccount;
  // The accounts of the last refresh, one per row of the account list.
  std::vector<AccountDataEntry> accounts;

  // Where TrackPopupMenu opens the context menus; tests record instead of showing a menu.
  using PopupHandler = void (*)(MainForm& form, HMENU menu);
  PopupHandler popupHandler = nullptr;

 public:
  // Called by the two timers (and once at start): the game watch and the hourly update.
  void OnWatchTimer(UINT_PTR timerId);
  static constexpr UINT_PTR kWatchTimer = 0;
  static constexpr UINT_PTR kUpdateTimer = 1;
  // The hourly update runs with nobody watching: none of its exchanges may take longer than
  // this, so the next hour finds it ended.
  static constexpr std::chrono::minutes kBackgroundExchangeLimit{30};
  // Tests replace the running-game check.
  using GameRunningCheck = bool (*)(const Settings& settings);
  GameRunningCheck isGameRunning = nullptr;

 private:
  std::map<int, IconHandle> trayIcons_;  // by resource id, loaded on first use
  bool BuildMainWindow();
  void BuildMenus();
  void CreateControls();
  void ShowAtStart(uint32_t preferences);
  void OnCommand(WPARAM command);
  void OnListNotify(const NMHDR* header);
  void OnTrayNotify(LPARAM event);
  void StartBackgroundUpdate();
  // Restarts into the new client when no window of the client is open; otherwise later.
  void RestartWhenIdle();
  // Before a visible update run: the hourly one ends (or restarts, when it has finished its
  // work), so two runs never overlap.
  void EndBackgroundUpdateFor(const char* reason);
  // A message of the background update; true when it was one.
  bool OnUpdateMessage(UINT message, LPARAM lParam);
  // Tells the player, in the log pane, that a newer client must be installed with its setup
  // program: once for each published client (by its digest), however many runs find it.
  void AnnounceClientNotice(const std::string& clientDigest, const std::string& text);
  void LaunchGame();
  void ShowStatistics();
  void ShowAbout();
  void OpenPopup(HMENU menu);
  void FillLists(const std::vector<std::vector<std::string>>& cacheRows,
                 const std::vector<std::vector<std::string>>& accountRows);

  UINT taskbarCreatedMessage_ = 0;
};

}  // namespace drovane
