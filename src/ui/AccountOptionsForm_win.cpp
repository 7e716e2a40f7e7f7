// The account exclusion dialog: the list as text in a multi-line edit.
#include "ui/AccountOptionsForm.h"

#include <windows.h>

#include <memory>
#include <string>

#include "base/FileLog.h"
#include "settings/AccountExclusions.h"
#include "ui/AccountListText.h"
#include "ui/Controls.h"

namespace drovane {
namespace {

constexpr int kClientWidth = 340;
constexpr int kClientHeight = 195;
constexpr LONG kDialogStyle = WS_CAPTION | WS_SYSMENU;
// Client edge is the extended style; the rest: vertical scroll bar, Enter makes a new line,
// automatic vertical scrolling, several lines (0x50201044 with WS_CHILD | WS_VISIBLE).
constexpr DWORD kListStyle = WS_VSCROLL | ES_WANTRETURN | ES_AUTOVSCROLL | ES_MULTILINE;
constexpr char kExplanationText[] =
    "To exclude an account from uploading character data, add it to the list below. One account "
    "name per line.";

}  // namespace

AccountOptionsForm::AccountOptionsForm(Settings* store) : settings(store) {}

INT_PTR AccountOptionsForm::HandleMessage(UINT message, WPARAM wParam, LPARAM) {
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

bool AccountOptionsForm::Build() {
  SetAppIcons();
  SetControlText(hwnd, "Account Upload Options");
  SetClientSize(kClientWidth, kClientHeight);
  SetWindowStyles(kDialogStyle, -1);
  // The explanation's rectangle reaches under the list; it is clipped by the list, which lies
  // above it, so its background never paints over the list.
  controls[kExplanation] =
      CreateControl(hwnd, instance, "STATIC", kExplanationText, WS_CLIPSIBLINGS, 0, 10, 8, 320, 84);
  controls[kListEdit] =
      CreateControl(hwnd, instance, "EDIT", "", kListStyle, WS_EX_CLIENTEDGE, 10, 40, 320, 117);
  SetWindowPos(controls[kListEdit], HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
  controls[kOkButton] = CreateControl(hwnd, instance, "BUTTON", "OK", BS_DEFPUSHBUTTON | WS_TABSTOP,
                                      0, 175, 165, 75, 23, kAccOk);
  controls[kCancelButton] =
      CreateControl(hwnd, instance, "BUTTON", "Cancel", BS_PUSHBUTTON | WS_TABSTOP, 0, 256, 165, 75,
                    23, kAccCancel);
  ApplyDefaultFont(controls, kControlCount);
  // Typing stops at the limit; the saved list is shown whole whatever its length, and read back
  // whole at OK: an exclusion is never dropped.
  SendMessageA(listEdit(), EM_SETLIMITTEXT, kAccountListTextLimit, 0);
  SetControlText(listEdit(), AccountListEditText(AccountExclusions()));
  CenterOver(parent);
  return true;
}

void AccountOptionsForm::OnCommand(WPARAM command) {
  switch (command) {
    case IDOK:
    case kAccOk:
      StoreList();
      Close(IDOK);
      break;
    case IDCANCEL:
    case kAccCancel:
      Close(IDCANCEL);
      break;
    default:
      break;
  }
}

void AccountOptionsForm::StoreList() {
  AccountExclusions() = AccountListFromEditText(ControlText(listEdit()));
  SaveAccountExclusions();
}

int ShowAccountOptions(Settings* settings, HWND owner) {
  LogLine() << "Creating `AccountOptionsForm`.";
  std::unique_ptr<AccountOptionsForm> form(new AccountOptionsForm(settings));
  const int result = form->RunModal(owner);
  form.reset();
  LogLine() << "Deleted `AccountOptionsForm`.";
  return result;
}

}  // namespace drovane
