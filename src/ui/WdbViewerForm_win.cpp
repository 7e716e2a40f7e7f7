// The cache viewer window: how it builds itself, chooses the edition and locale, lays itself out
// and answers its commands. Reading the files into the list is in WdbViewerFormRead_win.cpp.
#include "ui/WdbViewerForm.h"

#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <vector>

#include "base/DataFile.h"
#include "base/FileLog.h"
#include "data/CacheKind.h"
#include "game/EditionNames.h"
#include "game/GameDiscovery.h"
#include "settings/Settings.h"
#include "ui/Controls.h"

namespace drovane {
namespace {

enum CommandId : int {
  kCmdClose = 101,
  kCmdSort = 102,
  kEditionComboId = 201,
  kLocaleComboId = 202,
};

// Visible child, tab stop, no sort header, single selection, report view.
constexpr DWORD kRecordListStyle = 0x50018005;
constexpr DWORD kFullRowSelectAndLabelTip = LVS_EX_FULLROWSELECT | LVS_EX_LABELTIP;  // 0x4020
constexpr int kComboTextLimit = 16;  // at most 15 characters and the terminator

// The list keeps 10 pixels to each side, 40 above for the combo boxes and 40 below for the
// buttons, which sit 32 pixels above the bottom.
constexpr int kListMargin = 10;
constexpr int kListTop = 40;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;
constexpr int kButtonsFromBottom = 32;

void SetRedraw(HWND window, bool on) {
  SendMessageA(window, WM_SETREDRAW, on ? TRUE : FALSE, 0);
}

}  // namespace

WdbViewerForm::WdbViewerForm(Settings* store, int viewKind)
    : settings(store),
      kind(viewKind),
      openUrl(OpenWithShell),
      isShiftHeld([] { return GetAsyncKeyState(VK_SHIFT) != 0; }) {}

WdbViewerForm::~WdbViewerForm() = default;

INT_PTR WdbViewerForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      if (!BuildViewer()) Close(0);
      break;
    case WM_SIZE:
      LayoutViewer(LOWORD(lParam), HIWORD(lParam));
      break;
    case WM_GETMINMAXINFO: {
      MINMAXINFO* limits = reinterpret_cast<MINMAXINFO*>(lParam);
      limits->ptMinTrackSize.x = kMinWindowWidth;
      limits->ptMinTrackSize.y = kMinWindowHeight;
      break;
    }
    case WM_NOTIFY:
      OpenRecordPage(reinterpret_cast<const NMHDR*>(lParam));
      break;
    case WM_COMMAND:
      OnCommand(wParam);
      break;
    case WM_CLOSE:
      Close(0);
      break;
    default:
      break;
  }
  return 0;
}

bool WdbViewerForm::BuildViewer() {
  // The kind picks the file, the columns and the reader: a window of no kind has nothing to show.
  if (kind < 0 || kind >= kWdbKindCount || !settings) return false;
  SetAppIcons();
  SetControlText(hwnd, "Loading file...");
  SetClientSize(kStartWidth, kStartHeight);
  SetWindowStyles(kStyle, -1);

  controls[kEditionLabel] =
      CreateControl(hwnd, instance, "STATIC", "WoW Folder:", SS_RIGHT, 0, 10, 13, 63, 16);
  controls[kEditionCombo] =
      CreateControl(hwnd, instance, "COMBOBOX", nullptr, WS_TABSTOP | CBS_DROPDOWNLIST, 0, 77, 10,
                    75, 20, kEditionComboId);
  controls[kLocaleLabel] =
      CreateControl(hwnd, instance, "STATIC", "Locale:", SS_RIGHT, 0, 175, 13, 50, 16);
  controls[kLocaleCombo] =
      CreateControl(hwnd, instance, "COMBOBOX", nullptr, WS_TABSTOP | CBS_DROPDOWNLIST, 0, 229, 10,
                    100, 20, kLocaleComboId);
  // A Unicode window, so names in any language show as they are stored.
  controls[kRecordList] = CreateWindowExW(WS_EX_CLIENTEDGE, WC_LISTVIEWW, nullptr, kRecordListStyle,
                                          10, 40, 480, 48, hwnd, nullptr, instance, nullptr);
  controls[kSortButton] = CreateControl(hwnd, instance, "BUTTON", "Sort by ID", WS_TABSTOP, 0, 0, 0,
                                        kButtonWidth, kButtonHeight, kCmdSort);
  controls[kCloseButton] = CreateControl(hwnd, instance, "BUTTON", "Close", WS_TABSTOP, 0, 0, 0,
                                         kButtonWidth, kButtonHeight, kCmdClose);

  // Only editions that hold the viewed file in at least one locale folder are offered; the first
  // of them is shown.
  HWND combo = editionCombo();
  SetRedraw(combo, false);
  for (GameEdition candidate : kEditions) {
    if (settings->GetGameFolder(candidate).empty()) continue;
    std::vector<std::string> locales;
    ListCacheLocales(settings->GetGameFolder(candidate), CacheFolderKind::WDB, locales);
    bool holdsFile = false;
    for (const std::string& name : locales) {
      if (FileExists(CachePath(candidate, name))) {
        holdsFile = true;
        break;
      }
    }
    if (!holdsFile) continue;
    if (edition == -1) edition = candidate;
    SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(EditionDisplayName(candidate)));
  }
  SetRedraw(combo, true);
  SendMessageA(combo, CB_SETCURSEL, 0, 0);

  SelectEdition(edition);

  SendMessageW(recordList(), LVM_SETEXTENDEDLISTVIEWSTYLE, kFullRowSelectAndLabelTip,
               kFullRowSelectAndLabelTip);
  ApplyDefaultFont(controls, kControlCount);
  // The controls stand where they were created until a size event arrives; lay them out for the
  // start size now, so the window never shows them out of place.
  RECT client = {};
  GetClientRect(hwnd, &client);
  LayoutViewer(client.right - client.left, client.bottom - client.top);
  CenterOver(parent);
  return true;
}

