// democtl answer BUTTON [SECONDS]   waits for a message box of the client, prints its text and
//                                   presses the button (yes, no, ok, cancel)
// democtl close [SECONDS]           waits for the client's main window and closes it (the client
//                                   then exits as when the player closes it)
// democtl dismiss TITLE [SECONDS]   waits for the client's dialog of that title and cancels it
// democtl wait-exit [SECONDS]       waits until no client window is left
//
// For the end-to-end tests, which drive the client from outside its process:
// democtl login USER PASSWORD [auto-upload] [SECONDS]
//                                   waits for the Options dialog, enters the login (and ticks
//                                   "Automatically upload when WoW exits" when asked) and presses
//                                   OK
// democtl command ID [SECONDS]      posts WM_COMMAND ID to the client's main window
// democtl pane [SECONDS]            prints the main window's log pane
// democtl wait-pane TEXT [SECONDS]  waits until the log pane holds TEXT (any language), then
//                                   prints the pane
// democtl lists [SECONDS]           prints the rows of both lists, tab-separated, each row after
//                                   "cache" or "account"
// democtl press TITLE BUTTON [SECONDS]
//                                   waits for a client dialog of that title with a button of that
//                                   text and presses it
// democtl wait-gone TITLE [SECONDS] waits until no client dialog of that title is left
// democtl foreground                prints the title and class of the foreground window
// democtl kill [SECONDS]            ends every process that holds a client window (by its id)
// democtl codepage                  prints the ANSI code page Windows programs get here (GetACP)
// Texts read from the client are printed as UTF-8, whatever the code page.
// Exit code 0 on success, 1 when nothing appeared in time, 2 for a bad command line.
#include <windows.h>
#include <commctrl.h>
#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr char kCaption[] = "Drovane Client";
const char* const kDialogClass = MAKEINTATOM(0x8002);

// Window texts are read with the wide functions: the "A" ones would turn every letter outside the
// system code page into '?', and the tests compare names in any language.
std::string Utf8(const wchar_t* text, size_t length) {
  if (length == 0) return std::string();
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), nullptr, 0,
                                       nullptr, nullptr);
  std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) {
    WideCharToMultiByte(CP_UTF8, 0, text, static_cast<int>(length), &out[0], size, nullptr,
                        nullptr);
  }
  return out;
}

std::string Utf8(const wchar_t* text) { return Utf8(text, wcslen(text)); }

// The command line as UTF-8 (argv holds it in the code page), so a text to wait for may be in any
// language.
std::vector<std::string> Utf8Arguments() {
  std::vector<std::string> args;
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) return args;
  for (int i = 0; i < count; ++i) args.push_back(Utf8(wide[i]));
  LocalFree(wide);
  return args;
}

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
      wchar_t text[2048] = {};
      GetDlgItemTextW(box, 0xFFFF, text, ARRAYSIZE(text));
      std::printf("democtl: the client asks: %s\ndemoctl: answered by the demo\n",
                  Utf8(text).c_str());
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

// The main window proper: a client dialog that holds the account list (id 901). Message boxes
// and the host window share its caption, so the caption alone does not tell them apart.
constexpr int kAccountListId = 901;
constexpr UINT kSendTimeoutMs = 5000;

HWND MainFormWindow() {
  for (HWND window = FindWindowExA(nullptr, nullptr, kDialogClass, kCaption); window;
       window = FindWindowExA(nullptr, window, kDialogClass, kCaption)) {
    if (GetDlgItem(window, kAccountListId)) return window;
  }
  return nullptr;
}

HWND WaitForMainForm(DWORD timeoutMs) {
  for (DWORD waited = 0;; waited += 50) {
    if (HWND window = MainFormWindow()) return window;
    if (waited >= timeoutMs) return nullptr;
    Sleep(50);
  }
}

// The n-th child of a class, in the order the window made them.
HWND NthChild(HWND parent, const char* className, int n) {
  HWND child = nullptr;
  for (int i = 0; i <= n; ++i) {
    child = FindWindowExA(parent, child, className, nullptr);
    if (!child) return nullptr;
  }
  return child;
}

