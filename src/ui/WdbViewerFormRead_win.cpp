// The cache viewer's list: reading a WDB file into it, sorting it, and opening a record's page.
// The decoding itself is pure (data/CacheRecordReader.h); this file moves rows into the list view.
#include <windows.h>
#include <commctrl.h>

#include <memory>
#include <string>

#include "base/ClientMessageBox.h"
#include "base/DataFile.h"
#include "data/CacheRecordReader.h"
#include "settings/Settings.h"
#include "ui/Controls.h"
#include "ui/WdbViewerForm.h"

namespace drovane {
namespace {

// Record ids can have ten digits and a sign.
constexpr int kIdTextLimit = 16;

// Host labels by edition and page paths by kind; objects and pages have no page.
const char* const kHostLabels[kEditionCount] = {"www", "ptr", "beta"};
const char* const kPagePaths[] = {"npc=", "", "", "quest="};

// Sets a cell's text; an empty or invalid UTF-8 text leaves the cell empty.
void SetCell(HWND list, int row, int column, const std::string& text) {
  std::unique_ptr<wchar_t[]> wide;
  if (!Utf8ToWide(text.c_str(), wide)) return;
  LVITEMW item = {};
  item.mask = LVIF_TEXT;
  item.iItem = row;
  item.iSubItem = column;
  item.pszText = wide.get();
  SendMessageW(list, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

// Orders two rows by their item parameters, the record ids.
int CALLBACK CompareIds(LPARAM first, LPARAM second, LPARAM) {
  const int32_t a = static_cast<int32_t>(first);
  const int32_t b = static_cast<int32_t>(second);
  return (a > b) - (a < b);
}

}  // namespace

void WdbViewerForm::ReadCreatureCache() {
  ReadCache();
}

void WdbViewerForm::ReadObjectCache() {
  ReadCache();
}

void WdbViewerForm::ReadPageCache() {
  ReadCache();
}

void WdbViewerForm::ReadQuestCache() {
  ReadCache();
}

void WdbViewerForm::ReadCache() {
  const std::string path = CachePath(edition, locale);
  if (path.empty()) return;
  DataFile file;
  if (!file.Open(path, FileMode::Read)) return;
  const unsigned char* data = reinterpret_cast<const unsigned char*>(file.ReadAll());
  const size_t size = file.ReadAllSize();
  switch (CheckWdbFile(kind, data, size)) {
    case WdbReadResult::TooShort:
      return;
    case WdbReadResult::WrongSignature:
      ClientMessageBox(hwnd, "Wrong file version.", MB_ICONERROR);
      return;
    case WdbReadResult::Read:
      break;
  }
  if (!columnsInserted) {
    InsertColumns();
    columnsInserted = true;
  }
  HWND list = recordList();
  int row = 0;
  ReadWdbRecords(kind, data, size, [&](const WdbRecordRow& record) {
    std::wstring idText = std::to_wstring(record.id);
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_PARAM;
    item.iItem = row;
    item.pszText = &idText[0];
    item.lParam = record.id;
    const int inserted =
        static_cast<int>(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    if (inserted >= 0) {
      const int columns = WdbRecordFormatOf(kind)->columnCount;
      for (int column = 1; column < columns; ++column) {
        SetCell(list, inserted, column, record.cells[column - 1]);
      }
    }
    ++row;
  });
}

void WdbViewerForm::InsertColumns() {
  const WdbRecordFormat& format = *WdbRecordFormatOf(kind);
  HWND list = recordList();
  for (int i = 0; i < format.columnCount; ++i) {
    const WdbColumn& source = format.columns[i];
    std::wstring title = Utf8ToWideString(source.title);
    LVCOLUMNW column = {};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_FMT;
    column.fmt = source.alignRight ? LVCFMT_RIGHT : LVCFMT_LEFT;
    column.cx = source.width;
    column.pszText = &title[0];
    SendMessageW(list, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i),
                 reinterpret_cast<LPARAM>(&column));
    // The first column takes its alignment only when set again after insertion.
    if (i == 0) {
      SendMessageW(list, LVM_SETCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    }
  }
}

void WdbViewerForm::SortById() {
  SendMessageW(recordList(), LVM_SORTITEMS, 0, reinterpret_cast<LPARAM>(CompareIds));
}

void WdbViewerForm::OpenRecordPage(const NMHDR* notify) {
  if (!notify || notify->hwndFrom != recordList() || notify->code != NM_DBLCLK) return;
  const int row = reinterpret_cast<const NMITEMACTIVATE*>(notify)->iItem;
  if (row < 0) return;
  wchar_t buffer[kIdTextLimit] = {};
  LVITEMW item = {};
  item.iSubItem = 0;
  item.pszText = buffer;
  item.cchTextMax = kIdTextLimit;
  SendMessageW(recordList(), LVM_GETITEMTEXTW, static_cast<WPARAM>(row),
               reinterpret_cast<LPARAM>(&item));
  // The id column holds digits only.
  std::string id;
  for (const wchar_t* c = buffer; *c; ++c) id += static_cast<char>(*c);

  const std::string host = edition >= 0 && edition < kEditionCount ? kHostLabels[edition] : "";
  const std::string path = kind >= 0 && kind < 4 ? kPagePaths[kind] : "";
  if (host.empty() || path.empty() || id.empty()) return;
  openUrl("http://" + host + "." + kWebsiteDomain + "/" + path + id + "&from-client");
}

}  // namespace drovane
