// The Options dialog in-process: its layout and initial state, the login edits' focus behaviour,
// the shortcut, browse and detect buttons, what OK stores in which order and where it stops, and
// what it changes on the main window.
#include <windows.h>
#include <commctrl.h>
#include <objbase.h>
#include <shlobj.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "app/Application.h"
#include "base/ComHandles.h"
#include "base/DataFile.h"
#include "base/FileSystem.h"
#include "base/Registry.h"
#include "base/Version.h"
#include "support/CleanSettings.h"
#include "support/DialogAnswerer.h"
#include "support/GameInstall.h"
#include "support/Process.h"
#include "support/TempFolder.h"
#include "support/WindowGeometry.h"
#include "ui/ListView.h"
#include "ui/MainForm.h"
#include "ui/OptionsForm.h"

namespace drovane {
namespace {

using test::ClientRectOf;
using test::ClientSize;

using test::DialogAnswerer;
using test::TempFolder;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr char kLiveKey[] = "SOFTWARE\\Blizzard Entertainment\\World of Warcraft";
constexpr char kPtrKey[] = "SOFTWARE\\Blizzard Entertainment\\World of Warcraft\\PTR";
constexpr char kEmptyDigest[] = "d41d8cd98f00b204e9800998ecf8427e";   // MD5 of ""
constexpr char kSecretDigest[] = "5ebe2294ecd0e0f08eab7690d2a6ee69";  // MD5 of "secret"
constexpr char kStoredDigest[] = "0123456789abcdef0123456789abcdef";
constexpr char kHint[] = "click to change";

using test::FakeGamePath;
using test::InstallFakeGame;

::testing::AssertionResult MakeInstallation(const std::string& folder,
                                            const std::string& options = "") {
  test::ChildProcess fixture(test::Quoted(test::ProgramFolder() + "\\gamefixture.exe") + " " +
                             options + " " + test::Quoted(folder));
  if (!fixture.WaitForExit(60000)) return ::testing::AssertionFailure() << "gamefixture hangs";
  if (fixture.exitCode() != 0) {
    return ::testing::AssertionFailure() << "gamefixture failed: " << fixture.exitCode();
  }
  return ::testing::AssertionSuccess();
}

// What the browse buttons get from the open-file dialog in these tests.
struct BrowseRequest {
  std::string title;
  std::string filter;
};
std::vector<BrowseRequest> g_browseRequests;
std::string g_browseResult;  // empty: the player cancels
bool FakeChooser(const std::string& title, const std::string& filter, std::string& chosen) {
  g_browseRequests.push_back({title, filter});
  if (g_browseResult.empty()) return false;
  chosen = g_browseResult;
  return true;
}

std::string Text(HWND window) {
  char text[512] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

bool IsItalic(HWND control) {
  HFONT font = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
  LOGFONTA description = {};
  return font && GetObjectA(font, sizeof description, &description) && description.lfItalic;
}

WPARAM PasswordCharacter(HWND edit) {
  return static_cast<WPARAM>(SendMessageA(edit, EM_GETPASSWORDCHAR, 0, 0));
}

std::string StoredOption(const char* name) {
  std::string text;
  return RegistryReadString(HKEY_CURRENT_USER, kOptionsKey, name, MAX_PATH, text) ? text
                                                                                  : "<absent>";
}

// The open-file filter of an edition: label, NUL, pattern, NUL.
template <size_t N>
std::string Filter(const char (&text)[N]) {
  return std::string(text, N - 1);
}

uint32_t StoredPreferences() {
  uint32_t bits = 0;
  return RegistryReadDword(kOptionsKey, "Preferences", bits) ? bits : 0xFFFFFFFF;
}

class OptionsFormTest : public test::CleanSettingsTest {
 protected:
  OptionsFormTest() : CleanSettingsTest(false) {}
  void SetUp() override {
    CleanSettingsTest::SetUp();
    InstallFormHooks();
    g_browseRequests.clear();
    g_browseResult.clear();
    ASSERT_TRUE(InstallFakeGame("Wow.exe", games_ / "live\\Wow.exe"));
    // As after a start: settings in memory, only the Live folder and the preferences stored.
    app_.SetGameFolder(Live, games_ / "live", false);
    app_.SetPreferences(kDefaultPreferences, false);
  }
  void TearDown() override {
    form_.reset();
    RemoveFormHooks();
    CleanSettingsTest::TearDown();
  }

  OptionsForm& Open(MainForm* mainWindow = nullptr) {
    form_ = std::make_unique<OptionsForm>(&app_, mainWindow);
    form_->fileChooser = FakeChooser;
    EXPECT_TRUE(form_->CreateModeless(mainWindow ? mainWindow->hwnd : nullptr));
    // Shown, as the dialog manager shows a modal dialog: focus moves only between visible windows.
    ShowWindow(form_->hwnd, SW_SHOW);
    return *form_;
  }
  HWND Control(OptionsForm::Control control) const { return form_->controls[control]; }
  // A real click: the button takes the focus (the edit that had it loses it) and notifies the
  // dialog.
  void Click(OptionsForm::Control control) { SendMessageA(Control(control), BM_CLICK, 0, 0); }
  void Command(WPARAM command) { SendMessageA(form_->hwnd, WM_COMMAND, command, 0); }
  void SetCheck(OptionsForm::Control control, bool checked) {
    SendMessageA(Control(control), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
  }
  bool Checked(OptionsForm::Control control) const {
    return SendMessageA(Control(control), BM_GETCHECK, 0, 0) == BST_CHECKED;
  }
  void Type(OptionsForm::Control control, const std::string& text) {
    for (unsigned char c : text) SendMessageA(Control(control), WM_CHAR, c, 0);
  }
  bool IsOpen() const { return form_->hwnd != nullptr; }

  TempFolder games_;
  Application app_;
  std::unique_ptr<OptionsForm> form_;
};

// Rectangle of a control in its parent's client coordinates.
TEST_F(OptionsFormTest, BuildsTitleSizeStyleAndEveryControl) {
  OptionsForm& form = Open();
  EXPECT_EQ(Text(form.hwnd), "Options");
  RECT client = {};
  GetClientRect(form.hwnd, &client);
  EXPECT_EQ(client.right, 340);
  EXPECT_EQ(client.bottom, 392);
  EXPECT_EQ(GetWindowLongA(form.hwnd, GWL_STYLE) & 0xCF0000, 0xC80000);

  struct Expected {
    const char* className;
    const char* text;
    int x, y, width, height, id;
  };
  const std::string live = games_ / "live";
  const Expected expected[OptionsForm::kControlCount] = {
      {"Button", "Drovane Login", 10, 8, 184, 84, 0},
      {"Static", "Username:", 25, 31, 50, 16, 0},
      {"Edit", "", 79, 28, 100, 21, 0},
      {"Static", "Password:", 25, 60, 50, 16, 0},
      {"Edit", "", 79, 57, 100, 21, 0},
      {"Button", "Create Shortcut", 205, 8, 125, 84, 0},
      {"Button", "Desktop", 219, 27, 97, 23, 101},
      {"Button", "Start Menu", 219, 56, 97, 23, 102},
      {"Button", "WoW Folders", 10, 99, 320, 114, 0},
      {"Static", "Live:", 25, 122, 24, 16, 0},
      {"Edit", live.c_str(), 53, 119, 195, 21, 0},
      {"Button", "...", 248, 118, 20, 23, 110},
      {"Button", "Detect", 274, 118, 42, 23, 113},
      {"Static", "PTR:", 25, 151, 24, 16, 0},
      {"Edit", "", 53, 148, 195, 21, 0},
      {"Button", "...", 248, 147, 20, 23, 111},
      {"Button", "Detect", 274, 147, 42, 23, 114},
      {"Static", "Beta:", 25, 180, 24, 16, 0},
      {"Edit", "", 53, 177, 195, 21, 0},
      {"Button", "...", 248, 176, 20, 23, 112},
      {"Button", "Detect", 274, 176, 42, 23, 115},
      {"Button", "Preferences", 10, 220, 320, 131, 0},
      {"Button", "Start with Windows", 25, 239, 130, 16, 0},
      {"Button", "Start minimized", 25, 260, 130, 16, 0},
      {"Static", "Show in:", 190, 239, 130, 16, 0},
      {"Button", "Taskbar", 236, 239, 75, 16, 0},
      {"Button", "System tray", 236, 260, 75, 16, 0},
      {"Button", "Auto-minimize when launching WoW", 25, 281, 290, 16, 0},
      {"Button", "Automatically upload when WoW exits", 25, 302, 290, 16, 0},
      {"Button", "Upload character data", 25, 323, 290, 16, 0},
      {"Button", "OK", 175, 360, 75, 23, 103},
      {"Button", "Cancel", 256, 360, 75, 23, 104},
  };
  HGDIOBJ defaultFont = GetStockObject(DEFAULT_GUI_FONT);
  for (int i = 0; i < OptionsForm::kControlCount; ++i) {
    const Expected& e = expected[i];
    HWND control = form.controls[i];
    char className[64] = {};
    GetClassNameA(control, className, sizeof className);
    EXPECT_STREQ(className, e.className) << i;
    EXPECT_EQ(Text(control), e.text) << i;
    const RECT rect = ClientRectOf(control);
    EXPECT_EQ(rect.left, e.x) << e.text;
    EXPECT_EQ(rect.top, e.y) << e.text;
    EXPECT_EQ(rect.right - rect.left, e.width) << e.text;
    EXPECT_EQ(rect.bottom - rect.top, e.height) << e.text;
    EXPECT_EQ(GetDlgCtrlID(control), e.id) << e.text;
    EXPECT_EQ(reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0)), defaultFont)
        << e.text;
  }
  // Folders change only through their buttons; the OK button is the default one.
  for (GameEdition edition : kEditions) {
    EXPECT_TRUE(GetWindowLongA(form.FolderEdit(edition), GWL_STYLE) & ES_READONLY);
  }
  EXPECT_FALSE(GetWindowLongA(Control(OptionsForm::kUsernameEdit), GWL_STYLE) & ES_READONLY);
  EXPECT_EQ(GetWindowLongA(Control(OptionsForm::kOkButton), GWL_STYLE) & BS_TYPEMASK,
            BS_DEFPUSHBUTTON);
  EXPECT_EQ(GetWindowLongA(Control(OptionsForm::kTrayCheck), GWL_STYLE) & BS_TYPEMASK,
            BS_AUTOCHECKBOX);
  EXPECT_EQ(GetWindowLongA(Control(OptionsForm::kLoginGroup), GWL_STYLE) & BS_TYPEMASK,
            BS_GROUPBOX);
}

TEST_F(OptionsFormTest, InitialStateFollowsTheSettings) {
  ASSERT_TRUE(InstallFakeGame("WowB.exe", games_ / "beta\\WowB.exe"));
  app_.SetUsername("Player1", true);
  app_.SetGameFolder(Beta, games_ / "beta", true);
  app_.SetStartWithWindows(true);
  app_.SetPreferences(PREF_START_MINIMIZED | PREF_SHOW_IN_TRAY | PREF_NO_CHARACTER_DATA, true);
  OptionsForm& form = Open();

  EXPECT_EQ(Text(Control(OptionsForm::kUsernameEdit)), "Player1");
  EXPECT_EQ(Text(form.FolderEdit(Beta)), games_ / "beta");
  EXPECT_EQ(Text(form.DetectButton(Beta)), "Clear");
  EXPECT_EQ(Text(form.DetectButton(PTR)), "Detect");
  EXPECT_EQ(Text(form.DetectButton(Live)), "Detect");
  EXPECT_TRUE(Checked(OptionsForm::kStartWithWindowsCheck));
  EXPECT_TRUE(Checked(OptionsForm::kStartMinimizedCheck));
  EXPECT_FALSE(Checked(OptionsForm::kAutoMinimizeCheck));
  EXPECT_FALSE(Checked(OptionsForm::kTaskbarCheck));
  EXPECT_TRUE(Checked(OptionsForm::kTrayCheck));
  EXPECT_FALSE(Checked(OptionsForm::kAutoUploadCheck));
  EXPECT_FALSE(Checked(OptionsForm::kCharacterDataCheck));
  EXPECT_FALSE(form.taskbarAtOpen);
  EXPECT_TRUE(form.trayAtOpen);

  // No password stored: the edit masks what is typed.
  HWND password = Control(OptionsForm::kPasswordEdit);
  EXPECT_FALSE(form.passwordStored);
  EXPECT_EQ(PasswordCharacter(password), static_cast<WPARAM>('*'));
  EXPECT_EQ(Text(password), "");
  EXPECT_FALSE(IsItalic(password));
}

TEST_F(OptionsFormTest, StoredPasswordShowsTheHintAndOkLeavesItUntouched) {
  app_.SetPassword(kStoredDigest, false);
  OptionsForm& form = Open();
  HWND password = Control(OptionsForm::kPasswordEdit);
  EXPECT_TRUE(form.passwordStored);
  EXPECT_EQ(Text(password), kHint);
  EXPECT_EQ(PasswordCharacter(password), 0u);
  EXPECT_TRUE(IsItalic(password));

  Click(OptionsForm::kOkButton);
  EXPECT_FALSE(IsOpen());
  EXPECT_EQ(app_.GetPassword(), kStoredDigest);
  EXPECT_EQ(StoredOption("Password"), kStoredDigest);
}

TEST_F(OptionsFormTest, FocusingThePasswordClearsTheHintAndLeavingItEmptyRestoresIt) {
  app_.SetPassword(kStoredDigest, false);
  Open();
  HWND password = Control(OptionsForm::kPasswordEdit);
  SetFocus(password);
  ASSERT_EQ(GetFocus(), password);
  EXPECT_EQ(Text(password), "");
  EXPECT_EQ(PasswordCharacter(password), static_cast<WPARAM>('*'));
  EXPECT_FALSE(IsItalic(password));

  SetFocus(Control(OptionsForm::kUsernameEdit));
  EXPECT_EQ(Text(password), kHint);
  EXPECT_EQ(PasswordCharacter(password), 0u);
  EXPECT_TRUE(IsItalic(password));

  Click(OptionsForm::kOkButton);
  EXPECT_FALSE(IsOpen());
  EXPECT_EQ(StoredOption("Password"), kStoredDigest);
}

TEST_F(OptionsFormTest, EnterInTheEmptiedPasswordEditKeepsTheStoredDigest) {
  app_.SetPassword(kStoredDigest, false);
  Open();
  SetFocus(Control(OptionsForm::kPasswordEdit));
  Command(IDOK);  // Enter while the edit still has the focus: it never lost it to show the hint
  EXPECT_FALSE(IsOpen());
  EXPECT_EQ(StoredOption("Password"), kStoredDigest);
}

TEST_F(OptionsFormTest, ANewPasswordIsStoredOnlyAsItsDigest) {
  app_.SetPassword(kStoredDigest, false);
  Open();
  HWND password = Control(OptionsForm::kPasswordEdit);
  SetFocus(password);
  Type(OptionsForm::kPasswordEdit, "secret");
  SetFocus(Control(OptionsForm::kUsernameEdit));  // leaving a filled edit keeps it masked
  EXPECT_EQ(PasswordCharacter(password), static_cast<WPARAM>('*'));
  Click(OptionsForm::kOkButton);
  EXPECT_FALSE(IsOpen());
  EXPECT_EQ(app_.GetPassword(), kSecretDigest);
  EXPECT_EQ(StoredOption("Password"), kSecretDigest);
}

TEST_F(OptionsFormTest, WithoutAStoredPasswordAnEmptyEntryStoresTheDigestOfTheEmptyText) {
  Open();
  Click(OptionsForm::kOkButton);
  EXPECT_FALSE(IsOpen());
  EXPECT_EQ(app_.GetPassword(), kEmptyDigest);
  EXPECT_EQ(StoredOption("Password"), kEmptyDigest);
}

TEST_F(OptionsFormTest, UserNamesOfThreeOrSeventeenCharactersAreRefusedWithNothingStored) {
  Open();
  SetCheck(OptionsForm::kAutoUploadCheck, true);
  for (const char* name : {"abc", "abcdefghijklmnopq"}) {
    // Put in whole, as a paste would: typing stops at 16 characters.
    SetWindowTextA(Control(OptionsForm::kUsernameEdit), name);
    DialogAnswerer answerer(kClientName, {IDOK});
    Click(OptionsForm::kOkButton);
    ASSERT_TRUE(answerer.WaitForBoxes(1, 5000));
    EXPECT_THAT(answerer.Texts(),
                ElementsAre("Your username can only contain letters and numbers\nand must be "
                            "between 4 and 16 characters long."))
        << name;
    EXPECT_TRUE(IsOpen()) << name;
  }
  EXPECT_EQ(app_.GetUsername(), "");
  EXPECT_EQ(StoredOption("Username"), "<absent>");
  EXPECT_EQ(StoredOption("Password"), "<absent>");
  EXPECT_EQ(StoredPreferences(), kDefaultPreferences);

  SetWindowTextA(Control(OptionsForm::kUsernameEdit), "abcdefghijklmnop");
  Click(OptionsForm::kOkButton);
  EXPECT_FALSE(IsOpen());
  EXPECT_EQ(StoredOption("Username"), "abcdefghijklmnop");
  EXPECT_EQ(StoredPreferences(), kDefaultPreferences | PREF_AUTO_UPLOAD);
}

TEST_F(OptionsFormTest, LoginEditsFilterTheNameAndGetTheHintBalloonOnce) {
  OptionsForm& form = Open();
  Type(OptionsForm::kUsernameEdit, "ab_c d1");
  EXPECT_EQ(Text(Control(OptionsForm::kUsernameEdit)), "abcd1");

  SetFocus(Control(OptionsForm::kUsernameEdit));
  SetFocus(Control(OptionsForm::kPasswordEdit));
  SetFocus(Control(OptionsForm::kUsernameEdit));
  for (HWND tip : {form.usernameTip, form.passwordTip}) {
    ASSERT_NE(tip, nullptr);
    EXPECT_EQ(SendMessageA(tip, TTM_GETTOOLCOUNT, 0, 0), 1);  // attached once, not per focus
    EXPECT_EQ(SendMessageA(tip, TTM_GETMAXTIPWIDTH, 0, 0), 300);
    EXPECT_TRUE(GetWindowLongA(tip, GWL_STYLE) & TTS_BALLOON);
    // The wide form: the narrow one gives at most 80 characters of a tip.
    wchar_t text[512] = {};
    TTTOOLINFOW tool = {};
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.hwnd = tip == form.usernameTip ? Control(OptionsForm::kUsernameEdit)
                                        : Control(OptionsForm::kPasswordEdit);
    tool.uId = reinterpret_cast<UINT_PTR>(tool.hwnd);
    tool.lpszText = text;
    SendMessageW(tip, TTM_GETTEXTW, 512, reinterpret_cast<LPARAM>(&tool));
    EXPECT_STREQ(text,
                 L"Enter your Drovane user information, not your World of Warcraft user "
                 L"information. You should never give your WoW account information to anyone, "
                 L"including us. :)");
  }
}

TEST_F(OptionsFormTest, ShortcutsAreCreatedOnTheDesktopAndInTheProgramsMenu) {
  Open();
  std::string module;
  ASSERT_TRUE(GetModulePath(module));
  const struct {
    OptionsForm::Control button;
    SpecialFolder folder;
  } cases[] = {{OptionsForm::kDesktopButton, SpecialFolder::Desktop},
               {OptionsForm::kStartMenuButton, SpecialFolder::Programs}};
  for (const auto& c : cases) {
    std::string folder;
    ASSERT_TRUE(GetSpecialFolderPath(c.folder, folder));
    const std::string link = folder + "\\Drovane Client.lnk";
    DeleteFileA(link.c_str());
    DialogAnswerer answerer(kClientName, {IDOK});
    Click(c.button);
    ASSERT_TRUE(answerer.WaitForBoxes(1, 5000));
    EXPECT_THAT(answerer.Texts(), ElementsAre("Shortcut created successfully."));
    EXPECT_TRUE(FileExists(link)) << link;

    // The link starts this program and says what it is.
    ComApartment apartment(COINIT_APARTMENTTHREADED);
    ComPtr<IShellLinkA> shellLink;
    ComPtr<IPersistFile> file;
    ASSERT_TRUE(SUCCEEDED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER,
                                           IID_IShellLinkA, shellLink.receiveVoid())));
    ASSERT_TRUE(SUCCEEDED(shellLink->QueryInterface(IID_IPersistFile, file.receiveVoid())));
    const std::wstring wideLink(link.begin(), link.end());
    ASSERT_TRUE(SUCCEEDED(file->Load(wideLink.c_str(), STGM_READ)));
    char target[MAX_PATH] = {};
    char description[MAX_PATH] = {};
    shellLink->GetPath(target, MAX_PATH, nullptr, 0);
    shellLink->GetDescription(description, MAX_PATH);
    EXPECT_STREQ(target, module.c_str());
    EXPECT_STREQ(description, "Drovane Client");
    file.reset();
    shellLink.reset();
    EXPECT_TRUE(DeleteFileA(link.c_str()));
  }
  EXPECT_TRUE(IsOpen());
}

