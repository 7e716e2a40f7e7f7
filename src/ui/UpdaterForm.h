#pragma once
// The updater window: a visible self-update run, at start-up (mode 1) or from "Check for
// Updates..." (mode 0). It owns the run, turns its messages into texts, a progress bar and
// buttons, offers "Retry" after a network failure and asks before cancelling.
#include <windows.h>

#include <functional>

#include "ui/Form.h"
#include "update/SelfUpdate.h"

namespace drovane {

class Application;

enum UpdaterCommand : int {
  kUpdaterRetry = 101,
  kUpdaterCancel = 102,
};

// The progress timers: one per download phase, 100 ms.
constexpr unsigned kUpdaterTimerMs = 100;

class UpdaterForm : public Form {
 public:
  explicit UpdaterForm(Application* application);
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
  Application* application;
  SelfUpdate updater;

 private:
  bool Build();
  // One message of the run; false when the message is not one.
  bool OnUpdateMessage(UINT message, WPARAM wParam, LPARAM lParam);
  void SetBar(int position);
  int Ask(const char* text);
};

// One modal run over the owner; returns the run's final phase. Finished means the client and its
// files are current. When the run replaces the client this never returns: the client restarts.
// beforeRestart runs just before such a restart (the main window removes its tray icon there).
// listRefused, when given, tells whether the run ended because the list was not trusted.
UpdatePhase RunUpdater(Application* application, HWND owner, int mode, HWND mainWindow,
                       std::function<void()> beforeRestart, bool* listRefused = nullptr);

}  // namespace drovane
