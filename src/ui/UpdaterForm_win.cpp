// The updater window: its build step, the run's messages, and the modal run around it.
#include "ui/UpdaterForm.h"

#include <commctrl.h>

#include "base/ClientMessageBox.h"
#include "base/FileLog.h"
#include "base/TextHelpers.h"
#include "settings/Settings.h"
#include "ui/Controls.h"
#include "update/UpdaterProgress.h"

namespace drovane {
namespace {

constexpr char kTitle[] = "Drovane Update";
constexpr char kStartupCancelQuestion[] =
    "Cancelling the update will exit the application.\n\nAre you sure that you want to cancel?";
constexpr char kCancelQuestion[] = "Are you sure that you want to cancel the update?";

// The timer of a download phase; none once the run has finished.
UINT_PTR TimerOf(UpdatePhase phase) {
  return phase == UpdatePhase::Finished ? 0 : static_cast<UINT_PTR>(phase) + 1;
}

}  // namespace

UpdaterForm::UpdaterForm(Settings* settings) : settings(settings), updater(settings) {}

UpdaterForm::~UpdaterForm() = default;

bool UpdaterForm::Build() {
  FrameProgressWindow(*this, kTitle);
  statusText =
      CreateControl(hwnd, instance, "STATIC", "Connecting to Drovane...", 0, 0, 10, 10, 300, 16);
  progressText = CreateControl(hwnd, instance, "STATIC", "", 0, 0, 10, 51, 200, 16);
  progressBar = CreateControl(hwnd, instance, PROGRESS_CLASSA, "", 0, 0, 10, 29, 300, 16);
  retryButton = CreateControl(hwnd, instance, "BUTTON", "Retry", BS_PUSHBUTTON | WS_TABSTOP, 0, 152,
                              54, 75, 23, kUpdaterRetry);
  ShowWindow(retryButton, SW_HIDE);  // until a network failure
  cancelButton = CreateControl(hwnd, instance, "BUTTON", "Cancel", BS_PUSHBUTTON | WS_TABSTOP, 0,
                               235, 54, 75, 23, kUpdaterCancel);
  ApplyDefaultFont(&statusText, 5);
  CenterOver(parent);
  updater.window = hwnd;
  return updater.Start();
}

INT_PTR UpdaterForm::HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_INITDIALOG:
      if (!Build()) {
        ClientMessageBox(hwnd, "An error occurred while creating the window.", MB_ICONERROR);
        RequestClose(false);
      }
      return TRUE;
    case WM_COMMAND:
      switch (LOWORD(wParam)) {
        case IDCANCEL:
        case kUpdaterCancel:
          RequestClose(true);
          return TRUE;
        case kUpdaterRetry:
          ShowWindow(retryButton, SW_HIDE);
          updater.Start();
          return TRUE;
        default:
          return FALSE;
      }
    case WM_CLOSE:
      RequestClose(true);
      return TRUE;
    case WM_TIMER:
      if (wParam == kNetworkRetryTimer) {
        KillTimer(hwnd, kNetworkRetryTimer);
        updater.Start();
      } else if (wParam != 0) {
        RefreshProgress(static_cast<int>(wParam), &updater.httpClient);
      }
      return TRUE;
    default:
      return OnUpdateMessage(message, wParam, lParam) ? TRUE : FALSE;
  }
}