TEST_F(OptionsFormTest, AShortcutThatCannotBeWrittenIsReportedAndTheStartMenuFallsBackToTheUsers) {
  Open();
  std::string desktop;
  ASSERT_TRUE(GetSpecialFolderPath(SpecialFolder::Desktop, desktop));
  // A folder where the link file would go: the link cannot be saved there.
  const std::string blocked = desktop + "\\Drovane Client.lnk";
  DeleteFileA(blocked.c_str());
  ASSERT_TRUE(CreateDirectoryA(blocked.c_str(), nullptr));
  DialogAnswerer answerer(kClientName, {IDOK});
  Click(OptionsForm::kDesktopButton);
  const bool answered = answerer.WaitForBoxes(1, 5000);
  RemoveDirectoryA(blocked.c_str());
  ASSERT_TRUE(answered);
  EXPECT_THAT(answerer.Texts(), ElementsAre("Could not create shortcut."));

  // The shared Start menu refuses the link, as it does a standard user: the user's own menu
  // takes it.
  std::string shared, own;
  ASSERT_TRUE(GetSpecialFolderPath(SpecialFolder::Programs, shared));
  ASSERT_TRUE(GetSpecialFolderPath(SpecialFolder::UserPrograms, own));
  ASSERT_NE(shared, own);
  const std::string sharedBlocked = shared + "\\Drovane Client.lnk";
  const std::string ownLink = own + "\\Drovane Client.lnk";
  DeleteFileA(sharedBlocked.c_str());
  DeleteFileA(ownLink.c_str());
  ASSERT_TRUE(CreateDirectoryA(sharedBlocked.c_str(), nullptr));
  // The same answerer: a second one would race it for the box.
  Click(OptionsForm::kStartMenuButton);
  const bool created = answerer.WaitForBoxes(2, 5000);
  RemoveDirectoryA(sharedBlocked.c_str());
  ASSERT_TRUE(created);
  EXPECT_THAT(answerer.Texts(),
              ElementsAre("Could not create shortcut.", "Shortcut created successfully."));
  EXPECT_TRUE(FileExists(ownLink)) << ownLink;
  DeleteFileA(ownLink.c_str());
  EXPECT_TRUE(IsOpen());
}

