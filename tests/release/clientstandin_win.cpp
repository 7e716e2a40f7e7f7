// clientstandin: holds what a running client holds, so the installer test can check that setup and
// uninstall refuse to replace or delete a client in use, and stays until its standard input closes.
//   clientstandin mutex    holds the single-instance mutex, as a client started without arguments
//   clientstandin window   shows a dialog titled like the client and holds no mutex, as a client
//                          started by the self-updater's relaunch or with "skipinitialselfupdate"
// Prints "ready" once it holds it. Exit code 0, 1 when it could not, 2 for a bad command line.
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "base/Version.h"
#include "base/WinHandles.h"

namespace {

// A dialog from an empty in-memory template, as the client builds its windows: class "#32770".
struct EmptyDialogTemplate {
  DLGTEMPLATE dialog;
  WORD menu;
  WORD windowClass;
  WORD title;
};

INT_PTR CALLBACK QuietDialogProc(HWND, UINT, WPARAM, LPARAM) {
  return FALSE;
}

HWND ShowClientTitledDialog() {
  alignas(DWORD) EmptyDialogTemplate blank = {};
  blank.dialog.style = WS_POPUP | WS_CAPTION | WS_SYSMENU;
  blank.dialog.cx = 100;
  blank.dialog.cy = 50;
  HWND dialog = CreateDialogIndirectParamA(GetModuleHandleA(nullptr), &blank.dialog, nullptr,
                                           QuietDialogProc, 0);
  if (dialog) SetWindowTextA(dialog, drovane::kClientName);
  return dialog;
}

// Blocks until the test closes the pipe (or ends).
void WaitForStandardInputToClose() {
  char buffer[64];
  DWORD read = 0;
  HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
  while (ReadFile(input, buffer, sizeof buffer, &read, nullptr) && read > 0) {
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2 || (std::strcmp(argv[1], "mutex") != 0 && std::strcmp(argv[1], "window") != 0)) {
    std::fprintf(stderr, "usage: clientstandin mutex|window\n");
    return 2;
  }
  drovane::KernelHandle mutex;
  HWND dialog = nullptr;
  if (std::strcmp(argv[1], "mutex") == 0) {
    mutex.reset(CreateMutexA(nullptr, FALSE, drovane::kClientName));
    if (!mutex.valid()) return 1;
  } else {
    dialog = ShowClientTitledDialog();
    if (!dialog) return 1;
  }
  std::printf("ready\n");
  std::fflush(stdout);
  WaitForStandardInputToClose();
  if (dialog) DestroyWindow(dialog);
  return 0;
}
