#pragma once
// The base of every window of the client: a Win32 dialog created from an empty in-memory template
// and filled in code when it receives WM_INITDIALOG. The base links the window to its object, runs
// it modeless or modal, and offers the geometry and appearance steps all windows share.
#include <windows.h>

#include <string>

namespace drovane {

class Form {
 public:
  Form();
  virtual ~Form();
  Form(const Form&) = delete;
  Form& operator=(const Form&) = delete;

  // Called by the thread hooks for messages of any window whose top window is this form's.
  virtual void OnChildMessage(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  // The form's dialog procedure; non-zero means handled.
  virtual INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam);

  // False when the form already has a window or the window could not be created. The whole
  // WM_INITDIALOG work runs inside this call; the window stays hidden until shown.
  bool CreateModeless(HWND owner);
  // Runs the form's own modal loop, the owner disabled meanwhile; returns the result given to
  // Close, or -1 when the form already has a window or none could be created.
  int RunModal(HWND owner);
  // Ends a modal form with the result, destroys a modeless one; nothing without a window.
  void Close(int result);

  void BringToFront();
  void SetAppIcons();
  void SetClientSize(int width, int height);
  // -1 leaves that style alone; the client area keeps its size under the new frame.
  void SetWindowStyles(LONG style, LONG extendedStyle);
  // Centres on the reference window, or on the whole monitor when it is null or minimized.
  void CenterOver(HWND reference);

  HWND hwnd = nullptr;
  HWND parent = nullptr;
  HINSTANCE instance;
  bool isModal = false;
  int mode = 0;
  static constexpr int kFormTag = 23;
  int formTag = kFormTag;

 private:
  static INT_PTR CALLBACK FormDialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
};

// The two thread hooks that show a form the messages of its child controls.
void InstallFormHooks();
void RemoveFormHooks();
bool FormHooksInstalled();

}  // namespace drovane
