// updateprobe: a stand-in of the client for the self-update tests. A test copies it to a folder
// of its own, publishes a different build of it and runs it; it then goes through what the client
// does around a self-update:
//   - start-up with the client's command-line handling (the single-instance mutex, the
//     "selfupdate-install" of a new client written beside the executable, which takes its place,
//     and the "selfupdate" take-over of the client started there);
//   - one SelfUpdate run to its end, its messages pumped on a window of its own;
//   - the start of the new client when the run downloaded one.
// Every step is appended, one line each and prefixed with the process id, to
// "updateprobe-report.txt" beside the executable, so a test can follow the processes.
//
// Environment:
//   DROVANE_SERVICE_URL        the service (as for the client)
//   UPDATEPROBE_LIVE           the Live game folder (none when unset)
//   UPDATEPROBE_VISIBLE=1      show a main window, so the restart is "normal"
//   UPDATEPROBE_FAIL_MOVE=1    the new client's renames over the executable all fail
//   UPDATEPROBE_KILL_AT=STEP   the process is killed at a step of the swap: "written" (the new
//                              client is written beside the executable, not yet started),
//                              "before-rename" or "after-rename" (of the new client over the
//                              executable)
// Exit code: 0 when the run finished, 3 when it ended otherwise, -1 when start-up ended it.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "app/Application.h"
#include "base/CommandLine.h"
#include "base/DataFile.h"
#include "base/FileLog.h"
#include "base/FileSystem.h"
#include "update/SelfUpdate.h"

namespace {

using namespace drovane;

constexpr unsigned kRunLimitMs = 60000;

std::string g_folder;

void Report(const std::string& line) {
  DataFile file;
  if (!file.Open(g_folder + "\\updateprobe-report.txt", FileMode::Append)) return;
  file.Write(std::to_string(GetCurrentProcessId()) + ": " + line + "\n");
}

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

bool g_failMoves = false;
std::string g_killAt;
void KillAtStep(const std::string& step) {
  if (step != g_killAt) return;
  Report("killed at step " + step);
  TerminateProcess(GetCurrentProcess(), 9);
}

BOOL WINAPI ProbeMove(LPCSTR existing, LPCSTR target) {
  KillAtStep("before-rename");
  if (g_failMoves) {
    Report("rename refused");
    SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
  }
  const BOOL moved = RenameReplacing(existing, target);
  if (moved) KillAtStep("after-rename");
  return moved;
}

bool ProbeStart(const std::string& program, const std::string& parameters) {
  KillAtStep("written");
  return StartProgram(program, parameters);
}

LRESULT CALLBACK ProbeWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message >= kFirstUpdateMessage && message <= kLastUpdateMessage) {
    std::string line = "message " + std::to_string(message) + " " + std::to_string(wParam);
    if (CarriesUpdateText(message)) line += " " + TakeUpdateText(lParam);
    Report(line);
    if (IsUpdateRunEnd(message)) PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateProbeWindow(bool messageOnly) {
  WNDCLASSA windowClass = {};
  windowClass.lpfnWndProc = ProbeWindowProc;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = "DrovaneUpdateProbe";
  RegisterClassA(&windowClass);
  if (messageOnly) {
    return CreateWindowExA(0, windowClass.lpszClassName, "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                           windowClass.hInstance, nullptr);
  }
  return CreateWindowExA(0, windowClass.lpszClassName, "updateprobe",
                         WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0, 200, 100, nullptr, nullptr,
                         windowClass.hInstance, nullptr);
}

// Pumps until the run's last message or the limit.
bool PumpUntilEnd() {
  const ULONGLONG deadline = GetTickCount64() + kRunLimitMs;
  for (;;) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) return true;
      DispatchMessageA(&message);
    }
    const ULONGLONG now = GetTickCount64();
    if (now >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(deadline - now), QS_ALLINPUT);
  }
}

int RunProbe() {
  std::string executable;
  GetModulePath(executable);
  g_folder = executable.substr(0, executable.find_last_of('\\'));
  Log().SetLogFile(g_folder + "\\updateprobe.log");

  const std::vector<std::string> arguments = SplitCommandLine(GetCommandLineA());
  std::string line = "start";
  for (size_t i = 1; i < arguments.size(); ++i) line += " " + arguments[i];
  Report(line);

  g_failMoves = Environment("UPDATEPROBE_FAIL_MOVE") == "1";
  g_killAt = Environment("UPDATEPROBE_KILL_AT");
  Application application;
  application.takeOverMove = ProbeMove;
  if (application.HandleArguments(arguments)) {
    Report("end start-up");
    return -1;
  }
  if (arguments.size() >= 3 && arguments[1] == "selfupdate") {
    Report("took over mode=" + std::to_string(static_cast<int>(application.launchMode)) +
           " old file " + (FileExists(arguments[2]) ? "present" : "gone"));
  }
  application.gameFolders[Live] = Environment("UPDATEPROBE_LIVE");

  const HWND window = CreateProbeWindow(true);
  const HWND mainWindow =
      Environment("UPDATEPROBE_VISIBLE") == "1" ? CreateProbeWindow(false) : nullptr;
  int exitCode = 3;
  {
    SelfUpdate update(&application);
    update.window = window;
    update.mainWindow = mainWindow;
    update.startClient = ProbeStart;
    update.beforeRestart = [] { Report("restarting"); };
    if (!update.Start()) {
      Report("end not started");
      return 3;
    }
    if (!PumpUntilEnd()) Report("run did not end");
    Report("end phase=" + std::to_string(static_cast<int>(update.phase.load())));
    if (update.phase == UpdatePhase::Finished) exitCode = 0;
  }
  if (mainWindow) DestroyWindow(mainWindow);
  DestroyWindow(window);
  return exitCode;
}

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  return RunProbe();
}
