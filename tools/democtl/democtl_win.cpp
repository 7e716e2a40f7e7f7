// democtl answer BUTTON [SECONDS]   waits for a message box of the client, prints its text and
//                                   presses the button (yes, no, ok, cancel)
// democtl close [SECONDS]           waits for the client's main window and closes it (the client
//                                   then exits as when the player closes it)
// democtl dismiss TITLE [SECONDS]   waits for the client's dialog of that title and cancels it
// democtl wait-exit [SECONDS]       waits until no client window is left
// Exit code 0 on success, 1 when nothing appeared in time, 2 for a bad command line.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

constexpr char kCaption[] = "Drovane Client";
const char* const kDialogClass = MAKEINTATOM(0x8002);

int ButtonId(const char* name) {
  if (!_stricmp(name, "yes")) return IDYES;
  if (!_stricmp(name, "no")) return IDNO;
  if (!_stricmp(name, "ok")) return IDOK;
  if (!_stricmp(name, "cancel")) return IDCANCEL;
  return 0;
}

// The client's main window: of the two dialogs titled like the client, the one with an owner.
HWND MainWindow() {
  for (HWND window = FindWindowExA(nullptr, nullptr, kDialogClass, kCaption); window;
       window = FindWindowExA(nullptr, window, kDialogClass, kCaption)) {
    if (GetWindow(window, GW_OWNER)) return window;
  }
  return nullptr;
}

// A message box: a dialog with the client's caption and a static text control.
HWND MessageBoxWindow() {
  for (HWND window = FindWindowExA(nullptr, nullptr, kDialogClass, kCaption); window;
       window = FindWindowExA(nullptr, window, kDialogClass, kCaption)) {
    if (GetDlgItem(window, 0xFFFF)) return window;
  }
  return nullptr;
}

int Answer(int button, DWORD timeoutMs) {
  for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
    HWND box = MessageBoxWindow();
    HWND control = box ? GetDlgItem(box, button) : nullptr;
    if (control) {
      char text[2048] = {};
      GetDlgItemTextA(box, 0xFFFF, text, sizeof text);
      std::printf("democtl: the client asks: %s\ndemoctl: answered by the demo\n", text);
      std::fflush(stdout);
      PostMessageA(control, BM_CLICK, 0, 0);
      return 0;
    }
    Sleep(50);
  }
  std::printf("democtl: no message box appeared\n");
  return 1;
}

int CloseClient(DWORD timeoutMs) {
  for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
    if (HWND window = MainWindow()) {
      PostMessageA(window, WM_CLOSE, 0, 0);
      std::printf("democtl: closed the client's main window\n");
      return 0;
    }
    Sleep(50);
  }
  std::printf("democtl: the client's main window did not appear\n");
  return 1;
}

int Dismiss(const char* title, DWORD timeoutMs) {
  for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
    if (HWND dialog = FindWindowA(kDialogClass, title)) {
      PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
      std::printf("democtl: the client opened \"%s\"; closed it as a player would\n", title);
      return 0;
    }
    Sleep(50);
  }
  std::printf("democtl: no \"%s\" window appeared\n", title);
  return 1;
}

int WaitForExit(DWORD timeoutMs) {
  for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
    if (!FindWindowA(kDialogClass, kCaption)) return 0;
    Sleep(50);
  }
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string command = argv[1];
  const int argument = command == "answer" || command == "dismiss" ? 3 : 2;
  const DWORD timeoutMs =
      static_cast<DWORD>((argc > argument ? std::atoi(argv[argument]) : 30) * 1000);
  if (command == "answer" && argc >= 3 && ButtonId(argv[2]))
    return Answer(ButtonId(argv[2]), timeoutMs);
  if (command == "close") return CloseClient(timeoutMs);
  if (command == "dismiss" && argc >= 3) return Dismiss(argv[2], timeoutMs);
  if (command == "wait-exit") return WaitForExit(timeoutMs);
  std::fprintf(stderr,
               "usage: democtl answer yes|no|ok|cancel [SECONDS] | dismiss TITLE [SECONDS] | close "
               "[SECONDS] | wait-exit [SECONDS]\n");
  return 2;
}
