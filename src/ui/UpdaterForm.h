#pragma once
// The updater window: a visible self-update run, at start-up (mode 1) or from "Check for
// Updates..." (mode 0). It owns the run, turns its messages into texts, a progress bar and
// buttons, offers "Retry" after a network failure (at start-up, after waiting a while for the
// network) and asks before cancelling.
#include <windows.h>

#include <chrono>
#include <functional>
#include <string>

#include "ui/Form.h"
#include "update/SelfUpdate.h"

namespace drovane {

class Settings;

enum UpdaterCommand : int {
  kUpdaterRetry = 101,
  kUpdaterCancel = 102,
};

// The progress timers: one per download phase, 100 ms.
constexpr unsigned kUpdaterTimerMs = 100;
// The timer of the next attempt while the start-up run waits for the network.
constexpr UINT_PTR kNetworkRetryTimer = 10;

class UpdaterForm : public Form {
 public:
  explicit UpdaterForm(Settings* settings);
  ~UpdaterForm() override;

  INT_PTR HandleMessage(UINT message, WPARAM wParam, LPARAM lParam) override;

  // Closes the window with the run's phase as result; with ask, and unless the run has finished,
  // only after the player confirmed.
  void RequestClose(bool ask);
  // kind 1 to 3: a timer tick of that download phase; 4: the end of a transfer of size bytes.
  void RefreshProgress(int kind, const HttpClient* client, size_t size = 0);

  // The five controls, consecutive so that one ApplyDefaultFont call covers them.
  HWND statusText = nullptr;
  HWND progressText = nullptr;
  HWND progressBar = nullptr;
  HWND retryButton = nullptr;
  HWND cancelButton = nullptr;
  Settings* settings;
  SelfUpdate updater;

  // A client started with Windows may come up before the network: the start-up run tries
  // again by itself, every networkRetryPause, for networkWait after its first attempt could not
  // reach the service, before it shows the error.
  std::chrono::milliseconds networkWait{60000};
  std::chrono::milliseconds networkRetryPause{5000};
  // The player answered Yes to the cancel question (at start-up the client then quits).
  bool cancelledByPlayer = false;
  // UPD_CLIENT_NOT_INSTALLABLE's text, when the run gave it.
  std::string clientNotice;

 private:
  bool Build();
  // One message of the run; false when the message is not one.
  bool OnUpdateMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void SetBar(int position);
  int Ask(const char* text);
  // Whether a start-up run that could not reach the service waits and tries again.
  bool WaitsForNetwork();
  // Shows clientNotice in a box once a menu run has ended.
  void ShowClientNotice();

  std::chrono::steady_clock::time_point waitingSince_{};
  bool waitedForNetwork_ = false;  // the first failure to reach the service has been seen
  bool networkWaitOver_ = false;   // the wait has ended: failures are shown from here on
};

// How a run in the updater window ended.
struct UpdaterOutcome {
  UpdatePhase phase = UpdatePhase::ListDownload;  // Finished: the client and its files are current
  bool listRefused = false;        // the list was not trusted
  bool cancelledByPlayer = false;  // the player cancelled the run
  // A newer client is published that this copy cannot install: its digest and what to tell the
  // player; both empty otherwise.
  std::string notInstallableClient;
  std::string clientNotice;
};

// One modal run over the owner. When the run replaces the client this never returns: the client
// restarts. beforeRestart runs just before such a restart (the main window removes its tray icon
// there).
UpdaterOutcome RunUpdater(Settings* settings, HWND owner, int mode, HWND mainWindow,
                          std::function<void()> beforeRestart);

}  // namespace drovane
