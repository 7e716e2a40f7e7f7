// The character filter of the user-name edit: refuses characters outside a set and text beyond a
// length limit, telling the player why in a balloon over the edit.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <string>

#include "base/WideText.h"
#include "ui/Controls.h"

namespace drovane {
namespace {

constexpr char kUsernameCharacters[] =
    "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
constexpr char kUsernameRefusal[] = "Your username can only contain letters and numbers.";
constexpr int kUsernameLimit = 16;

struct CharFilter {
  std::string characters;
  int setMode;  // 0: the set lists what is allowed; otherwise what is forbidden
  std::string refusal;
  int limit;  // 0: none
  WNDPROC previous;
};

void ShowBalloon(HWND edit, const std::string& text, int maxWide) {
  std::wstring wide = Wide(text);
  if (wide.empty()) return;
  if (wide.size() >= static_cast<size_t>(maxWide)) wide.resize(static_cast<size_t>(maxWide) - 1);
  EDITBALLOONTIP balloon = {};
  balloon.cbStruct = sizeof balloon;
  balloon.pszTitle = L"";
  balloon.pszText = wide.c_str();
  balloon.ttiIcon = TTI_NONE;
  SendMessageW(edit, EM_SHOWBALLOONTIP, 0, reinterpret_cast<LPARAM>(&balloon));
}

bool Accepts(const CharFilter& filter, WPARAM code) {
  if (code > 255) return false;
  const bool inSet =
      code != 0 && filter.characters.find(static_cast<char>(code)) != std::string::npos;
  return filter.setMode == 0 ? inSet : !inSet;
}

LRESULT CALLBACK FilterProc(HWND edit, UINT message, WPARAM wParam, LPARAM lParam) {
  CharFilter* filter = reinterpret_cast<CharFilter*>(GetWindowLongPtrW(edit, GWLP_USERDATA));
  if (!filter) return DefWindowProcW(edit, message, wParam, lParam);
  const WNDPROC previous = filter->previous;
  if (message == WM_DESTROY) {
    SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(previous));
    SetWindowLongPtrW(edit, GWLP_USERDATA, 0);
    delete filter;
    return CallWindowProcW(previous, edit, message, wParam, lParam);
  }
  if (message == WM_CHAR && wParam != VK_BACK) {
    if (!Accepts(*filter, wParam)) {
      ShowBalloon(edit, filter->refusal, 256);
      return 0;
    }
    if (filter->limit != 0 && GetWindowTextLengthW(edit) >= filter->limit) {
      char text[64];
      std::snprintf(text, sizeof text, "You cannot enter more than %i characters.", filter->limit);
      ShowBalloon(edit, text, 64);
      return 0;
    }
  }
  return CallWindowProcW(previous, edit, message, wParam, lParam);
}

}  // namespace

void AttachUsernameFilter(HWND edit) {
  CharFilter* filter =
      new CharFilter{kUsernameCharacters, 0, kUsernameRefusal, kUsernameLimit, nullptr};
  // A wide window procedure: one set with SetWindowLongPtrA would make the edit an ANSI window,
  // and every text passing through it would be cut down to the ANSI code page.
  SetWindowLongPtrW(edit, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(filter));
  filter->previous = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrW(edit, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(FilterProc)));
}

}  // namespace drovane