TEST_F(OptionsFormTest, BrowsingTakesTheFolderOfTheEditionsOwnExecutableOnly) {
  OptionsForm& form = Open();
  const std::string live = games_ / "live";

  g_browseResult.clear();  // cancelled: nothing happens
  Click(OptionsForm::kLiveBrowse);
  ASSERT_EQ(g_browseRequests.size(), 1u);
  EXPECT_EQ(g_browseRequests[0].title, "Browse for your World of Warcraft folder");
  EXPECT_EQ(g_browseRequests[0].filter,
            Filter("World of Warcraft (Wow.exe or Wow-64.exe)\0Wow.exe;Wow-64.exe\0"));
  EXPECT_EQ(Text(form.FolderEdit(Live)), live);

  {
    g_browseResult = games_ / "ptr\\WowT.exe";  // another edition's game for Live
    DialogAnswerer answerer(kClientName, {IDOK});
    Click(OptionsForm::kLiveBrowse);
    ASSERT_TRUE(answerer.WaitForBoxes(1, 5000));
    EXPECT_THAT(answerer.Texts(), ElementsAre("Could not find your World of Warcraft folder."));
    EXPECT_EQ(Text(form.FolderEdit(Live)), live);
  }
  {
    g_browseResult = games_ / "beta\\Wow.exe";
    DialogAnswerer answerer(kClientName, {IDOK});
    Click(OptionsForm::kBetaBrowse);
    ASSERT_TRUE(answerer.WaitForBoxes(1, 5000));
    EXPECT_THAT(answerer.Texts(),
                ElementsAre("Could not find your World of Warcraft Beta folder."));
    EXPECT_EQ(g_browseRequests.back().title, "Browse for your World of Warcraft Beta folder");
    EXPECT_EQ(Text(form.FolderEdit(Beta)), "");
    EXPECT_EQ(Text(form.DetectButton(Beta)), "Detect");
  }

  // Any letter case; the folder is not checked until OK.
  g_browseResult = games_ / "Other Place\\WOWT-64.EXE";
  Click(OptionsForm::kPtrBrowse);
  EXPECT_EQ(g_browseRequests.back().filter,
            Filter("World of Warcraft (WowT.exe or WowT-64.exe)\0WowT.exe;WowT-64.exe\0"));
  EXPECT_EQ(Text(form.FolderEdit(PTR)), games_ / "Other Place");
  EXPECT_EQ(Text(form.DetectButton(PTR)), "Clear");
  g_browseResult = games_ / "new live\\wow-64.exe";
  Click(OptionsForm::kLiveBrowse);
  EXPECT_EQ(Text(form.FolderEdit(Live)), games_ / "new live");
  EXPECT_EQ(Text(form.DetectButton(Live)), "Detect");
  // Nothing is stored by browsing.
  EXPECT_EQ(app_.GetGameFolder(Live), live);
  EXPECT_EQ(app_.GetGameFolder(PTR), "");
}

