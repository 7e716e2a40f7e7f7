#pragma once
// The cache viewer: a resizable modal window that lists the records of one WDB cache kind
// (creatures, game objects, page texts or quests) for a chosen game edition and locale. A
// double-click on a creature or quest opens its page on the web site.
//
// Opened by the main window (its command 301, "View..." or a double-click on a WDB row) with
// ShowWdbViewer below.
#include <windows.h>

#include <functional>
#include <string>

#include "ui/Form.h"

namespace drovane {

class Settings;

// The domain shared by the web site's hosts ("www.", "ptr." and "beta." + domain).
constexpr char kWebsiteDomain[] = "drovane.com";

class WdbViewerForm : public Form {
 public:
  WdbViewerForm(Settings* settings, int kind);
  ~WdbViewerForm() override;

  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  // Chooses the edition (0 Live, 1 PTR, 2 Beta), lists its locale folders that hold the kind's
  // file, shows the first of them and loads it.
  void SelectEdition(int edition);
  // Reloads the list from the file of the current edition and locale.
  void LoadView();
  // Orders the rows by record id, ascending.
  void SortById();
  // A double-click on a creature or quest row opens its page on the web site.
  void OpenRecordPage(const NMHDR* notify);
  // Places the list and the buttons for a client area of width x height.
  void LayoutViewer(int width, int height);

  // The four readers: each fills the list from its kind's file.
  void ReadCreatureCache();
  void ReadObjectCache();
  void ReadPageCache();
  void ReadQuestCache();

  // The seven controls, in the order one ApplyDefaultFont call covers them.
  enum Control {
    kEditionLabel,
    kEditionCombo,
    kLocaleLabel,
    kLocaleCombo,
    kRecordList,
    kSortButton,
    kCloseButton,
    kControlCount
  };
  HWND controls[kControlCount] = {};
  HWND editionCombo() const { return controls[kEditionCombo]; }
  HWND localeCombo() const { return controls[kLocaleCombo]; }
  HWND recordList() const { return controls[kRecordList]; }
  HWND sortButton() const { return controls[kSortButton]; }
  HWND closeButton() const { return controls[kCloseButton]; }

  Settings* settings;
  const int kind;    // 0 creatures, 1 objects, 2 pages, 3 quests; fixed for the window's life
  int edition = -1;  // -1 until an edition is chosen
  std::string locale;
  bool columnsInserted = false;

  // How a record page is opened (the shell's "open"); tests record the address instead.
  std::function<void(const std::string& url)> openUrl;
  // Whether Shift is held now (GetAsyncKeyState); tests decide it themselves.
  std::function<bool()> isShiftHeld;

  static constexpr int kStartWidth = 400;
  static constexpr int kStartHeight = 300;
  static constexpr LONG kStyle = 0xCD0000;  // caption, system menu, sizing frame, maximize box
  static constexpr int kMinWindowWidth = 355;
  static constexpr int kMinWindowHeight = 250;

 private:
  bool BuildViewer();
  void OnCommand(WPARAM wParam);
  // Reads the file of the current edition and locale into the list (the readers' common part).
  void ReadCache();
  void InsertColumns();
  std::string CachePath(int forEdition, const std::string& forLocale) const;
  std::string ComboText(HWND combo) const;
};

// Creates the viewer of a WDB kind (the main window's row index, 0 to 3), runs it modal over the
// owner and deletes it, framed by the log lines "Creating `WdbViewerForm`." and
// "Deleted `WdbViewerForm`.". Returns what RunModal returned.
int ShowWdbViewer(Settings* settings, int kind, HWND owner);

}  // namespace drovane
