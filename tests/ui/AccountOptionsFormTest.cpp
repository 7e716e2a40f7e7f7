// The account exclusion dialog in-process: its layout, the list it shows, what OK makes of the
// typed names (upper case, no blank lines, no duplicates, the whole text read), the saved
// file, and the main window's account rows after saving.
#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "app/Application.h"
#include "base/DataFile.h"
#include "base/FileSystem.h"
#include "settings/AccountExclusions.h"
#include "support/CleanSettings.h"
#include "support/Process.h"
#include "support/TempFolder.h"
#include "ui/AccountListText.h"
#include "ui/AccountOptionsForm.h"
#include "ui/ListView.h"
#include "ui/MainForm.h"

namespace drovane {
namespace {

using ::testing::ElementsAre;
using ::testing::Pair;

std::string Text(HWND window) {
  const int length = GetWindowTextLengthA(window);
  std::string text(static_cast<size_t>(length) + 1, '\0');
  GetWindowTextA(window, &text[0], length + 1);
  text.resize(static_cast<size_t>(length));
  return text;
}

class AccountOptionsFormTest : public test::CleanSettingsTest {
 protected:
  void SetUp() override {
    CleanSettingsTest::SetUp();
    AccountExclusions().clear();
    // The dialog does not create the data folder; the client's log has made it by then.
    ASSERT_TRUE(CreateDirectoryTree(AppDataDir()));
    SetAccountExclusionsSavedHandler([this] { ++saves_; });
  }
  void TearDown() override {
    form_.reset();
    SetAccountExclusionsSavedHandler(nullptr);
    AccountExclusions().clear();
    CleanSettingsTest::TearDown();
  }
  AccountOptionsForm& Open() {
    form_ = std::make_unique<AccountOptionsForm>(&app_);
    EXPECT_TRUE(form_->CreateModeless(nullptr));
    return *form_;
  }
  // Puts the list in whole, as a paste would, and presses OK.
  void EnterAndConfirm(const std::string& text) {
    Open();
    SetWindowTextA(form_->listEdit(), text.c_str());
    SendMessageA(form_->controls[AccountOptionsForm::kOkButton], BM_CLICK, 0, 0);
    EXPECT_EQ(form_->hwnd, nullptr);
  }
  static std::string SavedFile() {
    const std::string path = AccountExclusionsPath();
    return FileExists(path) ? test::ReadTestFile(path) : "<absent>";
  }

