// The main window in-process: how it is built, what it shows for a generated installation, how it
// shows itself at start, its tray and log-pane behaviour, and the account context menus.
#include <windows.h>
#include <commctrl.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

#include "app/Application.h"
#include "base/DataFile.h"
#include "base/FileLog.h"
#include "base/FileSystem.h"
#include "settings/AccountExclusions.h"
#include "support/CleanSettings.h"
#include "support/GameInstall.h"
#include "support/Process.h"
#include "support/TempFolder.h"
#include "support/WindowGeometry.h"
#include "ui/ListView.h"
#include "ui/MainForm.h"
#include "update/SelfUpdate.h"

namespace drovane {
namespace {

using test::ClientRectOf;
using test::ClientSize;

using ::testing::ElementsAre;

using test::MakeInstallation;

std::vector<HMENU> g_popups;
void RecordPopup(MainForm&, HMENU menu) {
  g_popups.push_back(menu);
}

class MainFormTest : public test::CleanSettingsTest {
 protected:
  void SetUp() override {
    CleanSettingsTest::SetUp();
    g_popups.clear();
    app_.skipInitialSelfUpdate = true;
    app_.timesStarted = 5;
    app_.SetPreferences(kDefaultPreferences, true);
    app_.SetGameFolder(Live, LiveFolder(), true);
  }
  void TearDown() override {
    form_.reset();
    AccountExclusions().clear();
    CleanSettingsTest::TearDown();
  }
  MainForm& Open() {
    form_ = std::make_unique<MainForm>(&app_);
    form_->popupHandler = RecordPopup;
    EXPECT_TRUE(form_->CreateModeless(nullptr));
    return *form_;
  }
  void RightClick(HWND list, int row) {
    NMITEMACTIVATE notify = {};
    notify.hdr.hwndFrom = list;
    notify.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(list));
    notify.hdr.code = NM_RCLICK;
    notify.iItem = row;
    SendMessageA(form_->hwnd, WM_NOTIFY, notify.hdr.idFrom, reinterpret_cast<LPARAM>(&notify));
  }
  std::vector<std::string> Row(HWND list, int row, int columns) {
    std::vector<std::string> texts;
    for (int column = 0; column < columns; ++column) {
      texts.push_back(ListCellText(list, row, column));
    }
    return texts;
  }

