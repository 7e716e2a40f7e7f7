#pragma once
// Report-style list views: columns and rows of UTF-8 texts (account names may be Cyrillic).
#include <windows.h>

#include <string>
#include <vector>

namespace drovane {

struct ListColumn {
  const char* title;
  int width;
  int format;  // LVCFMT_LEFT or LVCFMT_RIGHT
};

void AddListColumns(HWND list, const ListColumn* columns, int count);
// Appends a row: the first text as the item, the others as its further columns.
void AppendListRow(HWND list, const std::vector<std::string>& texts);
int ListRowCount(HWND list);
// The text of a cell, as UTF-8.
std::string ListCellText(HWND list, int row, int column);

}  // namespace drovane
