// The main window's unattended work: the two-second game watch, which uploads by itself when the
// game exits, and the hourly background update.
#include "app/Application.h"
#include "app/FileLog.h"
#include "app/GameDiscovery.h"
#include "ui/MainForm.h"
#include "update/SelfUpdate.h"
#include "update/UpdateMessages.h"

namespace drovane {

void MainForm::OnWatchTimer(UINT_PTR timerId) {
  const bool running = isGameRunning ? isGameRunning(*application) : IsGameRunning(*application);
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
    if (application->HasPreference(PREF_AUTO_UPLOAD) && isEnabled) {
      AppendToLogPane(" Auto-uploading... ", false);
      StartUpload(true);
    }
  } else if (timerId == kUpdateTimer) {
    if (running || backgroundUpdate) return;
    StartBackgroundUpdate();
  }
}

void MainForm::StartBackgroundUpdate() {
  LogLine() << "Beginning background client update.";
  backgroundUpdate = std::make_unique<SelfUpdate>(application);
  backgroundUpdate->window = hwnd;
  backgroundUpdate->exchangeTimeLimit = kBackgroundExchangeLimit;
  backgroundUpdate->mainWindow = hwnd;
  // A new client is about to start: this one's tray icon goes first.
  backgroundUpdate->beforeRestart = [this] { SetTrayIcon(false, 0); };
  backgroundUpdate->Start();
}

bool MainForm::OnUpdateMessage(UINT message, LPARAM lParam) {
  if (message < UPD_CHECKING || message > UPD_COMPLETE) return false;
  // Texts travel with their messages and are freed by whoever receives them.
  std::string text;
  if (message == UPD_FILE || message == UPD_ERROR) text = TakeUpdateText(lParam);
  bool succeeded;
  switch (message) {
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
  } else if (message == UPD_ERROR) {
    LogLine() << "Background client update failed: " << text;
  } else {
    LogLine() << "Background client update failed.";
  }
  backgroundUpdate.reset();
  return true;
}

}  // namespace drovane
