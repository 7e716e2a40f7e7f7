#include "ui/Form.h"

#include <memory>

namespace drovane {
namespace {

// The dialog template: every field zero, so no style, no controls, no title and no size.
constexpr SIZE_T kEmptyTemplateSize = 64;

HHOOK g_callWindowHook = nullptr;
HHOOK g_messageFilterHook = nullptr;

// Owns the zero-filled template block for the duration of a creation call.
class EmptyDialogTemplate {
 public:
  EmptyDialogTemplate() : memory_(GlobalAlloc(GMEM_ZEROINIT, kEmptyTemplateSize)) {
    if (memory_) locked_ = static_cast<DLGTEMPLATE*>(GlobalLock(memory_));
  }
  ~EmptyDialogTemplate() {
    if (locked_) GlobalUnlock(memory_);
    if (memory_) GlobalFree(memory_);
  }
  EmptyDialogTemplate(const EmptyDialogTemplate&) = delete;
  EmptyDialogTemplate& operator=(const EmptyDialogTemplate&) = delete;
  const DLGTEMPLATE* get() const { return locked_; }

 private:
  HGLOBAL memory_;
  DLGTEMPLATE* locked_ = nullptr;
};

HWND TopWindowOf(HWND window) {
  for (HWND up = GetParent(window); up; up = GetParent(up)) window = up;
  return window;
}

Form* FormOf(HWND window) {
  return reinterpret_cast<Form*>(GetWindowLongPtrA(window, GWLP_USERDATA));
}

LRESULT CALLBACK CallWindowHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == HC_ACTION) {
    const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lParam);
    const HWND top = TopWindowOf(call->hwnd);
    Form* form = FormOf(top);
    if (form && form->hwnd == top) {
      form->OnChildMessage(call->hwnd, call->message, call->wParam, call->lParam);
    }
  }
  return CallNextHookEx(g_callWindowHook, code, wParam, lParam);
}

LRESULT CALLBACK MessageFilterHook(int code, WPARAM wParam, LPARAM lParam) {
  if (code == MSGF_DIALOGBOX) {
    const MSG* message = reinterpret_cast<const MSG*>(lParam);
    const HWND top = TopWindowOf(message->hwnd);
    Form* form = FormOf(top);
    // Only a window that holds a form object: checked by the form's tag, as any window of the
    // thread may pass through a dialog loop.
    if (form && form->hwnd == top && form->formTag == Form::kFormTag) {
      form->OnChildMessage(message->hwnd, message->message, message->wParam, message->lParam);
    }
  }
  return CallNextHookEx(g_messageFilterHook, code, wParam, lParam);
}

}  // namespace

Form::Form() : instance(GetModuleHandleA(nullptr)) {}

Form::~Form() {
  Close(0);
}

void Form::OnChildMessage(HWND, UINT, WPARAM, LPARAM) {}

INT_PTR Form::HandleMessage(UINT, WPARAM, LPARAM) {
  return 0;
}

bool Form::CreateModeless(HWND owner) {
  if (hwnd) return false;
  isModal = false;
  EmptyDialogTemplate dialog;
  if (!dialog.get()) return false;
  parent = owner;
  HWND created = CreateDialogIndirectParamA(instance, dialog.get(), owner, FormDialogProc,
                                            reinterpret_cast<LPARAM>(this));
  // The build step may have closed the window already; a handle of a destroyed window is not kept.
  hwnd = created && IsWindow(created) ? created : nullptr;
  return hwnd != nullptr;
}

int Form::RunModal(HWND owner) {
  if (hwnd) return -1;
  isModal = true;
  EmptyDialogTemplate dialog;
  if (!dialog.get()) return -1;
  parent = owner;
  const INT_PTR result = DialogBoxIndirectParamA(instance, dialog.get(), owner, FormDialogProc,
                                                 reinterpret_cast<LPARAM>(this));
  hwnd = nullptr;
  return static_cast<int>(result);
}

