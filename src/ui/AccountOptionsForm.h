#pragma once
// The small dialog in which the player lists the game accounts whose character data is not
// uploaded, one name per line. OK replaces the process-wide exclusion list with the names in
// upper case and saves it; saving makes the main window refresh its account list.
#include <windows.h>

#include "ui/Form.h"

namespace drovane {

class Settings;

enum AccountOptionsCommand : int {
  kAccOk = 103,
  kAccCancel = 104,
};

class AccountOptionsForm : public Form {
 public:
  explicit AccountOptionsForm(Settings* settings);

  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  // The controls, consecutive so that ApplyDefaultFont covers them in one call.
  enum Control { kExplanation, kListEdit, kOkButton, kCancelButton, kControlCount };
  HWND controls[kControlCount] = {};
  HWND listEdit() const { return controls[kListEdit]; }

  Settings* settings;

 private:
  bool Build();
  void OnCommand(WPARAM command);
  void StoreList();
};

// Creates the dialog, runs it modal over the owner and deletes it, framed by the log lines
// "Creating `AccountOptionsForm`." and "Deleted `AccountOptionsForm`.". Returns what RunModal
// returned: IDOK after the list was saved, IDCANCEL otherwise.
int ShowAccountOptions(Settings* settings, HWND owner);

}  // namespace drovane
