#pragma once
// The one application object: settings, statistics and launch flags, and the start-up spine.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "base/CommandLine.h"
#include "base/WinHandles.h"
#include "game/GameDiscovery.h"
#include "game/GameEdition.h"
#include "update/ClientReplacement.h"

namespace drovane {

class ContainerForm;

enum Preference : uint32_t {
  PREF_START_MINIMIZED = 0x01,
  PREF_AUTO_MINIMIZE = 0x02,
  PREF_SHOW_IN_TASKBAR = 0x04,
  PREF_SHOW_IN_TRAY = 0x08,
  PREF_AUTO_UPLOAD = 0x10,
  PREF_NO_CHARACTER_DATA = 0x40,
};
constexpr uint32_t kDefaultPreferences = PREF_SHOW_IN_TASKBAR | PREF_SHOW_IN_TRAY;

class Application {
 public:
  Application() = default;
  Application(const Application&) = delete;
  Application& operator=(const Application&) = delete;

  // The whole life of the client; 0 after a normal run, -1 when it had to end early.
  int Run();

  // True when the process is to end now. The first form splits the command line (as UTF-8).
  bool HandleCommandLine();
  bool HandleArguments(const std::vector<std::string>& arguments);

  // Loads the settings and makes the first-run and upgrade steps; false ends the process.
  bool LoadSettingsAndUpgrade();

  bool SetPreferences(uint32_t bits, bool noWrite = false);
  bool SetUsername(const std::string& name, bool noWrite = false);
  bool SetPassword(const std::string& digest, bool noWrite = false);
  bool SetGameFolder(GameEdition edition, const std::string& path, bool noWrite = false);
  bool SetStartWithWindows(bool on);
  uint32_t CountStart();
  // Reads the stored upload statistics into the fields not read yet.
  void LoadStatistics();

  std::string GetUsername() const { return username; }
  std::string GetPassword() const { return password; }
  std::string GetGameFolder(GameEdition edition) const { return gameFolders[edition]; }
  uint32_t GetPreferences() const { return preferences; }
  bool GetStartWithWindows() const { return startWithWindows; }
  bool HasPreference(uint32_t bit) const { return (preferences & bit) != 0; }

  // Fields, in the order the settings store knows them.
  std::string username;
  std::string password;
  std::string gameFolders[kEditionCount];
  uint32_t preferences = 0;
  uint32_t timesStarted = 0;
  uint32_t uploadCount = 0;
  uint32_t totalUploaded = 0;
  bool startWithWindows = false;
  bool skipInitialSelfUpdate = false;
  LaunchMode launchMode = LaunchMode::None;
  ContainerForm* hostWindow = nullptr;

  // Shows the open-file dialog when the Live folder is browsed for; tests give their own.
  FileChooser fileChooser = nullptr;
  // How a new client started with "selfupdate-install" takes the executable's place and starts
  // the client there; tests make them fail or record.
  MoveFunction takeOverMove = RenameReplacing;
  StartFunction startClient = StartProgram;

 private:
  // Waits until no other client holds the instance name, then holds it; false at the limit.
  bool TakeOverInstance();
  void UpgradeFromOlderVersion();
  void LoadOptionalFolder(GameEdition edition);
  // The one-time registry detection of the PTR or Beta folder.
  void DetectOnce(GameEdition edition);

  // Held until the process ends: its name tells a later plain start that a client runs.
  KernelHandle instanceMutex_;
};

// A message box with the client's caption.
int ClientMessageBox(HWND owner, const std::string& text, UINT type);

// The running client's host window (a dialog titled "Drovane Client"), or null.
HWND FindRunningClientWindow();

}  // namespace drovane