TEST_F(OptionsFormTest, DetectTakesTheGamesOwnRecordWhenItHoldsAValidGame) {
  ASSERT_TRUE(InstallFakeGame("Wow.exe", games_ / "recorded live\\Wow.exe"));
  ASSERT_TRUE(InstallFakeGame("WowT.exe", games_ / "recorded ptr\\WowT-64.exe"));
  test::WriteGameRecord(kLiveKey, games_ / "recorded live\\", KEY_WOW64_64KEY);
  test::WriteGameRecord(kPtrKey, games_ / "recorded ptr", KEY_WOW64_32KEY);
  OptionsForm& form = Open();

  Click(OptionsForm::kLiveDetect);
  EXPECT_EQ(Text(form.FolderEdit(Live)), games_ / "recorded live");
  Click(OptionsForm::kPtrDetect);
  EXPECT_EQ(Text(form.FolderEdit(PTR)), games_ / "recorded ptr");
  EXPECT_EQ(Text(form.DetectButton(PTR)), "Clear");
  {
    DialogAnswerer answerer(kClientName, {IDOK});
    Click(OptionsForm::kBetaDetect);  // no record for Beta
    ASSERT_TRUE(answerer.WaitForBoxes(1, 5000));
    EXPECT_THAT(answerer.Texts(),
                ElementsAre("Could not find your World of Warcraft Beta folder.\nIt might not be "
                            "installed on your computer."));
  }
  EXPECT_EQ(Text(form.FolderEdit(Beta)), "");
  EXPECT_EQ(Text(form.DetectButton(Beta)), "Detect");

  // A recorded folder holding an old game is not taken.
  test::RemoveGameRecords();
  ASSERT_TRUE(InstallFakeGame("Wow-6x.exe", games_ / "old\\Wow.exe"));
  test::WriteGameRecord(kLiveKey, games_ / "old", KEY_WOW64_64KEY);
  {
    DialogAnswerer answerer(kClientName, {IDOK});
    Click(OptionsForm::kLiveDetect);
    ASSERT_TRUE(answerer.WaitForBoxes(1, 5000));
    EXPECT_THAT(answerer.Texts(),
                ElementsAre("Could not find your World of Warcraft Live folder.\nIt might not be "
                            "installed on your computer."));
  }
  EXPECT_EQ(Text(form.FolderEdit(Live)), games_ / "recorded live");

  Click(OptionsForm::kOkButton);
  EXPECT_FALSE(IsOpen());
  EXPECT_EQ(StoredOption("WoW Folder"), games_ / "recorded live");
  EXPECT_EQ(StoredOption("WoW Folder PTR"), games_ / "recorded ptr");
}

