// The main window's unattended work: the two-second game watch, which uploads by itself when the
// game exits, and the hourly background update.
#include "base/FileLog.h"
#include "game/GameDiscovery.h"
#include "settings/Settings.h"
#include "ui/MainForm.h"
#include "update/SelfUpdate.h"
#include "update/UpdateMessages.h"

namespace drovane {

void MainForm::OnWatchTimer(UINT_PTR timerId) {
  if (timerId == kWatchTimer && restartPending) RestartWhenIdle();
  const bool running = isGameRunning ? isGameRunning(*settings) : IsGameRunning(*settings);
  if (timerId == kWatchTimer) {
    if (running == gameRunning) return;
    gameRunning = running;
    if (running) {
      LogLine() << "WoW is now running.";
      AppendToLogPane("WoW is now running.", true);
      return;
    }
    LogLine() << "WoW exited.";
    AppendToLogPane("WoW exited.", true);
    RefreshData();
    // Never over a modal window: the player is busy with it.
    if (settings->HasPreference(PREF_AUTO_UPLOAD) && isEnabled) {
      AppendToLogPane(" Auto-uploading... ", false);
      StartUpload(true);
    }
  } else if (timerId == kUpdateTimer) {
    // Not while the player is in a window of the client (the updater among them): one update
    // run at a time, and none behind an open window.
    if (running || backgroundUpdate || !isEnabled) return;
    StartBackgroundUpdate();
  }
}

void MainForm::RestartWhenIdle() {
  // An upload or any other window of the client disables this one: the restart waits for the
  // player to close it, and the watch timer asks again.
  if (!isEnabled || !backgroundUpdate) return;
  LogLine() << "Restarting for the new client version.";
  if (backgroundUpdate->Restart()) return;  // returns only when the new client did not start
  LogLine() << "Background client update failed.";
  restartPending = false;
  backgroundUpdate.reset();
}

void MainForm::EndBackgroundUpdateFor(const char* reason) {
  if (!backgroundUpdate) return;
  if (restartPending) {
    RestartWhenIdle();
    return;
  }
  LogLine() << "Background client update cancelled: " << reason;
  backgroundUpdate.reset();
}

void MainForm::StartBackgroundUpdate() {
  LogLine() << "Beginning background client update.";
  backgroundUpdate = std::make_unique<SelfUpdate>(settings);
  backgroundUpdate->window = hwnd;
  backgroundUpdate->exchangeTimeLimit = kBackgroundExchangeLimit;
  backgroundUpdate->mainWindow = hwnd;
  // A new client is about to start: this one's tray icon goes first.
  backgroundUpdate->beforeRestart = [this] { SetTrayIcon(false, 0); };
  backgroundUpdate->restartByOwner = true;
  backgroundUpdate->Start();
}

bool MainForm::OnUpdateMessage(UINT message, LPARAM lParam) {
  if (message < kFirstUpdateMessage || message > kLastUpdateMessage) return false;
  // Texts travel with their messages and are freed by whoever receives them.
  std::string text;
  if (CarriesUpdateText(message)) text = TakeUpdateText(lParam);
  bool succeeded;
  switch (message) {
    case UPD_RESTART_READY:
      LogLine() << "The new client version is in place; it starts when no window is open.";
      restartPending = true;
      RestartWhenIdle();
      return true;
    case UPD_CLIENT_NOT_INSTALLABLE:  // the run goes on with the files
      if (backgroundUpdate) AnnounceClientNotice(backgroundUpdate->notInstallableClient, text);
      return true;
    case UPD_LIST_UNTRUSTED:
      AppendToLogPane(text, true);
      succeeded = false;
      break;
    case UPD_NO_UPDATES:
    case UPD_COMPLETE:
      succeeded = true;
      break;
    case UPD_LIST_FAILED:
    case UPD_CLIENT_FAILED:
    case UPD_FILE_FAILED:
    case UPD_ERROR:  // a transport failure ends the run too; the next hour may try again
      succeeded = false;
      break;
    default:
      return true;
  }
  LogLine() << "Ending background client update.";
  if (succeeded) {
    LogLine() << "Background client update succeeded.";
  } else if (message == UPD_ERROR || message == UPD_LIST_UNTRUSTED) {
    LogLine() << "Background client update failed: " << text;
  } else {
    LogLine() << "Background client update failed.";
  }
  backgroundUpdate.reset();
  return true;
}

}  // namespace drovane
