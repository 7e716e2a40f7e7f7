// The cache viewer in-process: how it builds itself, which editions and locales it offers, what
// it lists for each kind, sorting (with Shift held or by the button), the record pages a
// double-click opens, the wrong-signature box, and its size limits and layout.
#include <windows.h>
#include <commctrl.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "app/Application.h"
#include "base/FileLog.h"
#include "data/CacheRecordReader.h"
#include "support/DialogAnswerer.h"
#include "support/GameInstall.h"
#include "support/Process.h"
#include "support/TempFolder.h"
#include "support/WindowGeometry.h"
#include "ui/ListView.h"
#include "ui/WdbViewerForm.h"

namespace drovane {
namespace {

using test::ClientRectOf;
using test::ClientSize;

using ::testing::ElementsAre;

const char* const kFiles[] = {"creaturecache.wdb", "gameobjectcache.wdb", "pagetextcache.wdb",
                              "questcache.wdb"};
const char* const kSignatures[] = {"BOMW", "BOGW", "XTPW", "TSQW"};

std::string Le32(int32_t value) {
  const uint32_t bits = static_cast<uint32_t>(value);
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
  return bytes;
}

// A record of the kind whose name (or text, or title) is the given one, with type 1, category 2,
// next page 3, level 4 and classification 0.
std::string Payload(int kind, const std::string& name) {
  switch (kind) {
    case kViewCreatures:
      return std::string(15, '\x7F') + name + '\0' + std::string(8, '\x01') + Le32(1) + Le32(6) +
             Le32(0) + std::string(12, '\x02');
    case kViewObjects:
      return Le32(2) + Le32(0) + name + '\0' + std::string(20, '\0');
    case kViewPages:
      return name + '\0' + Le32(3);
    default: {
      std::string payload = Le32(0) + Le32(2) + Le32(4) + Le32(1);
      payload.resize(296, '\x09');
      return payload + name + '\0';
    }
  }
}

struct Sample {
  int32_t id;
  std::string name;
};

std::string CacheFile(int kind, const std::vector<Sample>& records, bool endMarker = true) {
  std::string file = std::string(kSignatures[kind]) + Le32(22522) + std::string(16, '\0');
  for (const Sample& record : records) {
    const std::string payload = Payload(kind, record.name);
    file += Le32(record.id) + Le32(static_cast<int32_t>(payload.size())) + payload;
  }
  return endMarker ? file + std::string(8, '\0') : file;
}

void WriteCache(const std::string& game, const std::string& locale, int kind,
                const std::string& content) {
  test::WriteTestFile(game + "\\Cache\\WDB\\" + locale + "\\" + kFiles[kind], content);
}

// Only the WDB files matter to the viewer.
::testing::AssertionResult MakeWdbInstallation(const std::string& folder,
                                               const std::string& options) {
  return test::MakeInstallation(folder, "--skip executables,addon,adb,config " + options);
}

std::string Title(HWND window) {
  char text[128] = {};
  GetWindowTextA(window, text, sizeof text);
  return text;
}

std::vector<std::string> ComboItems(HWND combo) {
  std::vector<std::string> items;
  const int count = static_cast<int>(SendMessageA(combo, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    char text[64] = {};
    SendMessageA(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
    items.push_back(text);
  }
  return items;
}

std::string ComboText(HWND combo) {
  char text[64] = {};
  GetWindowTextA(combo, text, sizeof text);
  return text;
}

// Rows as "cell|cell|...".
std::vector<std::string> Rows(HWND list) {
  const int columns =
      static_cast<int>(SendMessageA(ListView_GetHeader(list), HDM_GETITEMCOUNT, 0, 0));
  std::vector<std::string> rows;
  for (int row = 0; row < ListRowCount(list); ++row) {
    std::string text;
    for (int column = 0; column < columns; ++column) {
      text += (column ? "|" : "") + ListCellText(list, row, column);
    }
    rows.push_back(text);
  }
  return rows;
}

// Columns as "title width L|R".
std::vector<std::string> Columns(HWND list) {
  std::vector<std::string> result;
  for (int i = 0;; ++i) {
    wchar_t text[64] = {};
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    column.pszText = text;
    column.cchTextMax = 64;
    if (!SendMessageW(list, LVM_GETCOLUMNW, i, reinterpret_cast<LPARAM>(&column))) break;
    const std::wstring title = text;
    result.push_back(std::string(title.begin(), title.end()) + " " + std::to_string(column.cx) +
                     ((column.fmt & LVCFMT_JUSTIFYMASK) == LVCFMT_RIGHT ? " R" : " L"));
  }
  return result;
}

class WdbViewerFormTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (GameEdition edition : kEditions) app_.SetGameFolder(edition, "", true);
  }
  void TearDown() override { form_.reset(); }

  void UseFolder(GameEdition edition, const test::TempFolder& folder) {
    app_.SetGameFolder(edition, folder.path(), true);
  }

  // Opens the viewer modeless (the main window runs it modal; the window is the same), with the
  // shell call and the Shift key in the test's hands.
  WdbViewerForm& Open(int kind) {
    form_ = std::make_unique<WdbViewerForm>(&app_, kind);
    form_->openUrl = [this](const std::string& url) { urls_.push_back(url); };
    form_->isShiftHeld = [this] { return shiftHeld_; };
    EXPECT_TRUE(form_->CreateModeless(nullptr));
    return *form_;
  }

  void Choose(HWND combo, int index) {
    SendMessageA(combo, CB_SETCURSEL, index, 0);
    SendMessageA(form_->hwnd, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(combo));
  }

  void DoubleClick(int row, UINT code = NM_DBLCLK) {
    NMITEMACTIVATE notify = {};
    notify.hdr.hwndFrom = form_->recordList();
    notify.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(form_->recordList()));
    notify.hdr.code = code;
    notify.iItem = row;
    SendMessageA(form_->hwnd, WM_NOTIFY, notify.hdr.idFrom, reinterpret_cast<LPARAM>(&notify));
  }

