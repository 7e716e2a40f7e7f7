#pragma once
// Where a window or control is, as the window tests compare it with the layout.
#include <windows.h>

namespace drovane::test {

// A control's rectangle in its parent's client coordinates.
inline RECT ClientRectOf(HWND control) {
  RECT rect = {};
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, GetParent(control), reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

inline SIZE ClientSize(HWND window) {
  RECT rect = {};
  GetClientRect(window, &rect);
  return {rect.right - rect.left, rect.bottom - rect.top};
}

}  // namespace drovane::test
