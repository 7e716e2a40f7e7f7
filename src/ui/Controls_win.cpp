#include "ui/Controls.h"

#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include "base/WideText.h"
#include "ui/Form.h"

namespace drovane {

void FrameProgressWindow(Form& form, const char* title) {
  form.SetAppIcons();
  SetControlText(form.hwnd, title);
  form.SetClientSize(320, 88);
  form.SetWindowStyles(WS_CAPTION | WS_SYSMENU, -1);
  INITCOMMONCONTROLSEX common = {};
  common.dwSize = sizeof common;
  common.dwICC = ICC_PROGRESS_CLASS;
  InitCommonControlsEx(&common);
}

void ApplyDefaultFont(const HWND* controls, int count) {
  HGDIOBJ font = GetStockObject(DEFAULT_GUI_FONT);
  for (int i = 0; i < count; ++i) {
    SendMessageA(controls[i], WM_SETFONT, reinterpret_cast<WPARAM>(font), 0);
  }
}

void OpenWithShell(const std::string& target) {
  ShellExecuteW(nullptr, L"open", Wide(target).c_str(), nullptr, nullptr, SW_SHOWNORMAL);
}

bool Utf8ToWide(const char* text, std::unique_ptr<wchar_t[]>& out) {
  out.reset();
  if (!text || !*text) return false;
  const int length = static_cast<int>(strlen(text)) + 1;
  const int needed = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, length, nullptr, 0);
  if (needed <= 0) return false;
  std::unique_ptr<wchar_t[]> wide(new wchar_t[needed]);
  if (MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, length, wide.get(), needed) !=
      needed) {
    return false;
  }
  out = std::move(wide);
  return true;
}

std::wstring Utf8ToWideString(const std::string& text) {
  std::unique_ptr<wchar_t[]> wide;
  return Utf8ToWide(text.c_str(), wide) ? std::wstring(wide.get()) : std::wstring();
}

HWND AttachAccountHintTip(HWND control) {
  HWND tip = CreateWindowExA(WS_EX_TOPMOST, TOOLTIPS_CLASSA, nullptr,
                             WS_POPUP | TTS_NOPREFIX | TTS_ALWAYSTIP | TTS_BALLOON, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, control, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
  if (!tip) return nullptr;
  static char text[] =
      "Enter your Drovane user information, not your World of Warcraft user information. You "
      "should never give your WoW account information to anyone, including us. :)";
  TOOLINFOA tool = {};
  tool.cbSize = TTTOOLINFOA_V2_SIZE;
  tool.uFlags = TTF_SUBCLASS;
  tool.hwnd = control;
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  GetClientRect(control, &tool.rect);
  tool.hinst = GetModuleHandleA(nullptr);
  tool.lpszText = text;
  SendMessageA(tip, TTM_ADDTOOLA, 0, reinterpret_cast<LPARAM>(&tool));
  SendMessageA(tip, TTM_SETMAXTIPWIDTH, 0, 300);
  return tip;
}

HWND CreateControl(HWND parent, HINSTANCE instance, const char* className, const char* text,
                   DWORD style, DWORD extendedStyle, int x, int y, int width, int height, int id) {
  // An edit created by CreateWindowExA keeps its text in the ANSI code page, whatever it is
  // later given.
  const std::wstring wideText = text ? Wide(text) : std::wstring();
  return CreateWindowExW(extendedStyle, Wide(className).c_str(), text ? wideText.c_str() : nullptr,
                         WS_CHILD | WS_VISIBLE | style, x, y, width, height, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
}

void SetControlText(HWND window, const std::string& text) {
  SetWindowTextW(window, Wide(text).c_str());
}

std::string ControlText(HWND window) {
  const int length = GetWindowTextLengthW(window);
  if (length <= 0) return std::string();
  std::wstring text(static_cast<size_t>(length) + 1, L'\0');
  const int copied = GetWindowTextW(window, &text[0], length + 1);
  return Utf8(text.data(), copied > 0 ? static_cast<size_t>(copied) : 0);
}

}  // namespace drovane