TEST_F(OptionsFormTest, ClearingThePtrFolderAndOkRemovesTheSetting) {
  ASSERT_TRUE(InstallFakeGame("WowT.exe", games_ / "ptr\\WowT.exe"));
  app_.SetGameFolder(PTR, games_ / "ptr", false);
  OptionsForm& form = Open();
  ASSERT_EQ(Text(form.DetectButton(PTR)), "Clear");
  Click(OptionsForm::kPtrDetect);
  EXPECT_EQ(Text(form.FolderEdit(PTR)), "");
  EXPECT_EQ(Text(form.DetectButton(PTR)), "Detect");
  EXPECT_EQ(app_.GetGameFolder(PTR), games_ / "ptr");  // not before OK

  Click(OptionsForm::kOkButton);
  EXPECT_FALSE(IsOpen());
  EXPECT_EQ(app_.GetGameFolder(PTR), "");
  EXPECT_EQ(StoredOption("WoW Folder PTR"), "");
  EXPECT_EQ(StoredOption("WoW Folder"), games_ / "live");
}

TEST_F(OptionsFormTest, AnInvalidLiveFolderIsReportedAndSkippedWhileTheRestIsStored) {
  ASSERT_TRUE(InstallFakeGame("Wow-6x.exe", games_ / "old\\Wow.exe"));
  ASSERT_TRUE(InstallFakeGame("WowB.exe", games_ / "beta\\WowB-64.exe"));
  OptionsForm& form = Open();
  g_browseResult = games_ / "old\\Wow.exe";
  Click(OptionsForm::kLiveBrowse);
  ASSERT_EQ(Text(form.FolderEdit(Live)), games_ / "old");
  g_browseResult = games_ / "beta\\WowB-64.exe";
  Click(OptionsForm::kBetaBrowse);
  SetWindowTextA(Control(OptionsForm::kUsernameEdit), "Player1");
  SetCheck(OptionsForm::kAutoMinimizeCheck, true);

  DialogAnswerer answerer(kClientName, {IDOK});
  Click(OptionsForm::kOkButton);
  ASSERT_TRUE(answerer.WaitForBoxes(1, 5000));
  EXPECT_THAT(answerer.Texts(), ElementsAre("Live World of Warcraft path is invalid."));
  EXPECT_FALSE(IsOpen());
  EXPECT_EQ(app_.GetGameFolder(Live), games_ / "live");
  EXPECT_EQ(StoredOption("WoW Folder"), games_ / "live");
  EXPECT_EQ(StoredOption("WoW Folder Beta"), games_ / "beta");
  EXPECT_EQ(StoredOption("Username"), "Player1");
  EXPECT_EQ(StoredPreferences(), kDefaultPreferences | PREF_AUTO_MINIMIZE);
}