  Application app_;
  std::unique_ptr<MainForm> form_;
};

TEST_F(MainFormTest, BuildsTitleSizeStylesAndControls) {
  MainForm& form = Open();
  char title[64] = {};
  GetWindowTextA(form.hwnd, title, sizeof title);
  EXPECT_STREQ(title, "Drovane Client");
  EXPECT_EQ(ClientSize(form.hwnd).cx, 500);
  EXPECT_EQ(ClientSize(form.hwnd).cy, 324);
  EXPECT_EQ(GetWindowLongA(form.hwnd, GWL_STYLE) & 0xCA0000, 0xCA0000);
  EXPECT_TRUE(GetWindowLongA(form.hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW);

  struct Expected {
    HWND control;
    const char* className;
    RECT rect;
    int id;
  } controls[] = {
      {form.controls[MainForm::kSharedCacheLabel], "Static", {11, 10, 211, 26}, 0},
      {form.sharedCacheList(), "SysListView32", {10, 27, 490, 157}, 0},
      {form.controls[MainForm::kAccountLabel], "Static", {11, 167, 211, 183}, 0},
      {form.accountList(), "SysListView32", {10, 185, 490, 283}, 901},
      {form.launchButton(), "Button", {320, 292, 410, 315}, 102},
      {form.uploadButton(), "Button", {416, 292, 491, 315}, 101},
      {form.logPane(), "Edit", {10, 324, 490, 441}, 0},
  };
  for (const Expected& e : controls) {
    char className[64] = {};
    GetClassNameA(e.control, className, sizeof className);
    EXPECT_STREQ(className, e.className);
    const RECT rect = ClientRectOf(e.control);
    EXPECT_EQ(rect.left, e.rect.left) << className;
    EXPECT_EQ(rect.top, e.rect.top) << className;
    EXPECT_EQ(rect.right, e.rect.right) << className;
    EXPECT_EQ(rect.bottom, e.rect.bottom) << className;
    EXPECT_EQ(GetDlgCtrlID(e.control), e.id) << className;
  }
  EXPECT_FALSE(IsWindowVisible(form.logPane()));
  EXPECT_TRUE(GetWindowLongA(form.logPane(), GWL_STYLE) & ES_READONLY);
  EXPECT_EQ(SendMessageA(form.accountList(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & 0x4020, 0x4020);
}

TEST_F(MainFormTest, ListColumnsHaveTheirNamesWidthsAndAlignment) {
  MainForm& form = Open();
  struct Column {
    std::string title;
    int width;
    int format;
  };
  auto columns = [](HWND list) {
    std::vector<Column> result;
    for (int i = 0;; ++i) {
      char text[64] = {};
      LVCOLUMNA column = {};
      column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
      column.pszText = text;
      column.cchTextMax = sizeof text;
      if (!SendMessageA(list, LVM_GETCOLUMNA, i, reinterpret_cast<LPARAM>(&column))) break;
      result.push_back({text, column.cx, column.fmt & LVCFMT_JUSTIFYMASK});
    }
    return result;
  };
  const std::vector<Column> cache = columns(form.sharedCacheList());
  ASSERT_EQ(cache.size(), 5u);
  const char* cacheTitles[] = {"Type", "Count", "Size", "Uploaded", "Description"};
  const int cacheWidths[] = {65, 65, 65, 65, 205};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(cache[i].title, cacheTitles[i]);
    EXPECT_EQ(cache[i].width, cacheWidths[i]);
    EXPECT_EQ(cache[i].format, i == 0 || i == 4 ? LVCFMT_LEFT : LVCFMT_RIGHT);
  }
  const std::vector<Column> accounts = columns(form.accountList());
  ASSERT_EQ(accounts.size(), 6u);
  const char* accountTitles[] = {"Name", "Size", "Loots", "Locations", "AH Prices", "Profiles"};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(accounts[i].title, accountTitles[i]);
    EXPECT_EQ(accounts[i].width, i == 0 ? 140 : 65);
    EXPECT_EQ(accounts[i].format, i == 0 ? LVCFMT_LEFT : LVCFMT_RIGHT);
  }
}

TEST_F(MainFormTest, MenuBarAndPopupsHaveTheirTextsAndIds) {
  MainForm& form = Open();
  auto items = [](HMENU menu) {
    std::vector<std::string> result;
    for (int i = 0; i < GetMenuItemCount(menu); ++i) {
      char text[64] = {};
      MENUITEMINFOA info = {};
      info.cbSize = sizeof info;
      info.fMask = MIIM_ID | MIIM_FTYPE | MIIM_STRING | MIIM_SUBMENU;
      info.dwTypeData = text;
      info.cch = sizeof text;
      GetMenuItemInfoA(menu, i, TRUE, &info);
      if (info.fType & MFT_SEPARATOR) {
        result.push_back("-");
      } else if (info.hSubMenu) {
        result.push_back(text);
      } else {
        result.push_back(std::string(text) + "=" + std::to_string(info.wID));
      }
    }
    return result;
  };
  HMENU bar = GetMenu(form.hwnd);
  EXPECT_THAT(items(bar), ElementsAre("File", "View", "Tools", "Help"));
  EXPECT_THAT(items(GetSubMenu(bar, 0)), ElementsAre("Launch WoW=201", "-", "Exit=202"));
  EXPECT_THAT(items(GetSubMenu(bar, 1)),
              ElementsAre("Refresh=211", "-", "Display Log=212", "Browse Log History=213"));
  EXPECT_THAT(items(GetSubMenu(bar, 2)),
              ElementsAre("Options...=221", "Manage Character Data Uploads=222"));
  EXPECT_THAT(items(GetSubMenu(bar, 3)),
              ElementsAre("FAQ=231", "Drovane Homepage=232", "-", "Check for Updates...=233",
                          "Show Statistics...=234", "-", "About...=235"));
  EXPECT_THAT(items(form.listMenu), ElementsAre("View...=301"));
  EXPECT_THAT(items(form.blockMenu), ElementsAre("Block character data upload.=501"));
  EXPECT_THAT(items(form.allowMenu), ElementsAre("Allow character data upload.=502"));
  EXPECT_THAT(items(form.trayMenu),
              ElementsAre("Launch WoW=401", "-", "Open Drovane Client=402", "Exit=403"));
  EXPECT_EQ(GetMenuDefaultItem(form.trayMenu, FALSE, 0), 402u);
}

TEST_F(MainFormTest, LogPaneToggleSizesTheWindow) {
  MainForm& form = Open();
  EXPECT_EQ(ClientSize(form.hwnd).cy, 324);
  SendMessageA(form.hwnd, WM_COMMAND, kCmdDisplayLog, 0);
  EXPECT_EQ(ClientSize(form.hwnd).cy, 439);
  EXPECT_TRUE(IsWindowVisible(form.logPane()) || !IsWindowVisible(form.hwnd));
  EXPECT_EQ(GetMenuState(GetMenu(form.hwnd), kCmdDisplayLog, MF_BYCOMMAND) & MF_CHECKED,
            static_cast<UINT>(MF_CHECKED));
  SendMessageA(form.hwnd, WM_COMMAND, kCmdDisplayLog, 0);
  EXPECT_EQ(ClientSize(form.hwnd).cy, 312);
  EXPECT_EQ(GetMenuState(GetMenu(form.hwnd), kCmdDisplayLog, MF_BYCOMMAND) & MF_CHECKED, 0u);
}

TEST_F(MainFormTest, LogPaneLinesBeginWithTheTime) {
  MainForm& form = Open();
  form.AppendToLogPane(" more", false);
  form.AppendToLogPane("Upload succeeded!", true);
  char text[1024] = {};
  GetWindowTextA(form.logPane(), text, sizeof text);
  const std::string pane = text;
  EXPECT_EQ(pane.substr(11, 37), "Thanks for using the Drovane Client!\r");
  EXPECT_NE(pane.find("Compatible with Legion. more\r\n["), std::string::npos) << pane;
  EXPECT_EQ(pane.substr(pane.size() - 17), "Upload succeeded!");
}

TEST_F(MainFormTest, StartVisibilityFollowsLaunchModeAndPreferences) {
  struct Case {
    LaunchMode mode;
    uint32_t preferences;
    bool visible;
    bool minimized;
  } cases[] = {
      {LaunchMode::None, PREF_SHOW_IN_TASKBAR, true, false},
      {LaunchMode::None, PREF_START_MINIMIZED | PREF_SHOW_IN_TRAY, false, false},
      {LaunchMode::None, PREF_START_MINIMIZED, true, true},
      {LaunchMode::Hidden, PREF_SHOW_IN_TRAY, false, false},
      {LaunchMode::Hidden, 0, true, true},
      {LaunchMode::Normal, PREF_START_MINIMIZED | PREF_SHOW_IN_TRAY, true, false},
  };
  for (const Case& c : cases) {
    app_.launchMode = c.mode;
    app_.SetPreferences(c.preferences, true);
    MainForm& form = Open();
    EXPECT_EQ(IsWindowVisible(form.hwnd) != 0, c.visible) << c.preferences;
    EXPECT_EQ(IsIconic(form.hwnd) != 0, c.minimized) << c.preferences;
    EXPECT_EQ(form.trayIconShown, (c.preferences & PREF_SHOW_IN_TRAY) != 0);
    form_.reset();
  }
}

TEST_F(MainFormTest, MinimizeHidesTheWindowOnlyWithTheTrayIcon) {
  app_.SetPreferences(PREF_SHOW_IN_TRAY, true);
  MainForm& form = Open();
  SendMessageA(form.hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);
  EXPECT_FALSE(IsWindowVisible(form.hwnd));
  // A double-click on the icon brings it back, normal and in front.
  SendMessageA(form.hwnd, TRAY_CALLBACK_MESSAGE, 0, WM_LBUTTONDBLCLK);
  EXPECT_TRUE(IsWindowVisible(form.hwnd));
  EXPECT_FALSE(IsIconic(form.hwnd));
  SendMessageA(form.hwnd, TRAY_CALLBACK_MESSAGE, 0, WM_RBUTTONUP);
  EXPECT_THAT(g_popups, ElementsAre(form.trayMenu));
  form_.reset();

  app_.SetPreferences(0, true);
  MainForm& plain = Open();
  DefWindowProcA(plain.hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0);  // what the dialog manager does
  EXPECT_EQ(SendMessageA(plain.hwnd, WM_SYSCOMMAND, SC_MINIMIZE, 0), 0);
  EXPECT_TRUE(IsIconic(plain.hwnd));
}

TEST_F(MainFormTest, RowsOfAGeneratedInstallation) {
  test::TempFolder game;
  ASSERT_TRUE(MakeInstallation(game.path(), "--records 20 --accounts \"MY MAIN,SECOND:1\""));
  app_.SetGameFolder(Live, game.path(), true);
  MainForm& form = Open();
  ASSERT_EQ(ListRowCount(form.sharedCacheList()), 6);
  EXPECT_THAT(Row(form.sharedCacheList(), 0, 5)[0], "Creatures");
  EXPECT_EQ(Row(form.sharedCacheList(), 0, 5)[1], "20");
  EXPECT_EQ(Row(form.sharedCacheList(), 0, 5)[3], "0%");
  EXPECT_EQ(Row(form.sharedCacheList(), 5, 5)[0], "ADB files");
  EXPECT_EQ(Row(form.sharedCacheList(), 5, 5)[1], "7 files");
  EXPECT_EQ(Row(form.sharedCacheList(), 5, 5)[4], "WoW cache files");
  ASSERT_EQ(ListRowCount(form.accountList()), 2);
  EXPECT_EQ(Row(form.accountList(), 0, 6)[0], "My Main");
  EXPECT_EQ(Row(form.accountList(), 1, 6)[0], "Second");
  EXPECT_TRUE(form.hasDataToUpload);
  EXPECT_TRUE(IsWindowEnabled(form.uploadButton()));
}

TEST_F(MainFormTest, NothingToUploadDisablesTheUploadButton) {
  MainForm& form = Open();  // the stored Live folder holds only an executable
  EXPECT_FALSE(form.hasDataToUpload);
  EXPECT_FALSE(IsWindowEnabled(form.uploadButton()));
  EXPECT_EQ(Row(form.sharedCacheList(), ListRowCount(form.sharedCacheList()) - 1, 5),
            (std::vector<std::string>{"ADB files", "0 files", "0", "-", "WoW cache files"}));
  form_.reset();

  // Data of a game version the upload skips is not offered either: it would stay "available"
  // for ever.
  test::TempFolder old;
  ASSERT_TRUE(MakeInstallation(old.path(), "--records 20 --accounts \"MY MAIN\" --game-version 6"));
  app_.SetGameFolder(Live, old.path(), true);
  MainForm& again = Open();
  EXPECT_FALSE(again.hasDataToUpload);
  EXPECT_FALSE(IsWindowEnabled(again.uploadButton()));
  EXPECT_EQ(Row(again.sharedCacheList(), 0, 5)[1], "0");
}

TEST_F(MainFormTest, ContextMenusOnlyForWdbRowsWithRecordsAndNamedAccounts) {
  test::TempFolder game;
  ASSERT_TRUE(MakeInstallation(game.path(), "--records 3 --accounts \"MY MAIN\""));
  app_.SetGameFolder(Live, game.path(), true);
  MainForm& form = Open();
  RightClick(form.sharedCacheList(), 0);  // Creatures, with records
  RightClick(form.sharedCacheList(), 5);  // the ADB total: no menu
  RightClick(form.sharedCacheList(), -1);
  RightClick(form.accountList(), 3);  // no such row
  EXPECT_THAT(g_popups, ElementsAre(form.listMenu));

  g_popups.clear();
  RightClick(form.accountList(), 0);
  EXPECT_THAT(g_popups, ElementsAre(form.blockMenu));
  EXPECT_EQ(form.contextAccount, "MY MAIN");
  SendMessageA(form.hwnd, WM_COMMAND, kCmdBlockAccount, 0);
  EXPECT_EQ(Row(form.accountList(), 0, 6)[5], "Blocked");
  EXPECT_EQ(test::ReadTestFile(AppDataDir() + "account.block"), "MY MAIN\n");

  RightClick(form.accountList(), 0);
  EXPECT_THAT(g_popups, ElementsAre(form.blockMenu, form.allowMenu));
  SendMessageA(form.hwnd, WM_COMMAND, kCmdAllowAccount, 0);
  EXPECT_NE(Row(form.accountList(), 0, 6)[5], "Blocked");

  // A focus notification is a bare NMHDR: here it ends a page whose next page may not be read,
  // so reading a row from it would end the process.
  SYSTEM_INFO system = {};
  GetSystemInfo(&system);
  char* pages = static_cast<char*>(
      VirtualAlloc(nullptr, 2 * system.dwPageSize, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  ASSERT_NE(pages, nullptr);
  DWORD old = 0;
  ASSERT_TRUE(VirtualProtect(pages + system.dwPageSize, system.dwPageSize, PAGE_NOACCESS, &old));
  for (HWND list : {form.sharedCacheList(), form.accountList()}) {
    auto* focus = reinterpret_cast<NMHDR*>(pages + system.dwPageSize - sizeof(NMHDR));
    focus->hwndFrom = list;
    focus->idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(list));
    focus->code = NM_SETFOCUS;
    SendMessageA(form.hwnd, WM_NOTIFY, focus->idFrom, reinterpret_cast<LPARAM>(focus));
  }
  VirtualFree(pages, 0, MEM_RELEASE);
  EXPECT_THAT(g_popups, ElementsAre(form.blockMenu, form.allowMenu));
}

TEST_F(MainFormTest, TheTrayIconReusesItsIconsWhenItIsToggled) {
  MainForm& form = Open();
  // The icons are the client's resources: they are taken from the built client beside this
  // program.
  std::string program;
  ASSERT_TRUE(GetModulePath(program));
  const std::string client = program.substr(0, program.find_last_of('\\')) + "\\DrovaneClient.exe";
  const HMODULE resources = LoadLibraryExA(client.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(resources, nullptr) << client;
  const HINSTANCE own = form.instance;
  form.instance = resources;
  form.SetTrayIcon(true, 101);
  const HICON first = form.trayIcon;
  ASSERT_NE(first, nullptr);
  for (int i = 0; i < 20; ++i) {
    form.SetTrayIcon(true, 102);
    form.SetTrayIcon(false, 0);
    form.SetTrayIcon(true, 101);
  }
  EXPECT_EQ(form.trayIcon, first);  // a new icon each time would be a new handle, never freed
  form.SetTrayIcon(true, 102);
  EXPECT_NE(form.trayIcon, first);
  form.SetTrayIcon(false, 0);
  form.instance = own;
}

bool g_gameRunning = false;
bool FakeGameRunning(const Settings&) {
  return g_gameRunning;
}

std::string PaneText(const MainForm& form) {
  const int length = GetWindowTextLengthA(form.logPane());
  std::string text(static_cast<size_t>(length) + 1, '\0');
  GetWindowTextA(form.logPane(), &text[0], length + 1);
  text.resize(static_cast<size_t>(length));
  return text;
}

TEST_F(MainFormTest, GameWatchReportsEachChangeOnceAndUploadsWhenTheGameExits) {
  g_gameRunning = false;
  app_.SetPreferences(kDefaultPreferences | PREF_AUTO_UPLOAD, true);
  MainForm& form = Open();
  form.isGameRunning = FakeGameRunning;
  const size_t logStart = Log().Pending().size();
  form.OnWatchTimer(MainForm::kWatchTimer);
  EXPECT_EQ(PaneText(form).find("WoW"), std::string::npos);  // nothing changed, nothing said

  g_gameRunning = true;
  form.OnWatchTimer(MainForm::kWatchTimer);
  form.OnWatchTimer(MainForm::kWatchTimer);
  g_gameRunning = false;
  form.OnWatchTimer(MainForm::kWatchTimer);
  const std::string pane = PaneText(form);
  EXPECT_TRUE(std::regex_search(
      pane, std::regex(R"(\r\n\[\d\d:\d\d:\d\d\] WoW is now running\.\r\n)"
                       R"(\[\d\d:\d\d:\d\d\] WoW exited\. Auto-uploading\.\.\. )")))
      << pane;
  const std::string log = Log().Pending().substr(logStart);
  EXPECT_NE(log.find("] WoW is now running.\n"), std::string::npos);
  EXPECT_NE(log.find("] WoW exited.\n"), std::string::npos);
  EXPECT_NE(log.find("Refreshing data..."), std::string::npos);  // rescanned after the exit
}

// The game exiting while an upload runs must not rescan under it: the upload's bookkeeping uses
// the upload states the scan fills. The rescan runs once the upload has ended.
TEST_F(MainFormTest, NoRescanWhileAnUploadRunsButOnceItHasEnded) {
  test::TempFolder game;
  ASSERT_TRUE(MakeInstallation(game.path(), "--records 3"));
  app_.SetGameFolder(Live, game.path(), true);
  g_gameRunning = true;
  MainForm& form = Open();
  form.isGameRunning = FakeGameRunning;
  form.OnWatchTimer(MainForm::kWatchTimer);
  ASSERT_EQ(Row(form.sharedCacheList(), 0, 5)[1], "3");

  form.uploading = true;  // as StartUpload sets it around the upload window
  form.isEnabled = false;
  ASSERT_TRUE(MakeInstallation(game.path(), "--records 7"));
  g_gameRunning = false;
  form.OnWatchTimer(MainForm::kWatchTimer);
  SendMessageA(form.hwnd, WM_COMMAND, kCmdRefresh, 0);
  EXPECT_EQ(Row(form.sharedCacheList(), 0, 5)[1], "3");

  form.isEnabled = true;
  form.EndOfUpload();
  EXPECT_EQ(Row(form.sharedCacheList(), 0, 5)[1], "7");
  EXPECT_FALSE(form.uploading);
}

TEST_F(MainFormTest, NoAutomaticUploadWhileAModalWindowIsOpen) {
  g_gameRunning = true;
  app_.SetPreferences(kDefaultPreferences | PREF_AUTO_UPLOAD, true);
  MainForm& form = Open();
  form.isGameRunning = FakeGameRunning;
  form.OnWatchTimer(MainForm::kWatchTimer);
  SendMessageA(form.hwnd, WM_ENABLE, FALSE, 0);  // what a modal window over it does
  g_gameRunning = false;
  form.OnWatchTimer(MainForm::kWatchTimer);
  const std::string pane = PaneText(form);
  EXPECT_NE(pane.find("WoW exited."), std::string::npos);
  EXPECT_EQ(pane.find("Auto-uploading"), std::string::npos);
}

TEST_F(MainFormTest, HourlyUpdateWaitsWhileTheGameRunsAndEndsOnACompletionMessage) {
  g_gameRunning = true;
  MainForm& form = Open();
  form.isGameRunning = FakeGameRunning;
  form.OnWatchTimer(MainForm::kUpdateTimer);
  EXPECT_EQ(form.backgroundUpdate, nullptr);

  const size_t logStart = Log().Pending().size();
  SendMessageA(form.hwnd, 2035, 0, 0);  // finished: ignored, the completion follows
  SendMessageA(form.hwnd, 2037, 2, 0);
  SendMessageA(form.hwnd, 2032, 0, 0);
  const std::string log = Log().Pending().substr(logStart);
  EXPECT_TRUE(std::regex_search(log, std::regex(R"(Ending background client update\.\n.*)"
                                                R"(Background client update succeeded\.\n.*)"
                                                R"(Ending background client update\.\n.*)"
                                                R"(Background client update failed\.\n)")))
      << log;
}

TEST_F(MainFormTest, NoHourlyUpdateBehindAnOpenWindowAndTheRestartWaitsForIt) {
  g_gameRunning = false;
  MainForm& form = Open();
  form.isGameRunning = FakeGameRunning;
  SendMessageA(form.hwnd, WM_ENABLE, FALSE, 0);  // an upload or another window is open
  form.OnWatchTimer(MainForm::kUpdateTimer);
  EXPECT_EQ(form.backgroundUpdate, nullptr);

  // An hourly run that has put a new client in place: its restart would end this process.
  const size_t logStart = Log().Pending().size();
  form.backgroundUpdate = std::make_unique<SelfUpdate>(&app_);
  SendMessageA(form.hwnd, UPD_RESTART_READY, 0, 0);
  form.OnWatchTimer(MainForm::kWatchTimer);
  EXPECT_TRUE(form.restartPending);
  EXPECT_NE(Log().Pending().substr(logStart).find(
                "The new client version is in place; it starts when no window is open."),
            std::string::npos);
  form.restartPending = false;  // this test process must not be restarted
  form.backgroundUpdate.reset();
}

}  // namespace
}  // namespace drovane