// Text of another process's control; the send is bounded so that a busy client cannot hold us.
bool ControlText(HWND control, std::string& text) {
  DWORD_PTR length = 0;
  if (!SendMessageTimeoutW(control, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                           &length)) {
    return false;
  }
  std::vector<wchar_t> buffer(length + 1);
  DWORD_PTR copied = 0;
  if (!SendMessageTimeoutW(control, WM_GETTEXT, buffer.size(),
                           reinterpret_cast<LPARAM>(buffer.data()), SMTO_ABORTIFHUNG,
                           kSendTimeoutMs, &copied)) {
    return false;
  }
  text = Utf8(buffer.data(), copied < buffer.size() ? copied : buffer.size() - 1);
  return true;
}

bool SetControlText(HWND control, const char* text) {
  DWORD_PTR result = 0;
  return SendMessageTimeoutA(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text),
                             SMTO_ABORTIFHUNG, kSendTimeoutMs, &result) != 0;
}

void PrintLines(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c != '\r') out += c;
  }
  std::printf("%s\n", out.c_str());
  std::fflush(stdout);
}

int Login(const char* user, const char* password, bool autoUpload, DWORD timeoutMs) {
  for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
    HWND dialog = FindWindowA(kDialogClass, "Options");
    // The title comes before the controls: wait for the OK button, the last one but one.
    HWND ok = dialog ? FindWindowExA(dialog, nullptr, "Button", "OK") : nullptr;
    HWND userEdit = dialog ? NthChild(dialog, "Edit", 0) : nullptr;
    HWND passwordEdit = dialog ? NthChild(dialog, "Edit", 1) : nullptr;
    if (ok && userEdit && passwordEdit) {
      DWORD_PTR result = 0;
      // With a stored password the edit shows a hint without the password character; the
      // character says that the text is a password to store.
      SendMessageTimeoutA(passwordEdit, EM_SETPASSWORDCHAR, '*', 0, SMTO_ABORTIFHUNG,
                          kSendTimeoutMs, &result);
      if (!SetControlText(userEdit, user) || !SetControlText(passwordEdit, password)) break;
      if (autoUpload) {
        HWND check =
            FindWindowExA(dialog, nullptr, "Button", "Automatically upload when WoW exits");
        if (!check) break;
        SendMessageTimeoutA(check, BM_SETCHECK, BST_CHECKED, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                            &result);
      }
      PostMessageA(ok, BM_CLICK, 0, 0);
      std::printf("democtl: entered the login of %s%s and pressed OK\n", user,
                  autoUpload ? " with automatic uploads" : "");
      return 0;
    }
    Sleep(50);
  }
  std::printf("democtl: no Options dialog to log in with\n");
  return 1;
}

int PostCommand(int id, DWORD timeoutMs) {
  HWND window = WaitForMainForm(timeoutMs);
  if (!window) {
    std::printf("democtl: the client's main window did not appear\n");
    return 1;
  }
  PostMessageA(window, WM_COMMAND, static_cast<WPARAM>(id), 0);
  std::printf("democtl: sent command %d to the main window\n", id);
  return 0;
}

// The log pane is the main window's only edit control.
bool PaneText(HWND window, std::string& text) {
  HWND pane = FindWindowExA(window, nullptr, "Edit", nullptr);
  return pane && ControlText(pane, text);
}

int PrintPane(DWORD timeoutMs) {
  HWND window = WaitForMainForm(timeoutMs);
  std::string text;
  if (!window || !PaneText(window, text)) {
    std::printf("democtl: the client's log pane could not be read\n");
    return 1;
  }
  PrintLines(text);
  return 0;
}

int WaitForPane(const char* wanted, DWORD timeoutMs) {
  std::string text;
  for (DWORD waited = 0; waited < timeoutMs; waited += 100) {
    HWND window = MainFormWindow();
    if (window && PaneText(window, text) && text.find(wanted) != std::string::npos) {
      PrintLines(text);
      return 0;
    }
    Sleep(100);
  }
  std::printf("democtl: the log pane did not show \"%s\"; it holds:\n", wanted);
  PrintLines(text);
  return 1;
}

// Memory inside the client's process for the list view's answers: a list view writes item
// texts only into its own process.
class RemoteBuffer {
 public:
  RemoteBuffer(HANDLE process, size_t size)
      : process_(process),
        address_(VirtualAllocEx(process, nullptr, size, MEM_COMMIT, PAGE_READWRITE)) {}
  ~RemoteBuffer() {
    if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
  }
  RemoteBuffer(const RemoteBuffer&) = delete;
  RemoteBuffer& operator=(const RemoteBuffer&) = delete;
  char* address() const { return static_cast<char*>(address_); }

 private:
  HANDLE process_;
  void* address_;
};