TEST_F(OptionsFormTest, AnInvalidPtrFolderStopsWithTheEarlierSettingsStored) {
  ASSERT_TRUE(InstallFakeGame("Wow-6x.exe", games_ / "old ptr\\WowT.exe"));
  Open();
  SetWindowTextA(Control(OptionsForm::kUsernameEdit), "Player1");
  g_browseResult = games_ / "old ptr\\WowT.exe";
  Click(OptionsForm::kPtrBrowse);
  SetCheck(OptionsForm::kStartWithWindowsCheck, true);
  SetCheck(OptionsForm::kAutoUploadCheck, true);

  DialogAnswerer answerer(kClientName, {IDOK});
  Click(OptionsForm::kOkButton);
  ASSERT_TRUE(answerer.WaitForBoxes(1, 5000));
  EXPECT_THAT(answerer.Texts(), ElementsAre("PTR World of Warcraft path is invalid."));
  EXPECT_TRUE(IsOpen());
  EXPECT_EQ(StoredOption("Username"), "Player1");
  EXPECT_EQ(StoredOption("Password"), kEmptyDigest);
  EXPECT_EQ(StoredOption("WoW Folder PTR"), "<absent>");
  EXPECT_FALSE(app_.GetStartWithWindows());
  EXPECT_FALSE(RegistryValueExists(HKEY_CURRENT_USER, kRunKey, kRunValueName));
  EXPECT_EQ(StoredPreferences(), kDefaultPreferences);

  // Cleared, the same OK goes through.
  Click(OptionsForm::kPtrDetect);
  Click(OptionsForm::kOkButton);
  EXPECT_FALSE(IsOpen());
  EXPECT_TRUE(RegistryValueExists(HKEY_CURRENT_USER, kRunKey, kRunValueName));
  EXPECT_EQ(StoredPreferences(), kDefaultPreferences | PREF_AUTO_UPLOAD);
}