bool UpdaterForm::OnUpdateMessage(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case UPD_CHECKING:
      SetControlText(statusText, "Checking for updates...");
      SetBar(0);
      SetControlText(progressText, "");
      return true;
    case UPD_CLIENT:
      SetControlText(statusText, "Downloading the latest client version...");
      SetBar(0);
      SetControlText(progressText, "");
      return true;
    case UPD_FILE:
      SetControlText(statusText, TakeUpdateText(lParam));
      return true;
    case UPD_RECEIVING: {
      const UINT_PTR timer = TimerOf(updater.phase);
      if (timer && hwnd) SetTimer(hwnd, timer, kUpdaterTimerMs, nullptr);
      return true;
    }
    case UPD_TRANSFER_END: {
      const UINT_PTR timer = TimerOf(updater.phase);
      if (timer && hwnd) KillTimer(hwnd, timer);
      return true;
    }
    case UPD_ERROR: {
      const std::string error = TakeUpdateText(lParam);
      SetBar(0);
      if (wParam == 1 && WaitsForNetwork()) {
        SetControlText(statusText, "Waiting for the network...");
        SetTimer(hwnd, kNetworkRetryTimer, static_cast<UINT>(networkRetryPause.count()), nullptr);
        return true;
      }
      SetControlText(statusText, error);
      ShowWindow(retryButton, SW_SHOW);
      return true;
    }
    case UPD_CLIENT_NOT_INSTALLABLE:
      clientNotice = TakeUpdateText(lParam);
      return true;
    case UPD_LIST_UNTRUSTED: {
      const std::string reason = TakeUpdateText(lParam);
      if (mode == 1) {
        // At start-up the client goes on with the version it has; the reason is in the log.
        RequestClose(false);
      } else {
        SetBar(0);
        SetControlText(statusText, reason);
        SetControlText(cancelButton, "Close");
      }
      return true;
    }
    case UPD_RECEIVED:
      RefreshProgress(4, reinterpret_cast<const HttpClient*>(lParam), wParam);
      return true;
    case UPD_LIST_FAILED:
      ClientMessageBox(hwnd, "Could not process update list.\n\nPlease try again later.",
                       MB_ICONERROR);
      RequestClose(false);
      return true;
    case UPD_CLIENT_FAILED:
      ClientMessageBox(hwnd, "Could not update the client.\n\nPlease try again later.",
                       MB_ICONERROR);
      RequestClose(false);
      return true;
    case UPD_FILE_FAILED:
      ClientMessageBox(hwnd, "Could not update a file.\n\nPlease try again later.", MB_ICONERROR);
      RequestClose(false);
      return true;
    case UPD_FINISHED:
      SetControlText(progressText, "");
      SetBar(100);
      return true;
    case UPD_NO_UPDATES:
      if (mode == 1) {
        RequestClose(false);
      } else {
        // The files are current, but a newer client waits for its setup program.
        SetControlText(statusText,
                       clientNotice.empty() ? "No new updates" : "A newer client is available.");
        SetControlText(cancelButton, "Close");
        ShowClientNotice();
      }
      return true;
    case UPD_COMPLETE:
      SetControlText(statusText, UpdateCompleteText(static_cast<uint32_t>(wParam)));
      SetControlText(cancelButton, mode == 1 ? "Continue" : "Close");
      if (mode != 1) ShowClientNotice();
      return true;
    default:
      return false;
  }
}

void UpdaterForm::RequestClose(bool ask) {
  // A run that has ended (a refused list) has nothing left to cancel.
  if (ask && updater.phase != UpdatePhase::Finished && updater.refusal.empty()) {
    if (Ask(mode == 1 ? kStartupCancelQuestion : kCancelQuestion) == IDNO) return;
    cancelledByPlayer = true;
  }
  // The run may have closed the window while the question was open.
  if (!hwnd) return;
  LogLine(LogLine::Tab) << "Source: Updater closed";
  Close(static_cast<int>(updater.phase.load()));
}

bool UpdaterForm::WaitsForNetwork() {
  if (mode != 1 || networkWaitOver_) return false;
  const auto now = std::chrono::steady_clock::now();
  if (!waitedForNetwork_) {
    waitedForNetwork_ = true;
    waitingSince_ = now;
    LogLine(LogLine::Tab) << "The service cannot be reached yet; waiting for the network.";
  }
  if (now - waitingSince_ + networkRetryPause <= networkWait) return true;
  networkWaitOver_ = true;
  return false;
}

void UpdaterForm::ShowClientNotice() {
  if (!clientNotice.empty()) {
    ClientMessageBox(hwnd, clientNotice, MB_ICONINFORMATION);
  }
}

int UpdaterForm::Ask(const char* text) {
  return ClientMessageBox(hwnd, text, MB_ICONQUESTION | MB_YESNO);
}

void UpdaterForm::RefreshProgress(int kind, const HttpClient* client, size_t size) {
  if (kind == 4) {
    SetBar(100);
    SetControlText(progressText, ProgressText(100, static_cast<double>(size)));
    return;
  }
  if (!client || client->GetStatus() != HttpStatus::Receiving) return;
  const UpdaterProgress progress =
      ReceivingProgress(updater.phase, client->GetProgressBytes(), client->GetProgressTotal(),
                        updater.downloadedBytes, updater.downloadTotal);
  SetBar(progress.barPosition);
  SetControlText(progressText, progress.text);
}

void UpdaterForm::SetBar(int position) {
  SendMessageA(progressBar, PBM_SETPOS, static_cast<WPARAM>(position), 0);
}

UpdaterOutcome RunUpdater(Settings* settings, HWND owner, int mode, HWND mainWindow,
                          std::function<void()> beforeRestart) {
  LogLine() << "Creating `UpdaterForm`.";
  UpdaterOutcome result;
  {
    UpdaterForm form(settings);
    form.mode = mode;
    form.updater.mainWindow = mainWindow;
    form.updater.beforeRestart = std::move(beforeRestart);
    form.RunModal(owner);
    result.phase = form.updater.phase;
    result.listRefused = !form.updater.refusal.empty();
    result.cancelledByPlayer = form.cancelledByPlayer;
    result.notInstallableClient = form.updater.notInstallableClient;
    result.clientNotice = form.clientNotice;
  }
  LogLine() << "Deleted `UpdaterForm`.";
  return result;
}

}  // namespace drovane