void WdbViewerForm::SelectEdition(int chosen) {
  edition = chosen;
  HWND combo = localeCombo();
  std::string first;
  SetRedraw(combo, false);
  SendMessageA(combo, CB_RESETCONTENT, 0, 0);
  if (edition >= 0 && edition < kEditionCount) {
    std::vector<std::string> locales;
    ListCacheLocales(settings->GetGameFolder(static_cast<GameEdition>(edition)),
                     CacheFolderKind::WDB, locales);
    for (const std::string& name : locales) {
      if (!FileExists(CachePath(edition, name))) continue;
      if (first.empty()) first = name;
      SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
    }
  }
  SetRedraw(combo, true);
  SendMessageA(combo, CB_SETCURSEL, 0, 0);
  locale = first;
  LoadView();
}

void WdbViewerForm::LoadView() {
  SetControlText(hwnd, "Loading file...");
  if (isShiftHeld()) ShowWindow(sortButton(), SW_HIDE);
  HWND list = recordList();
  SetRedraw(list, false);
  SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);

  using Reader = void (WdbViewerForm::*)();
  static constexpr Reader kReaders[kWdbKindCount] = {
      &WdbViewerForm::ReadCreatureCache, &WdbViewerForm::ReadObjectCache,
      &WdbViewerForm::ReadPageCache, &WdbViewerForm::ReadQuestCache};
  if (kind >= 0 && kind < kWdbKindCount) {
    (this->*kReaders[kind])();
    SetControlText(hwnd, std::string(kWdbKinds[kind].displayName) + " - Data Viewer");
  }

  // Shift held while a file loads sorts it at once; the button then stays hidden.
  if (isShiftHeld()) {
    SortById();
  } else {
    ShowWindow(sortButton(), SW_SHOW);
  }
  SetRedraw(list, true);
}

void WdbViewerForm::LayoutViewer(int width, int height) {
  constexpr UINT kFlags = SWP_NOZORDER | SWP_NOACTIVATE;
  // A minimized window reports a client area of 0 x 0: nothing gets a negative size.
  const int listWidth = width - 2 * kListMargin > 0 ? width - 2 * kListMargin : 0;
  const int listHeight = height - 2 * kListTop > 0 ? height - 2 * kListTop : 0;
  SetWindowPos(recordList(), nullptr, 0, 0, listWidth, listHeight, kFlags | SWP_NOMOVE);
  SetWindowPos(sortButton(), nullptr, kListMargin - 1, height - kButtonsFromBottom, 0, 0,
               kFlags | SWP_NOSIZE);
  SetWindowPos(closeButton(), nullptr, width - kListMargin - kButtonWidth + 1,
               height - kButtonsFromBottom, 0, 0, kFlags | SWP_NOSIZE);
}

void WdbViewerForm::OnCommand(WPARAM wParam) {
  const int id = LOWORD(wParam);
  const int notification = HIWORD(wParam);
  switch (id) {
    case IDCANCEL:
    case kCmdClose:
      Close(0);
      break;
    case kCmdSort:
      ShowWindow(sortButton(), SW_HIDE);
      SortById();
      break;
    case kEditionComboId:
      if (notification == CBN_SELCHANGE) {
        const std::string name = ComboText(editionCombo());
        for (GameEdition candidate : kEditions) {
          if (name == EditionDisplayName(candidate)) {
            SelectEdition(candidate);
            break;
          }
        }
      }
      break;
    case kLocaleComboId:
      if (notification == CBN_SELCHANGE) {
        locale = ComboText(localeCombo());
        LoadView();
      }
      break;
    default:
      break;
  }
}

std::string WdbViewerForm::CachePath(int forEdition, const std::string& forLocale) const {
  if (forEdition < 0 || forEdition >= kEditionCount || forLocale.empty() || kind < 0 ||
      kind >= kWdbKindCount || !settings) {
    return std::string();
  }
  const std::string folder = settings->GetGameFolder(static_cast<GameEdition>(forEdition));
  if (folder.empty()) return std::string();
  return folder + "\\Cache\\WDB\\" + forLocale + "\\" + kWdbKinds[kind].fileName;
}

std::string WdbViewerForm::ComboText(HWND combo) const {
  char text[kComboTextLimit] = {};
  SendMessageA(combo, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  return text;
}

int ShowWdbViewer(Settings* settings, int kind, HWND owner) {
  LogLine() << "Creating `WdbViewerForm`.";
  std::unique_ptr<WdbViewerForm> viewer(new WdbViewerForm(settings, kind));
  const int result = viewer->RunModal(owner);
  viewer.reset();
  LogLine() << "Deleted `WdbViewerForm`.";
  return result;
}

}  // namespace drovane