TEST_F(OptionsFormTest, EachCheckBoxSetsItsPreferenceBitAndCharacterDataTheInverse) {
  const struct {
    OptionsForm::Control check;
    uint32_t bit;
  } cases[] = {
      {OptionsForm::kStartMinimizedCheck, PREF_START_MINIMIZED},
      {OptionsForm::kAutoMinimizeCheck, PREF_AUTO_MINIMIZE},
      {OptionsForm::kTaskbarCheck, PREF_SHOW_IN_TASKBAR},
      {OptionsForm::kTrayCheck, PREF_SHOW_IN_TRAY},
      {OptionsForm::kAutoUploadCheck, PREF_AUTO_UPLOAD},
  };
  for (const auto& c : cases) {
    app_.SetPreferences(0, false);
    Open();
    EXPECT_TRUE(Checked(OptionsForm::kCharacterDataCheck));
    SetCheck(c.check, true);
    Click(OptionsForm::kOkButton);
    ASSERT_FALSE(IsOpen());
    EXPECT_EQ(StoredPreferences(), c.bit);
    EXPECT_EQ(app_.GetPreferences(), c.bit);
  }
  app_.SetPreferences(kDefaultPreferences, false);
  Open();
  SetCheck(OptionsForm::kCharacterDataCheck, false);
  Click(OptionsForm::kOkButton);
  ASSERT_FALSE(IsOpen());
  EXPECT_EQ(StoredPreferences(), kDefaultPreferences | PREF_NO_CHARACTER_DATA);
  EXPECT_EQ(StoredPreferences(), 0x4Cu);

  Open();
  EXPECT_FALSE(Checked(OptionsForm::kCharacterDataCheck));
  SetCheck(OptionsForm::kCharacterDataCheck, true);
  SetCheck(OptionsForm::kStartWithWindowsCheck, true);
  Click(OptionsForm::kOkButton);
  EXPECT_EQ(StoredPreferences(), kDefaultPreferences);
  std::string module, run;
  ASSERT_TRUE(GetModulePath(module));
  ASSERT_TRUE(RegistryReadString(HKEY_CURRENT_USER, kRunKey, kRunValueName, MAX_PATH, run));
  EXPECT_EQ(run, "\"" + module + "\"");
}

TEST_F(OptionsFormTest, CancelEscapeAndTheCloseBoxStoreNothing) {
  for (int way = 0; way < 3; ++way) {
    Open();
    SetWindowTextA(Control(OptionsForm::kUsernameEdit), "Player1");
    SetCheck(OptionsForm::kAutoUploadCheck, true);
    if (way == 0) Click(OptionsForm::kCancelButton);
    if (way == 1) Command(IDCANCEL);  // what Escape sends
    if (way == 2) SendMessageA(form_->hwnd, WM_CLOSE, 0, 0);
    EXPECT_FALSE(IsOpen()) << way;
  }
  EXPECT_EQ(StoredOption("Username"), "<absent>");
  EXPECT_EQ(StoredOption("Password"), "<absent>");
  EXPECT_EQ(StoredPreferences(), kDefaultPreferences);
}