  Application app_;
  std::unique_ptr<WdbViewerForm> form_;
  std::vector<std::string> urls_;
  bool shiftHeld_ = false;
};

TEST_F(WdbViewerFormTest, BuildsTitleSizeStylesAndControls) {
  test::TempFolder live;
  ASSERT_TRUE(MakeWdbInstallation(live.path(), "--records 20"));
  UseFolder(Live, live);
  WdbViewerForm& form = Open(kViewCreatures);
  EXPECT_EQ(Title(form.hwnd), "Creatures - Data Viewer");
  EXPECT_EQ(ClientSize(form.hwnd).cx, 400);
  EXPECT_EQ(ClientSize(form.hwnd).cy, 300);
  EXPECT_EQ(GetWindowLongA(form.hwnd, GWL_STYLE) & 0xCF0000, 0xCD0000);

  struct Expected {
    HWND control;
    const char* className;
    const char* text;
    RECT rect;
    int id;
  } controls[] = {
      {form.controls[WdbViewerForm::kEditionLabel], "Static", "WoW Folder:", {10, 13, 73, 29}, 0},
      {form.editionCombo(), "ComboBox", "Live", {77, 10, 152, 0}, 201},
      {form.controls[WdbViewerForm::kLocaleLabel], "Static", "Locale:", {175, 13, 225, 29}, 0},
      {form.localeCombo(), "ComboBox", "enUS", {229, 10, 329, 0}, 202},
      {form.recordList(), "SysListView32", "", {10, 40, 390, 260}, 0},
      {form.sortButton(), "Button", "Sort by ID", {9, 268, 84, 291}, 102},
      {form.closeButton(), "Button", "Close", {316, 268, 391, 291}, 101},
  };
  for (const Expected& e : controls) {
    char className[64] = {};
    GetClassNameA(e.control, className, sizeof className);
    EXPECT_STREQ(className, e.className);
    EXPECT_EQ(Title(e.control), e.text) << className;
    const RECT rect = ClientRectOf(e.control);
    EXPECT_EQ(rect.left, e.rect.left) << e.text;
    EXPECT_EQ(rect.top, e.rect.top) << e.text;
    EXPECT_EQ(rect.right, e.rect.right) << e.text;
    // A drop-down list's height is the system's, not the one it was created with.
    if (e.rect.bottom) {
      EXPECT_EQ(rect.bottom, e.rect.bottom) << e.text;
    }
    EXPECT_EQ(GetDlgCtrlID(e.control), e.id) << e.text;
    EXPECT_TRUE(GetWindowLongA(e.control, GWL_STYLE) & WS_VISIBLE) << e.text;
  }
  EXPECT_TRUE(IsWindowUnicode(form.recordList()));
  // Scroll bars come and go with the rows.
  EXPECT_EQ(static_cast<DWORD>(GetWindowLongA(form.recordList(), GWL_STYLE)) &
                ~static_cast<DWORD>(WS_VSCROLL | WS_HSCROLL),
            0x50018005u);
  EXPECT_TRUE(GetWindowLongA(form.recordList(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
  EXPECT_EQ(SendMessageA(form.recordList(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & 0x4020, 0x4020);
  EXPECT_EQ(GetWindowLongA(form.editionCombo(), GWL_STYLE) & 0x3, CBS_DROPDOWNLIST);
  EXPECT_EQ(GetWindowLongA(form.controls[WdbViewerForm::kEditionLabel], GWL_STYLE) & SS_TYPEMASK,
            SS_RIGHT);
  EXPECT_EQ(form.edition, Live);
  EXPECT_EQ(form.locale, "enUS");
  EXPECT_TRUE(form.columnsInserted);
  const HGDIOBJ font = GetStockObject(DEFAULT_GUI_FONT);
  for (HWND control : form.controls) {
    EXPECT_EQ(reinterpret_cast<HGDIOBJ>(SendMessageA(control, WM_GETFONT, 0, 0)), font);
  }

  // Escape and the close box end it.
  SendMessageA(form.hwnd, WM_COMMAND, IDCANCEL, 0);
  EXPECT_EQ(form.hwnd, nullptr);
}

TEST_F(WdbViewerFormTest, ColumnsAndRowsOfEachKindFromAGeneratedInstallation) {
  test::TempFolder live;
  ASSERT_TRUE(MakeWdbInstallation(live.path(), "--records 12 --first-id 109"));
  UseFolder(Live, live);
  const std::vector<std::string> columns[] = {
      {"ID 45 R", "Name 150 L", "Type 70 L", "Classification  80 L"},
      {"ID 50 R", "Name 225 L", "Category 70 R"},
      {"ID 45 R", "Text 220 L", "Next Page ID 85 R"},
      {"ID 45 R", "Title 160 L", "Level 50 R"},
  };
  const char* titles[] = {"Creatures - Data Viewer", "Objects - Data Viewer", "Pages - Data Viewer",
                          "Quests - Data Viewer"};
  for (int kind = 0; kind < 4; ++kind) {
    WdbViewerForm& form = Open(kind);
    EXPECT_EQ(Title(form.hwnd), titles[kind]);
    EXPECT_EQ(Columns(form.recordList()), columns[kind]);
    const std::vector<std::string> rows = Rows(form.recordList());
    ASSERT_EQ(rows.size(), 12u) << kind;
    // Id 109 and 110: the sample values gamefixture documents.
    std::vector<std::string> first = {ListCellText(form.recordList(), 0, 0),
                                      ListCellText(form.recordList(), 1, 0)};
    EXPECT_THAT(first, ElementsAre("109", "110"));
    const int columnCount = static_cast<int>(columns[kind].size());
    std::string last = ListCellText(form.recordList(), 1, columnCount - 1);
    const char* expectedLast[] = {"Normal", "10", "0", "1"};  // id 110
    EXPECT_EQ(last, expectedLast[kind]) << kind;
    EXPECT_FALSE(ListCellText(form.recordList(), 0, 1).empty()) << kind;
    form_.reset();
  }
  // Creature 109: type 9, classification 4; quest 109 has level 110.
  WdbViewerForm& creatures = Open(kViewCreatures);
  EXPECT_EQ(ListCellText(creatures.recordList(), 0, 2), "Mechanical");
  EXPECT_EQ(ListCellText(creatures.recordList(), 0, 3), "Rare");
  form_.reset();
  WdbViewerForm& quests = Open(kViewQuests);
  EXPECT_EQ(ListCellText(quests.recordList(), 0, 2), "110");
}

TEST_F(WdbViewerFormTest, OnlyThePtrInstallationHoldsTheCreatureCache) {
  test::TempFolder live, ptr, beta;
  WriteCache(live.path(), "enUS", kViewObjects, CacheFile(kViewObjects, {{1, "Chest"}}));
  test::WriteTestFile(beta / "Cache\\WDB\\enUS\\readme.txt", "no caches");
  WriteCache(ptr.path(), "enGB", kViewCreatures, CacheFile(kViewCreatures, {{77, "Test Dummy"}}));
  UseFolder(Live, live);
  UseFolder(PTR, ptr);
  UseFolder(Beta, beta);
  WdbViewerForm& form = Open(kViewCreatures);
  EXPECT_THAT(ComboItems(form.editionCombo()), ElementsAre("PTR"));
  EXPECT_EQ(ComboText(form.editionCombo()), "PTR");
  EXPECT_EQ(form.edition, PTR);
  EXPECT_THAT(ComboItems(form.localeCombo()), ElementsAre("enGB"));
  EXPECT_THAT(Rows(form.recordList()), ElementsAre("77|Test Dummy|Beast|Normal"));
}

TEST_F(WdbViewerFormTest, OnlyTheSecondLocaleHoldsTheFile) {
  test::TempFolder live;
  // Listed first (folders come sorted by name), but without the quest cache.
  WriteCache(live.path(), "deDE", kViewCreatures, CacheFile(kViewCreatures, {{1, "Wolf"}}));
  WriteCache(live.path(), "enUS", kViewQuests, CacheFile(kViewQuests, {{12, "Into the Fray"}}));
  UseFolder(Live, live);
  WdbViewerForm& form = Open(kViewQuests);
  EXPECT_THAT(ComboItems(form.localeCombo()), ElementsAre("enUS"));
  EXPECT_EQ(ComboText(form.localeCombo()), "enUS");
  EXPECT_EQ(form.locale, "enUS");
  EXPECT_THAT(Rows(form.recordList()), ElementsAre("12|Into the Fray|4"));
}

TEST_F(WdbViewerFormTest, ChoosingAnotherEditionAndLocaleReloads) {
  test::TempFolder live, beta;
  WriteCache(live.path(), "enUS", kViewPages, CacheFile(kViewPages, {{1, "Live page"}}));
  WriteCache(beta.path(), "deDE", kViewPages, CacheFile(kViewPages, {{2, "Seite"}}));
  WriteCache(beta.path(), "ruRU", kViewPages, CacheFile(kViewPages, {{3, "Страница"}}));
  UseFolder(Live, live);
  UseFolder(Beta, beta);
  WdbViewerForm& form = Open(kViewPages);
  EXPECT_THAT(ComboItems(form.editionCombo()), ElementsAre("Live", "Beta"));
  EXPECT_THAT(Rows(form.recordList()), ElementsAre("1|Live page|3"));

  Choose(form.editionCombo(), 1);
  EXPECT_EQ(form.edition, Beta);
  EXPECT_THAT(ComboItems(form.localeCombo()), ElementsAre("deDE", "ruRU"));
  EXPECT_EQ(form.locale, "deDE");
  EXPECT_THAT(Rows(form.recordList()), ElementsAre("2|Seite|3"));
  EXPECT_EQ(Title(form.hwnd), "Pages - Data Viewer");

  Choose(form.localeCombo(), 1);
  EXPECT_EQ(form.locale, "ruRU");
  EXPECT_THAT(Rows(form.recordList()), ElementsAre("3|Страница|3"));
  // The columns are inserted once for the window's life.
  EXPECT_EQ(Columns(form.recordList()).size(), 3u);

  Choose(form.editionCombo(), 0);
  EXPECT_EQ(form.edition, Live);
  EXPECT_THAT(Rows(form.recordList()), ElementsAre("1|Live page|3"));
}

TEST_F(WdbViewerFormTest, ShiftHeldWhileALocaleLoadsSortsAtOnceAndHidesTheButton) {
  test::TempFolder live;
  WriteCache(live.path(), "enGB", kViewCreatures,
             CacheFile(kViewCreatures, {{30, "C"}, {10, "A"}, {2000000, "D"}, {20, "B"}}));
  WriteCache(live.path(), "enUS", kViewCreatures,
             CacheFile(kViewCreatures, {{5, "E"}, {3, "F"}, {4, "G"}}));
  UseFolder(Live, live);
  WdbViewerForm& form = Open(kViewCreatures);
  auto ids = [&form] {
    std::vector<std::string> result;
    for (int row = 0; row < ListRowCount(form.recordList()); ++row) {
      result.push_back(ListCellText(form.recordList(), row, 0));
    }
    return result;
  };
  EXPECT_EQ(form.locale, "enGB");
  EXPECT_THAT(ids(), ElementsAre("30", "10", "2000000", "20"));
  EXPECT_TRUE(GetWindowLongA(form.sortButton(), GWL_STYLE) & WS_VISIBLE);

  shiftHeld_ = true;
  Choose(form.localeCombo(), 1);
  EXPECT_THAT(ids(), ElementsAre("3", "4", "5"));
  EXPECT_FALSE(GetWindowLongA(form.sortButton(), GWL_STYLE) & WS_VISIBLE);
  // The rows move whole.
  EXPECT_THAT(Rows(form.recordList()),
              ElementsAre("3|F|Beast|Normal", "4|G|Beast|Normal", "5|E|Beast|Normal"));

  shiftHeld_ = false;
  Choose(form.localeCombo(), 0);
  EXPECT_THAT(ids(), ElementsAre("30", "10", "2000000", "20"));
  EXPECT_TRUE(GetWindowLongA(form.sortButton(), GWL_STYLE) & WS_VISIBLE);

  // The button sorts and hides itself.
  SendMessageA(form.hwnd, WM_COMMAND, MAKEWPARAM(102, BN_CLICKED),
               reinterpret_cast<LPARAM>(form.sortButton()));
  EXPECT_THAT(ids(), ElementsAre("10", "20", "30", "2000000"));
  EXPECT_FALSE(GetWindowLongA(form.sortButton(), GWL_STYLE) & WS_VISIBLE);
}

// Without the test's hand on it, the viewer asks the keyboard itself.
TEST_F(WdbViewerFormTest, TheShiftKeyIsReadFromTheKeyboard) {
  WdbViewerForm viewer(&app_, kViewCreatures);
  auto press = [](bool down) {
    INPUT input = {};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = VK_SHIFT;
    input.ki.dwFlags = down ? 0 : KEYEVENTF_KEYUP;
    return SendInput(1, &input, sizeof input);
  };
  ASSERT_EQ(press(true), 1u);
  const bool heldWhilePressed = viewer.isShiftHeld();
  ASSERT_EQ(press(false), 1u);
  EXPECT_TRUE(heldWhilePressed);
  EXPECT_FALSE(viewer.isShiftHeld());
}

TEST_F(WdbViewerFormTest, DoubleClickOpensRecordPagesOfCreaturesAndQuestsPerEdition) {
  test::TempFolder live, ptr, beta;
  for (const test::TempFolder* folder : {&live, &ptr, &beta}) {
    for (int kind = 0; kind < 4; ++kind) {
      WriteCache(folder->path(), "enUS", kind,
                 CacheFile(kind, {{448, "First"}, {2147483647, "Largest"}}));
    }
  }
  UseFolder(Live, live);
  UseFolder(PTR, ptr);
  UseFolder(Beta, beta);
  for (int kind = 0; kind < 4; ++kind) {
    WdbViewerForm& form = Open(kind);
    ASSERT_THAT(ComboItems(form.editionCombo()), ElementsAre("Live", "PTR", "Beta"));
    for (int edition = 0; edition < 3; ++edition) {
      Choose(form.editionCombo(), edition);
      ASSERT_EQ(form.edition, edition);
      DoubleClick(0);
      DoubleClick(1);
      DoubleClick(-1);           // below the rows
      DoubleClick(0, NM_CLICK);  // a single click opens nothing
      DoubleClick(0, NM_RCLICK);
    }
    form_.reset();
  }
  EXPECT_THAT(urls_, ElementsAre("http://www.drovane.com/npc=448&from-client",
                                 "http://www.drovane.com/npc=2147483647&from-client",
                                 "http://ptr.drovane.com/npc=448&from-client",
                                 "http://ptr.drovane.com/npc=2147483647&from-client",
                                 "http://beta.drovane.com/npc=448&from-client",
                                 "http://beta.drovane.com/npc=2147483647&from-client",
                                 "http://www.drovane.com/quest=448&from-client",
                                 "http://www.drovane.com/quest=2147483647&from-client",
                                 "http://ptr.drovane.com/quest=448&from-client",
                                 "http://ptr.drovane.com/quest=2147483647&from-client",
                                 "http://beta.drovane.com/quest=448&from-client",
                                 "http://beta.drovane.com/quest=2147483647&from-client"));
}

TEST_F(WdbViewerFormTest, DoubleClickUsesTheIdOfTheRowAfterSorting) {
  test::TempFolder beta;
  WriteCache(beta.path(), "enUS", kViewCreatures,
             CacheFile(kViewCreatures, {{30, "C"}, {10, "A"}}));
  UseFolder(Beta, beta);
  WdbViewerForm& form = Open(kViewCreatures);
  form.SortById();
  DoubleClick(0);
  EXPECT_THAT(urls_, ElementsAre("http://beta.drovane.com/npc=10&from-client"));
}

TEST_F(WdbViewerFormTest, MinimumSizeAndTheLayoutAtIt) {
  test::TempFolder live;
  WriteCache(live.path(), "enUS", kViewObjects, CacheFile(kViewObjects, {{1, "Chest"}}));
  UseFolder(Live, live);
  WdbViewerForm& form = Open(kViewObjects);

  MINMAXINFO limits = {};
  SendMessageA(form.hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
  EXPECT_EQ(limits.ptMinTrackSize.x, 355);
  EXPECT_EQ(limits.ptMinTrackSize.y, 250);

  SetWindowPos(form.hwnd, nullptr, 0, 0, 100, 80, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  RECT window = {};
  GetWindowRect(form.hwnd, &window);
  EXPECT_EQ(window.right - window.left, 355);
  EXPECT_EQ(window.bottom - window.top, 250);

  auto expectLayout = [&form] {
    const SIZE client = ClientSize(form.hwnd);
    const RECT list = ClientRectOf(form.recordList());
    EXPECT_EQ(list.left, 10);
    EXPECT_EQ(list.top, 40);
    EXPECT_EQ(list.right, client.cx - 10);
    EXPECT_EQ(list.bottom, client.cy - 40);
    const RECT sort = ClientRectOf(form.sortButton());
    EXPECT_EQ(sort.left, 9);
    EXPECT_EQ(sort.top, client.cy - 32);
    EXPECT_EQ(sort.right - sort.left, 75);
    EXPECT_EQ(sort.bottom - sort.top, 23);
    const RECT close = ClientRectOf(form.closeButton());
    EXPECT_EQ(close.left, client.cx - 84);
    EXPECT_EQ(close.top, client.cy - 32);
    EXPECT_EQ(close.right - close.left, 75);
    EXPECT_EQ(close.bottom - close.top, 23);
  };
  expectLayout();

  SetWindowPos(form.hwnd, nullptr, 0, 0, 700, 520, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  GetWindowRect(form.hwnd, &window);
  EXPECT_EQ(window.right - window.left, 700);
  expectLayout();

  // A minimized window's empty client area gives nothing a negative size.
  form.LayoutViewer(0, 0);
  const RECT list = ClientRectOf(form.recordList());
  EXPECT_EQ(list.right - list.left, 0);
  EXPECT_EQ(list.bottom - list.top, 0);
}

TEST_F(WdbViewerFormTest, WrongSignatureShowsTheBoxAndAnEmptyList) {
  test::TempFolder live;
  WriteCache(live.path(), "enUS", kViewCreatures, CacheFile(kViewObjects, {{1, "Chest"}}));
  UseFolder(Live, live);
  test::DialogAnswerer answerer("Drovane Client", {IDOK});
  WdbViewerForm& form = Open(kViewCreatures);
  EXPECT_TRUE(answerer.WaitForBoxes(1, 10000));
  EXPECT_THAT(answerer.Texts(), ElementsAre("Wrong file version."));
  EXPECT_EQ(ListRowCount(form.recordList()), 0);
  EXPECT_TRUE(Columns(form.recordList()).empty());
  EXPECT_FALSE(form.columnsInserted);
  EXPECT_EQ(Title(form.hwnd), "Creatures - Data Viewer");
}

TEST_F(WdbViewerFormTest, ShortEmptyAndDamagedFilesNeverFail) {
  test::TempFolder live;
  const std::string good = CacheFile(kViewQuests, {{1, "One"}, {2, "Two"}});
  // 24 bytes: no columns, no rows, no box.
  WriteCache(live.path(), "aaAA", kViewQuests, good.substr(0, 24));
  // A signature and no records: the columns and no rows.
  WriteCache(live.path(), "bbBB", kViewQuests, CacheFile(kViewQuests, {}));
  // The last record ends at the end of the file: every record is shown.
  WriteCache(live.path(), "ccCC", kViewQuests,
             CacheFile(kViewQuests, {{1, "One"}, {2, "Two"}}, false));
  // The second record claims a huge size.
  std::string huge = good;
  huge.replace(24 + 8 + Payload(kViewQuests, "One").size() + 4, 4, Le32(0x7FFFFFF0));
  WriteCache(live.path(), "ddDD", kViewQuests, huge);
  // The last title without its terminator, its record ending with the file.
  WriteCache(live.path(), "eeEE", kViewQuests,
             CacheFile(kViewQuests, {{1, "One"}}, false) + Le32(2) + Le32(298) +
                 Payload(kViewQuests, "Tw").substr(0, 298));
  // An empty file.
  WriteCache(live.path(), "ffFF", kViewQuests, "");
  // Names that are not UTF-8 leave their cells empty.
  WriteCache(live.path(), "ggGG", kViewQuests, CacheFile(kViewQuests, {{5, "\xC3\x28 bad"}}));
  UseFolder(Live, live);
  test::DialogAnswerer answerer("Drovane Client", {IDOK});
  WdbViewerForm& form = Open(kViewQuests);
  ASSERT_THAT(ComboItems(form.localeCombo()),
              ElementsAre("aaAA", "bbBB", "ccCC", "ddDD", "eeEE", "ffFF", "ggGG"));
  EXPECT_TRUE(Rows(form.recordList()).empty());
  EXPECT_TRUE(Columns(form.recordList()).empty());

  const std::vector<std::vector<std::string>> expected = {
      {}, {"1|One|4", "2|Two|4"}, {"1|One|4"}, {"1|One|4", "2|Tw|4"}, {}, {"5||4"}};
  for (int i = 0; i < 6; ++i) {
    Choose(form.localeCombo(), i + 1);
    EXPECT_EQ(Rows(form.recordList()), expected[i]) << i;
    EXPECT_EQ(Title(form.hwnd), "Quests - Data Viewer");
  }
  EXPECT_EQ(Columns(form.recordList()).size(), 3u);
  EXPECT_TRUE(answerer.Texts().empty());
}

TEST_F(WdbViewerFormTest, NoEditionHoldsTheFile) {
  test::TempFolder live;
  WriteCache(live.path(), "enUS", kViewCreatures, CacheFile(kViewCreatures, {{1, "Wolf"}}));
  UseFolder(Live, live);
  WdbViewerForm& form = Open(kViewQuests);
  EXPECT_EQ(form.edition, -1);
  EXPECT_TRUE(ComboItems(form.editionCombo()).empty());
  EXPECT_TRUE(ComboItems(form.localeCombo()).empty());
  EXPECT_EQ(ListRowCount(form.recordList()), 0);
  EXPECT_EQ(Title(form.hwnd), "Quests - Data Viewer");
  DoubleClick(0);
  EXPECT_TRUE(urls_.empty());

  // A kind outside the four has nothing to show: the window closes at once.
  WdbViewerForm other(&app_, 4);
  EXPECT_FALSE(other.CreateModeless(nullptr));
}

TEST_F(WdbViewerFormTest, RunsModalUntilClosedAndLogsItsLife) {
  test::TempFolder live;
  WriteCache(live.path(), "enUS", kViewCreatures, CacheFile(kViewCreatures, {{1, "Wolf"}}));
  UseFolder(Live, live);
  for (int way = 0; way < 3; ++way) {
    std::thread closer([way] {
      for (int i = 0; i < 250; ++i) {
        HWND window = FindWindowA("#32770", "Creatures - Data Viewer");
        HWND close = window ? GetDlgItem(window, 101) : nullptr;
        if (close) {
          if (way == 0) PostMessageA(window, WM_COMMAND, IDCANCEL, 0);
          if (way == 1) PostMessageA(close, BM_CLICK, 0, 0);
          if (way == 2) PostMessageA(window, WM_CLOSE, 0, 0);
          return;
        }
        Sleep(20);
      }
    });
    const size_t logStart = Log().Pending().size();
    EXPECT_EQ(ShowWdbViewer(&app_, kViewCreatures, nullptr), 0);
    closer.join();
    const std::string log = Log().Pending().substr(logStart);
    const size_t created = log.find("] Creating `WdbViewerForm`.\n");
    const size_t deleted = log.find("] Deleted `WdbViewerForm`.\n");
    EXPECT_NE(created, std::string::npos) << log;
    EXPECT_NE(deleted, std::string::npos) << log;
    EXPECT_LT(created, deleted);
  }
}

}  // namespace
}  // namespace drovane