  Application app_;
  std::unique_ptr<AccountOptionsForm> form_;
  int saves_ = 0;
};

TEST_F(AccountOptionsFormTest, BuildsTitleSizeAndControls) {
  AccountOptionsForm& form = Open();
  EXPECT_EQ(Text(form.hwnd), "Account Upload Options");
  RECT client = {};
  GetClientRect(form.hwnd, &client);
  EXPECT_EQ(client.right, 340);
  EXPECT_EQ(client.bottom, 195);
  EXPECT_EQ(GetWindowLongA(form.hwnd, GWL_STYLE) & 0xCF0000, 0xC80000);

  const struct {
    const char* className;
    const char* text;
    RECT rect;
    int id;
  } expected[] = {
      {"Static",
       "To exclude an account from uploading character data, add it to the list below. One "
       "account name per line.",
       {10, 8, 330, 92},
       0},
      {"Edit", "", {10, 40, 330, 157}, 0},
      {"Button", "OK", {175, 165, 250, 188}, 103},
      {"Button", "Cancel", {256, 165, 331, 188}, 104},
  };
  for (int i = 0; i < AccountOptionsForm::kControlCount; ++i) {
    HWND control = form.controls[i];
    char className[64] = {};
    GetClassNameA(control, className, sizeof className);
    EXPECT_STREQ(className, expected[i].className);
    EXPECT_EQ(Text(control), expected[i].text);
    RECT rect = {};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, form.hwnd, reinterpret_cast<POINT*>(&rect), 2);
    EXPECT_EQ(rect.left, expected[i].rect.left) << i;
    EXPECT_EQ(rect.top, expected[i].rect.top) << i;
    EXPECT_EQ(rect.right, expected[i].rect.right) << i;
    EXPECT_EQ(rect.bottom, expected[i].rect.bottom) << i;
    EXPECT_EQ(GetDlgCtrlID(control), expected[i].id) << i;
    EXPECT_EQ(reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0)),
              GetStockObject(DEFAULT_GUI_FONT));
  }
  const LONG editStyle = GetWindowLongA(form.listEdit(), GWL_STYLE);
  EXPECT_EQ(editStyle & 0x50201044, 0x50201044);
  EXPECT_TRUE(GetWindowLongA(form.listEdit(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
  EXPECT_EQ(GetWindowLongA(form.controls[AccountOptionsForm::kOkButton], GWL_STYLE) & BS_TYPEMASK,
            BS_DEFPUSHBUTTON);
}

TEST_F(AccountOptionsFormTest, ShowsTheExcludingEntriesInMapOrder) {
  AccountExclusions() = {{"ZED", "ZED"}, {"ALPHA", "ALPHA"}, {"OFF", ""}, {"lower", "lower"}};
  AccountOptionsForm& form = Open();
  // An entry with an empty value excludes nothing and is not shown; a name from the file keeps
  // its case.
  EXPECT_EQ(Text(form.listEdit()), "ALPHA\r\nZED\r\nlower\r\n");
}

TEST_F(AccountOptionsFormTest, NamesInAnyCaseAreStoredAndShownUpperCase) {
  EnterAndConfirm("my Main\r\nOther1");
  EXPECT_THAT(AccountExclusions(),
              ElementsAre(Pair("MY MAIN", "MY MAIN"), Pair("OTHER1", "OTHER1")));
  EXPECT_EQ(SavedFile(), "MY MAIN\nOTHER1\n");
  EXPECT_TRUE(IsAccountExcluded("My Main"));
  EXPECT_TRUE(IsAccountExcluded("other1"));
  EXPECT_EQ(saves_, 1);

  AccountOptionsForm& again = Open();
  EXPECT_EQ(Text(again.listEdit()), "MY MAIN\r\nOTHER1\r\n");
}

TEST_F(AccountOptionsFormTest, BlankLinesAreDroppedAndARepeatedNameIsKeptOnce) {
  EnterAndConfirm("\r\nabc\r\n\r\nABC\r\n\r\naBc\r\n\r\n");
  EXPECT_THAT(AccountExclusions(), ElementsAre(Pair("ABC", "ABC")));
  EXPECT_EQ(SavedFile(), "ABC\n");
}

TEST_F(AccountOptionsFormTest, OkReplacesTheWholeList) {
  AccountExclusions() = {{"OLD", "OLD"}, {"KEPT", "KEPT"}};
  EnterAndConfirm("kept\r\nnew");
  EXPECT_THAT(AccountExclusions(), ElementsAre(Pair("KEPT", "KEPT"), Pair("NEW", "NEW")));
  EXPECT_FALSE(IsAccountExcluded("OLD"));
}

TEST_F(AccountOptionsFormTest, AListLongerThan259CharactersIsShownAndReadWhole) {
  // 25 lines of "account000\r\n" style, 12 characters each: 300 characters.
  std::string text;
  for (int i = 0; i < 25; ++i) {
    char line[16];
    std::snprintf(line, sizeof line, "account%03d\r\n", i);
    text += line;
  }
  ASSERT_EQ(text.size(), 300u);
  EnterAndConfirm(text);
  ASSERT_EQ(AccountExclusions().size(), 25u);
  EXPECT_TRUE(IsAccountExcluded("ACCOUNT024"));
  EXPECT_FALSE(IsAccountExcluded("ACCOUNT"));

  // Opened again, the dialog shows the whole list, and OK keeps all of it.
  AccountOptionsForm& form = Open();
  EXPECT_EQ(Text(form.listEdit()).size(), 300u);
  SendMessageA(form.hwnd, WM_COMMAND, kAccOk, 0);
  EXPECT_EQ(AccountExclusions().size(), 25u);

  // Only typing stops, at the edit's limit.
  AccountOptionsForm& typing = Open();
  const std::string full(kAccountListTextLimit, 'a');
  SetWindowTextA(typing.listEdit(), full.c_str());
  SendMessageA(typing.listEdit(), EM_SETSEL, full.size(), full.size());
  SendMessageA(typing.listEdit(), WM_CHAR, 'b', 0);
  EXPECT_EQ(Text(typing.listEdit()), full);
}

TEST_F(AccountOptionsFormTest, AnEmptyListRewritesTheFileEmptyAndExcludesNothing) {
  AccountExclusions() = {{"ABC", "ABC"}};
  SaveAccountExclusions();
  ASSERT_EQ(SavedFile(), "ABC\n");
  saves_ = 0;
  EnterAndConfirm("");
  EXPECT_TRUE(AccountExclusions().empty());
  EXPECT_EQ(SavedFile(), "");
  EXPECT_FALSE(IsAccountExcluded("ABC"));
  EXPECT_EQ(saves_, 1);
}

TEST_F(AccountOptionsFormTest, WithoutTheDataFolderTheListIsStillSavedAndTheWindowIsTold) {
  test::RemoveClientDataFolder();
  EnterAndConfirm("abc");
  EXPECT_TRUE(IsAccountExcluded("ABC"));
  EXPECT_EQ(SavedFile(), "ABC\n");
  EXPECT_EQ(saves_, 1);
}

TEST_F(AccountOptionsFormTest, CancelEscapeAndTheCloseBoxChangeNothing) {
  AccountExclusions() = {{"ABC", "ABC"}};
  for (int way = 0; way < 3; ++way) {
    AccountOptionsForm& form = Open();
    SetWindowTextA(form.listEdit(), "other");
    if (way == 0) SendMessageA(form.controls[AccountOptionsForm::kCancelButton], BM_CLICK, 0, 0);
    if (way == 1) SendMessageA(form.hwnd, WM_COMMAND, IDCANCEL, 0);
    if (way == 2) SendMessageA(form.hwnd, WM_CLOSE, 0, 0);
    EXPECT_EQ(form.hwnd, nullptr) << way;
  }
  EXPECT_THAT(AccountExclusions(), ElementsAre(Pair("ABC", "ABC")));
  EXPECT_EQ(SavedFile(), "<absent>");
  EXPECT_EQ(saves_, 0);
}

// Posts a command to the dialog once it exists, from another thread.
std::thread PostWhenOpen(WPARAM command, const char* list) {
  return std::thread([command, list] {
    for (int i = 0; i < 250; ++i) {
      HWND dialog = FindWindowA("#32770", "Account Upload Options");
      HWND cancel = dialog ? GetDlgItem(dialog, 104) : nullptr;  // the last control: built
      if (cancel) {
        HWND edit = FindWindowExA(dialog, nullptr, "Edit", nullptr);
        SendMessageA(edit, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(list));
        PostMessageA(dialog, WM_COMMAND, command, 0);
        return;
      }
      Sleep(20);
    }
  });
}

TEST_F(AccountOptionsFormTest, RunModalEndsWithCancelOnEscapeAndWithOkOnEnter) {
  {
    AccountOptionsForm form(&app_);
    std::thread escape = PostWhenOpen(IDCANCEL, "first");
    EXPECT_EQ(form.RunModal(nullptr), IDCANCEL);
    escape.join();
  }
  EXPECT_TRUE(AccountExclusions().empty());
  {
    AccountOptionsForm form(&app_);
    std::thread enter = PostWhenOpen(IDOK, "second");
    EXPECT_EQ(form.RunModal(nullptr), IDOK);
    enter.join();
  }
  EXPECT_THAT(AccountExclusions(), ElementsAre(Pair("SECOND", "SECOND")));
  EXPECT_EQ(SavedFile(), "SECOND\n");
}

TEST_F(AccountOptionsFormTest, TheMainWindowsAccountRowsFollowTheSavedList) {
  test::TempFolder game;
  test::ChildProcess fixture(test::Quoted(test::ProgramFolder() + "\\gamefixture.exe") +
                             " --accounts \"MY MAIN,SECOND\" " + test::Quoted(game.path()));
  ASSERT_TRUE(fixture.WaitForExit(60000));
  ASSERT_EQ(fixture.exitCode(), 0);
  app_.skipInitialSelfUpdate = true;
  app_.timesStarted = 5;
  app_.SetPreferences(kDefaultPreferences, true);
  app_.SetGameFolder(Live, game.path(), true);
  MainForm main(&app_);  // its start replaces the test's saved handler with its own refresh
  ASSERT_TRUE(main.CreateModeless(nullptr));
  ASSERT_EQ(ListRowCount(main.accountList()), 2);
  ASSERT_EQ(ListCellText(main.accountList(), 0, 0), "My Main");
  EXPECT_NE(ListCellText(main.accountList(), 0, 5), "Blocked");

  EnterAndConfirm("my main");
  EXPECT_EQ(ListCellText(main.accountList(), 0, 5), "Blocked");
  EXPECT_NE(ListCellText(main.accountList(), 1, 5), "Blocked");

  EnterAndConfirm("");
  EXPECT_NE(ListCellText(main.accountList(), 0, 5), "Blocked");
  main.Close(0);
}

TEST_F(AccountOptionsFormTest, NamesOutsideTheCodePageAreShownTypedAndExcludedWhole) {
  // Greek and Cyrillic are both outside the tests' code page (1252): the game's folders and the
  // player's typing arrive as UTF-16.
  test::TempFolder games;
  test::ChildProcess fixture(test::Quoted(test::ProgramFolder() + "\\gamefixture.exe") +
                             " --accounts PLAIN " + test::Quoted(games / "game"));
  ASSERT_TRUE(fixture.WaitForExit(60000));
  ASSERT_EQ(fixture.exitCode(), 0);
  ASSERT_NE(test::RenameToWideName(games / "game\\WTF\\Account\\PLAIN",
                                   L"\u03A9MEGA \u0412\u0410\u0421\u042F"),
            "");
  const std::string game = test::RenameToWideName(games / "game", L"\u0418\u0433\u0440\u044B");
  ASSERT_NE(game, "");
  app_.skipInitialSelfUpdate = true;
  app_.timesStarted = 5;
  app_.SetPreferences(kDefaultPreferences, true);
  app_.SetGameFolder(Live, game, true);
  MainForm main(&app_);
  ASSERT_TRUE(main.CreateModeless(nullptr));
  ASSERT_EQ(ListRowCount(main.accountList()), 1);
  EXPECT_EQ(ListCellText(main.accountList(), 0, 0), u8"\u03A9mega \u0412\u0430\u0441\u044F");

  Open();
  SetWindowTextW(form_->listEdit(), L"\u03A9mega \u0432\u0430\u0441\u044F");
  SendMessageA(form_->controls[AccountOptionsForm::kOkButton], BM_CLICK, 0, 0);
  const std::string upper = u8"\u03A9MEGA \u0412\u0410\u0421\u042F";
  EXPECT_THAT(AccountExclusions(), ElementsAre(Pair(upper, upper)));
  EXPECT_EQ(SavedFile(), upper + "\n");
  EXPECT_EQ(ListCellText(main.accountList(), 0, 5), "Blocked");

  AccountOptionsForm& again = Open();
  wchar_t shown[64] = {};
  GetWindowTextW(again.listEdit(), shown, 64);
  EXPECT_STREQ(shown, L"\u03A9MEGA \u0412\u0410\u0421\u042F\r\n");
  again.Close(0);
  main.Close(0);
}

}  // namespace
}  // namespace drovane
