// Start-up and shutdown: the order in which the log, the command line and the settings are
// handled, the single-instance rule and the hand-over after a self-update.
#include "app/Application.h"

#include "app/DataFolderAccess.h"
#include "base/ClientMessageBox.h"
#include "base/DataFile.h"
#include "base/FileLog.h"
#include "base/FileSystem.h"
#include "base/Version.h"
#include "base/WideText.h"
#include "ui/ContainerForm.h"
#include "ui/Form.h"
#include "update/ClientReplacement.h"

namespace drovane {
namespace {

// The predefined dialog box class, given as its atom.
const char* const kDialogClass = MAKEINTATOM(0x8002);

constexpr int kTakeOverAttempts = 51;
constexpr DWORD kTakeOverPauseMs = 100;

void ShowSelfUpdateFailure() {
  ClientMessageBox(FindRunningClientWindow(),
                   "The Client failed to self-update.\r\nPlease restart it manually.",
                   MB_ICONERROR);
}

// Creates the named mutex; alreadyExisted tells whether another process holds the name.
KernelHandle CreateInstanceMutex(bool& alreadyExisted) {
  KernelHandle mutex(CreateMutexA(nullptr, FALSE, kClientName));
  alreadyExisted = GetLastError() == ERROR_ALREADY_EXISTS;
  return mutex;
}

}  // namespace

HWND FindRunningClientWindow() {
  // Two windows carry the client's title: the hidden host window and the main window it owns.
  // The player wants to see the main window, so an owned one is preferred.
  HWND found = nullptr;
  for (HWND window = FindWindowExA(nullptr, nullptr, kDialogClass, kClientName); window;
       window = FindWindowExA(nullptr, window, kDialogClass, kClientName)) {
    if (GetWindow(window, GW_OWNER)) return window;
    if (!found) found = window;
  }
  return found;
}

int Application::Run() {
  const std::string dataFolder = AppDataDir();
  DataFolderAccess dataAccess = DataFolderAccess::Failed;
  if (!dataFolder.empty() && CreateDirectoryTree(dataFolder)) {
    dataAccess = ShareDataFolder(dataFolder);
  }
  Log().SetLogFile(dataFolder + "log\\");
  if (HandleCommandLine()) return -1;
  if (!LoadSettingsAndUpgrade()) return -1;
  LogLine() << kClientName << " (" << kClientVersion << ") started.";
  if (dataAccess != DataFolderAccess::AlreadyShared) {
    LogLine() << DataFolderAccessText(dataAccess);
  }

  InstallFormHooks();
  LogLine() << "Creating `ContainerForm`.";
  hostWindow = new ContainerForm(this);
  // Returns only when the message loop inside the host window has ended.
  hostWindow->CreateModeless(nullptr);
  delete hostWindow;
  hostWindow = nullptr;
  LogLine() << "Deleted `ContainerForm`.";
  RemoveFormHooks();

  LogLine() << "Closing application.";
  return 0;
}

bool Application::TakeOverInstance() {
  // The previous client ends itself after starting this one; wait for it to let the name go.
  // A handle on the old client's mutex is let go before each new attempt: held, it would keep
  // the name alive after the old client has ended.
  bool alreadyExisted = true;
  for (int attempt = 0; attempt < kTakeOverAttempts && alreadyExisted; ++attempt) {
    Sleep(kTakeOverPauseMs);
    instanceMutex_.reset();
    instanceMutex_ = CreateInstanceMutex(alreadyExisted);
  }
  return !alreadyExisted;
}

bool Application::HandleCommandLine() {
  return HandleArguments(SplitCommandLine(Utf8(GetCommandLineW())));
}

bool Application::HandleArguments(const std::vector<std::string>& arguments) {
  const size_t count = arguments.empty() ? 0 : arguments.size() - 1;
  LogLine() << kClientName << " launched with " << count << " argument(s).";
  for (size_t i = 1; i <= count; ++i) {
    LogLine(LogLine::Plain) << "\t#" << i << ":\t" << arguments[i];
  }
  LogLine(LogLine::Plain);

  skipInitialSelfUpdate = false;
  if (count == 0) {
    bool alreadyExisted = false;
    KernelHandle mutex = CreateInstanceMutex(alreadyExisted);
    if (alreadyExisted) {
      if (HWND running = FindRunningClientWindow()) {
        SetForegroundWindow(running);
        ShowWindow(running, SW_SHOWNORMAL);
      }
      return true;
    }
    instanceMutex_ = std::move(mutex);
    return false;
  }

  const std::string& first = arguments[1];
  if (first == "skipinitialselfupdate") {
    skipInitialSelfUpdate = true;
    if (count >= 2) launchMode = LaunchModeFromArgument(arguments[2]);
    return false;
  }
  if (first == "selfupdate-install") {
    // The new client, started by the old one from beside it: it takes the executable's place
    // once the old one has ended, starts the client there and ends.
    const bool visible = count >= 2 && LaunchModeFromArgument(arguments[2]) == LaunchMode::Normal;
    std::string self, executable;
    if (!GetModulePath(self) || !ExecutableOfNewClient(self, executable)) {
      LogLine() << "Not a new client beside the executable: nothing to install.";
      return true;
    }
    const bool tookOver = TakeOverInstance();
    instanceMutex_.reset();  // the client started below takes the name
    if (!tookOver || !TakeExecutablePlace(self, executable, takeOverMove, kTakeOverAttempts,
                                          kTakeOverPauseMs)) {
      LogLine() << "The new client could not take the place of " << executable << ".";
      ShowSelfUpdateFailure();
      return true;
    }
    if (!startClient(executable, RestartParameters(self, visible))) {
      LogLine() << "The updated client could not be started.";
    }
    return true;
  }
  if (first == "selfupdate") {
    if (count >= 3) launchMode = LaunchModeFromArgument(arguments[3]);
    const bool tookOver = TakeOverInstance();
    // Only the old executable moved aside beside this one (by an earlier client's update), never
    // another path the command line names.
    std::string executable;
    if (count >= 2 && GetModulePath(executable) && IsRenamedAsideClient(arguments[2], executable) &&
        FileExists(arguments[2])) {
      DeleteFileW(Wide(arguments[2]).c_str());
    }
    if (!tookOver) {
      instanceMutex_.reset();
      ShowSelfUpdateFailure();
      return true;
    }
    return false;
  }
  return false;
}

}  // namespace drovane