// Posts a command to the Options dialog once it exists, from another thread.
std::thread PostWhenOpen(WPARAM command, const char* typed = nullptr) {
  return std::thread([command, typed] {
    for (int i = 0; i < 250; ++i) {
      HWND dialog = FindWindowA("#32770", "Options");
      HWND cancel = dialog ? GetDlgItem(dialog, 104) : nullptr;  // the last control: built
      if (cancel) {
        if (typed) {
          HWND username = GetNextDlgTabItem(dialog, nullptr, FALSE);
          SendMessageA(username, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(typed));
        }
        PostMessageA(dialog, WM_COMMAND, command, 0);
        return;
      }
      Sleep(20);
    }
  });
}

TEST_F(OptionsFormTest, RunModalEndsWithCancelOnEscapeAndWithOkOnEnter) {
  {
    OptionsForm form(&app_, nullptr);
    std::thread escape = PostWhenOpen(IDCANCEL);
    EXPECT_EQ(form.RunModal(nullptr), IDCANCEL);
    escape.join();
  }
  EXPECT_EQ(StoredOption("Password"), "<absent>");
  {
    OptionsForm form(&app_, nullptr);
    std::thread enter = PostWhenOpen(IDOK, "Player1");
    EXPECT_EQ(form.RunModal(nullptr), IDOK);
    enter.join();
  }
  EXPECT_EQ(StoredOption("Username"), "Player1");
  EXPECT_EQ(StoredOption("Password"), kEmptyDigest);
}

class OptionsWithMainWindowTest : public OptionsFormTest {
 protected:
  void SetUp() override {
    OptionsFormTest::SetUp();
    app_.skipInitialSelfUpdate = true;
    app_.timesStarted = 5;
  }
  void TearDown() override {
    form_.reset();
    main_.reset();
    OptionsFormTest::TearDown();
  }
  MainForm& OpenMain() {
    main_ = std::make_unique<MainForm>(&app_);
    EXPECT_TRUE(main_->CreateModeless(nullptr));
    return *main_;
  }
  std::unique_ptr<MainForm> main_;
};

TEST_F(OptionsWithMainWindowTest, TaskbarAndTrayChoicesTakeEffectOnTheMainWindow) {
  MainForm& main = OpenMain();
  ASSERT_TRUE(GetWindowLongA(main.hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW);
  ASSERT_TRUE(main.trayIconShown);
  RECT before = {};
  GetClientRect(main.hwnd, &before);

  Open(&main);
  SetCheck(OptionsForm::kTaskbarCheck, false);
  SetCheck(OptionsForm::kTrayCheck, false);
  Click(OptionsForm::kOkButton);
  EXPECT_FALSE(IsOpen());
  EXPECT_FALSE(GetWindowLongA(main.hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW);
  EXPECT_FALSE(main.trayIconShown);
  EXPECT_TRUE(IsWindowVisible(main.hwnd));
  EXPECT_EQ(GetWindowLongA(main.hwnd, GWL_STYLE) & 0xCA0000, 0xCA0000);
  RECT after = {};
  GetClientRect(main.hwnd, &after);
  EXPECT_EQ(after.right, before.right);
  EXPECT_EQ(after.bottom, before.bottom);
  EXPECT_EQ(StoredPreferences(), 0u);

  Open(&main);
  SetCheck(OptionsForm::kTaskbarCheck, true);
  SetCheck(OptionsForm::kTrayCheck, true);
  Click(OptionsForm::kOkButton);
  EXPECT_TRUE(GetWindowLongA(main.hwnd, GWL_EXSTYLE) & WS_EX_APPWINDOW);
  EXPECT_TRUE(main.trayIconShown);
  EXPECT_TRUE(IsWindowVisible(main.hwnd));
  EXPECT_EQ(StoredPreferences(), kDefaultPreferences);

  // Unchanged choices leave the window alone, even if it was changed meanwhile.
  main.SetTrayIcon(false, 0);
  Open(&main);
  Click(OptionsForm::kOkButton);
  EXPECT_FALSE(main.trayIconShown);
}

TEST_F(OptionsWithMainWindowTest, ANewLiveFolderIsScannedByTheMainWindow) {
  ASSERT_TRUE(MakeInstallation(games_ / "installed", "--accounts \"MY MAIN,SECOND\""));
  MainForm& main = OpenMain();
  ASSERT_EQ(ListRowCount(main.accountList()), 0);

  Open(&main);
  g_browseResult = games_ / "installed\\Wow.exe";
  Click(OptionsForm::kLiveBrowse);
  Click(OptionsForm::kOkButton);
  EXPECT_FALSE(IsOpen());
  EXPECT_EQ(app_.GetGameFolder(Live), games_ / "installed");
  ASSERT_EQ(ListRowCount(main.accountList()), 2);
  EXPECT_EQ(ListCellText(main.accountList(), 0, 0), "My Main");
  EXPECT_NE(ListCellText(main.accountList(), 0, 5), "Disabled");

  // Turning character data off shows in the rows at once.
  Open(&main);
  SetCheck(OptionsForm::kCharacterDataCheck, false);
  Click(OptionsForm::kOkButton);
  EXPECT_EQ(ListCellText(main.accountList(), 0, 5), "Disabled");
}

}  // namespace
}  // namespace drovane