struct ProcessHandle {
  HANDLE handle;
  explicit ProcessHandle(HANDLE h) : handle(h) {}
  ~ProcessHandle() {
    if (handle) CloseHandle(handle);
  }
  ProcessHandle(const ProcessHandle&) = delete;
  ProcessHandle& operator=(const ProcessHandle&) = delete;
};

constexpr int kTextCapacity = 1024;  // characters

bool PrintListRows(HWND list, const char* label, HANDLE process) {
  DWORD_PTR rows = 0, columns = 0;
  HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  if (!SendMessageTimeoutW(list, LVM_GETITEMCOUNT, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs, &rows) ||
      !header ||
      !SendMessageTimeoutW(header, HDM_GETITEMCOUNT, 0, 0, SMTO_ABORTIFHUNG, kSendTimeoutMs,
                           &columns)) {
    return false;
  }
  RemoteBuffer remote(process, sizeof(LVITEMW) + kTextCapacity * sizeof(wchar_t));
  if (!remote.address()) return false;
  for (DWORD_PTR row = 0; row < rows; ++row) {
    std::string line = label;
    for (DWORD_PTR column = 0; column < columns; ++column) {
      LVITEMW item = {};
      item.mask = LVIF_TEXT;
      item.iItem = static_cast<int>(row);
      item.iSubItem = static_cast<int>(column);
      item.pszText = reinterpret_cast<wchar_t*>(remote.address() + sizeof(LVITEMW));
      item.cchTextMax = kTextCapacity;
      wchar_t text[kTextCapacity] = {};
      DWORD_PTR length = 0;
      SIZE_T moved = 0;
      if (!WriteProcessMemory(process, remote.address(), &item, sizeof item, &moved) ||
          !SendMessageTimeoutW(list, LVM_GETITEMTEXTW, row,
                               reinterpret_cast<LPARAM>(remote.address()), SMTO_ABORTIFHUNG,
                               kSendTimeoutMs, &length) ||
          !ReadProcessMemory(process, item.pszText, text, sizeof text - sizeof(wchar_t),
                             &moved)) {
        return false;
      }
      line += '\t';
      line += Utf8(text);
    }
    std::printf("%s\n", line.c_str());
  }
  std::fflush(stdout);
  return true;
}

int PrintLists(DWORD timeoutMs) {
  HWND window = WaitForMainForm(timeoutMs);
  if (!window) {
    std::printf("democtl: the client's main window did not appear\n");
    return 1;
  }
  DWORD processId = 0;
  GetWindowThreadProcessId(window, &processId);
  ProcessHandle process(OpenProcess(
      PROCESS_VM_OPERATION | PROCESS_VM_READ | PROCESS_VM_WRITE | PROCESS_QUERY_INFORMATION, FALSE,
      processId));
  HWND accounts = GetDlgItem(window, kAccountListId);
  HWND cache = nullptr;
  for (HWND list = FindWindowExA(window, nullptr, "SysListView32", nullptr); list;
       list = FindWindowExA(window, list, "SysListView32", nullptr)) {
    if (list != accounts) cache = list;
  }
  if (!process.handle || !cache || !accounts || !PrintListRows(cache, "cache", process.handle) ||
      !PrintListRows(accounts, "account", process.handle)) {
    std::printf("democtl: the client's lists could not be read\n");
    return 1;
  }
  return 0;
}

int Press(const char* title, const char* button, DWORD timeoutMs) {
  for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
    for (HWND dialog = FindWindowExA(nullptr, nullptr, kDialogClass, title); dialog;
         dialog = FindWindowExA(nullptr, dialog, kDialogClass, title)) {
      HWND control = FindWindowExA(dialog, nullptr, "Button", button);
      if (control && IsWindowVisible(control)) {
        PostMessageA(control, BM_CLICK, 0, 0);
        std::printf("democtl: pressed \"%s\" in \"%s\"\n", button, title);
        return 0;
      }
    }
    Sleep(50);
  }
  std::printf("democtl: no \"%s\" button in a \"%s\" window\n", button, title);
  return 1;
}

int WaitUntilGone(const char* title, DWORD timeoutMs) {
  for (DWORD waited = 0; waited < timeoutMs; waited += 50) {
    if (!FindWindowA(kDialogClass, title)) {
      std::printf("democtl: no \"%s\" window is left\n", title);
      return 0;
    }
    Sleep(50);
  }
  std::printf("democtl: the \"%s\" window is still there\n", title);
  return 1;
}

