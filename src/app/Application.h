#pragma once
// The one application object: the settings store, and the start-up spine around it.
#include <windows.h>

#include <string>
#include <vector>

#include "base/WinHandles.h"
#include "settings/Settings.h"
#include "update/ClientReplacement.h"

namespace drovane {

class ContainerForm;

// The settings store with the start-up around it: the command line, the single-instance rule,
// the upgrade steps, the host window's creation and the shutdown. The windows get the store.
class Application : public Settings {
 public:
  Application() = default;

  // The whole life of the client; 0 after a normal run, -1 when it had to end early.
  int Run();

  // True when the process is to end now. The first form splits the command line (as UTF-8).
  bool HandleCommandLine();
  bool HandleArguments(const std::vector<std::string>& arguments);

  // Makes the upgrade steps when an older version ran last, then loads the settings (Load);
  // false ends the process.
  bool LoadSettingsAndUpgrade();

  // Owned while the message loop runs; null before and after.
  ContainerForm* hostWindow = nullptr;

  // How a new client started with "selfupdate-install" takes the executable's place and starts
  // the client there; tests make them fail or record.
  MoveFunction takeOverMove = RenameReplacing;
  StartFunction startClient = StartProgram;

 private:
  // Waits until no other client holds the instance name, then holds it; false at the limit.
  bool TakeOverInstance();
  void UpgradeFromOlderVersion();

  // Held until the process ends: its name tells a later plain start that a client runs.
  KernelHandle instanceMutex_;
};

// The running client's host window (a dialog titled "Drovane Client"), or null.
HWND FindRunningClientWindow();

}  // namespace drovane