void Form::Close(int result) {
  if (!hwnd) return;
  HWND window = hwnd;
  hwnd = nullptr;
  if (isModal) {
    EndDialog(window, result);
  } else {
    DestroyWindow(window);
  }
}

void Form::BringToFront() {
  SetForegroundWindow(hwnd);
  ShowWindow(hwnd, SW_SHOWNORMAL);
}

void Form::SetAppIcons() {
  HICON large = LoadIconA(instance, MAKEINTRESOURCEA(101));
  HICON small = static_cast<HICON>(
      LoadImageA(instance, MAKEINTRESOURCEA(101), IMAGE_ICON, 16, 16, LR_DEFAULTCOLOR));
  SendMessageA(hwnd, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(large));
  SendMessageA(hwnd, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
}

void Form::SetClientSize(int width, int height) {
  RECT rect = {0, 0, width, height};
  AdjustWindowRectEx(&rect, static_cast<DWORD>(GetWindowLongA(hwnd, GWL_STYLE)),
                     GetMenu(hwnd) != nullptr,
                     static_cast<DWORD>(GetWindowLongA(hwnd, GWL_EXSTYLE)));
  SetWindowPos(hwnd, nullptr, 0, 0, rect.right - rect.left, rect.bottom - rect.top,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void Form::SetWindowStyles(LONG style, LONG extendedStyle) {
  RECT client = {};
  GetClientRect(hwnd, &client);
  if (style != -1) SetWindowLongA(hwnd, GWL_STYLE, style);
  if (extendedStyle != -1) SetWindowLongA(hwnd, GWL_EXSTYLE, extendedStyle);
  SetClientSize(client.right - client.left, client.bottom - client.top);
}

void Form::CenterOver(HWND reference) {
  RECT form = {};
  GetWindowRect(hwnd, &form);
  RECT target = {};
  if (reference && !IsIconic(reference)) {
    GetWindowRect(reference, &target);
  } else {
    MONITORINFO monitor = {};
    monitor.cbSize = sizeof monitor;
    GetMonitorInfoA(MonitorFromRect(&form, MONITOR_DEFAULTTONEAREST), &monitor);
    target = monitor.rcMonitor;
  }
  const int x = target.left + (target.right - target.left) / 2 - (form.right - form.left) / 2;
  const int y = target.top + (target.bottom - target.top) / 2 - (form.bottom - form.top) / 2;
  SetWindowPos(hwnd, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

INT_PTR CALLBACK Form::FormDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    Form* form = reinterpret_cast<Form*>(lParam);
    SetWindowLongPtrA(window, GWLP_USERDATA, lParam);
    form->hwnd = window;
    form->HandleMessage(message, wParam, lParam);
    return 0;
  }
  Form* form = FormOf(window);
  if (!form) return 0;
  const INT_PTR result = form->HandleMessage(message, wParam, lParam);
  // Once the window is gone, its user data no longer names a living form.
  if (message == WM_NCDESTROY) SetWindowLongPtrA(window, GWLP_USERDATA, 0);
  return result;
}

void InstallFormHooks() {
  const DWORD thread = GetCurrentThreadId();
  if (!g_callWindowHook) {
    g_callWindowHook = SetWindowsHookExA(WH_CALLWNDPROC, CallWindowHook, nullptr, thread);
  }
  if (!g_messageFilterHook) {
    g_messageFilterHook = SetWindowsHookExA(WH_MSGFILTER, MessageFilterHook, nullptr, thread);
  }
}

void RemoveFormHooks() {
  if (g_callWindowHook) UnhookWindowsHookEx(g_callWindowHook);
  g_callWindowHook = nullptr;
  if (g_messageFilterHook) UnhookWindowsHookEx(g_messageFilterHook);
  g_messageFilterHook = nullptr;
}

bool FormHooksInstalled() {
  return g_callWindowHook && g_messageFilterHook;
}

}  // namespace drovane