int PrintForeground() {
  HWND window = GetForegroundWindow();
  wchar_t title[256] = {}, className[256] = {};
  if (window) {
    GetWindowTextW(window, title, ARRAYSIZE(title));
    GetClassNameW(window, className, ARRAYSIZE(className));
  }
  std::printf("%s\t%s\n", Utf8(title).c_str(), Utf8(className).c_str());
  return window ? 0 : 1;
}

// What the "A" functions of a Windows program started with the same environment convert with:
// Wine takes it from the Unix locale.
int PrintCodePage() {
  std::printf("%u\n", GetACP());
  return 0;
}

// Every process that owns a window of the client's caption or of its own dialogs, ended by its
// id: a test's clean-up, for clients that a test did not start itself (restarted by an update).
int KillClients(DWORD timeoutMs) {
  const char* const titles[] = {kCaption, "Drovane Uploader", "Drovane Update", "Options"};
  std::set<DWORD> ended;
  for (DWORD waited = 0;; waited += 100) {
    std::set<DWORD> found;
    for (const char* title : titles) {
      for (HWND window = FindWindowExA(nullptr, nullptr, kDialogClass, title); window;
           window = FindWindowExA(nullptr, window, kDialogClass, title)) {
        DWORD processId = 0;
        GetWindowThreadProcessId(window, &processId);
        if (processId && processId != GetCurrentProcessId()) found.insert(processId);
      }
    }
    if (found.empty()) break;
    for (DWORD processId : found) {
      ProcessHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, processId));
      if (!process.handle) continue;
      TerminateProcess(process.handle, 1);
      WaitForSingleObject(process.handle, 5000);
      ended.insert(processId);
    }
    if (waited >= timeoutMs) {
      std::printf("democtl: client windows are still there\n");
      return 1;
    }
    Sleep(100);
  }
  std::printf("democtl: ended %u client process(es)\n", static_cast<unsigned>(ended.size()));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string command = argv[1];
  // Where the optional SECONDS argument stands.
  int argument = 2;
  if (command == "answer" || command == "dismiss" || command == "command" ||
      command == "wait-pane" || command == "wait-gone") {
    argument = 3;
  } else if (command == "press") {
    argument = 4;
  } else if (command == "login") {
    argument = argc > 4 && !std::strcmp(argv[4], "auto-upload") ? 5 : 4;
  }
  const DWORD timeoutMs =
      static_cast<DWORD>((argc > argument ? std::atoi(argv[argument]) : 30) * 1000);
  if (command == "answer" && argc >= 3 && ButtonId(argv[2]))
    return Answer(ButtonId(argv[2]), timeoutMs);
  if (command == "close") return CloseClient(timeoutMs);
  if (command == "dismiss" && argc >= 3) return Dismiss(argv[2], timeoutMs);
  if (command == "wait-exit") return WaitForExit(timeoutMs);
  if (command == "login" && argc >= 4) return Login(argv[2], argv[3], argument == 5, timeoutMs);
  if (command == "command" && argc >= 3 && std::atoi(argv[2]) > 0)
    return PostCommand(std::atoi(argv[2]), timeoutMs);
  if (command == "pane") return PrintPane(timeoutMs);
  if (command == "wait-pane" && argc >= 3) {
    const std::vector<std::string> args = Utf8Arguments();
    return WaitForPane(args.size() > 2 ? args[2].c_str() : argv[2], timeoutMs);
  }
  if (command == "lists") return PrintLists(timeoutMs);
  if (command == "press" && argc >= 4) return Press(argv[2], argv[3], timeoutMs);
  if (command == "wait-gone" && argc >= 3) return WaitUntilGone(argv[2], timeoutMs);
  if (command == "foreground") return PrintForeground();
  if (command == "kill") return KillClients(timeoutMs);
  if (command == "codepage") return PrintCodePage();
  std::fprintf(stderr,
               "usage: democtl answer yes|no|ok|cancel [SECONDS] | dismiss TITLE [SECONDS] | close "
               "[SECONDS] | wait-exit [SECONDS]\n"
               "       democtl login USER PASSWORD [auto-upload] [SECONDS] | command ID [SECONDS] "
               "| pane [SECONDS] | wait-pane TEXT [SECONDS] | lists [SECONDS] | press TITLE BUTTON "
               "[SECONDS] | wait-gone TITLE "
               "[SECONDS] | foreground | kill [SECONDS] | codepage\n");
  return 2;
}
