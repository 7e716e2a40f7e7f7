#pragma once
// The settings and statistics store: the player's settings and the usage counters, kept in the
// registry and in memory for the run, with the launch flags of this run. The windows, the upload
// and the update read and change settings only through it; the one Application object is this
// store with the start-up around it.
#include <cstdint>
#include <string>

#include "base/CommandLine.h"
#include "game/GameDiscovery.h"
#include "game/GameEdition.h"

namespace drovane {

enum Preference : uint32_t {
  PREF_START_MINIMIZED = 0x01,
  PREF_AUTO_MINIMIZE = 0x02,
  PREF_SHOW_IN_TASKBAR = 0x04,
  PREF_SHOW_IN_TRAY = 0x08,
  PREF_AUTO_UPLOAD = 0x10,
  PREF_NO_CHARACTER_DATA = 0x40,
};
constexpr uint32_t kDefaultPreferences = PREF_SHOW_IN_TASKBAR | PREF_SHOW_IN_TRAY;

class Settings {
 public:
  Settings() = default;
  Settings(const Settings&) = delete;
  Settings& operator=(const Settings&) = delete;

  // Reads the stored settings at start, writing the default preferences when none are stored;
  // obtains the Live folder (asking the player when the stored one is gone) and the PTR and Beta
  // folders, counts the start and makes the one-time detection of the PTR and Beta folders.
  // False when the player gave no Live folder: the client cannot run without one.
  bool Load();

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
  // The launch flags: set from the command line at start, read by the main window.
  bool skipInitialSelfUpdate = false;
  LaunchMode launchMode = LaunchMode::None;

  // Shows the open-file dialog when a game folder is browsed for; tests give their own.
  FileChooser fileChooser = nullptr;

 private:
  void LoadOptionalFolder(GameEdition edition);
  // The one-time registry detection of the PTR or Beta folder.
  void DetectOnce(GameEdition edition);
};

// A process of any edition's executable runs from one of the stored game folders.
bool IsGameRunning(const Settings& settings);

// Obtains the mandatory Live folder at start: the stored one when it holds the game, else the
// game's own record after the player confirms it, else a folder the player browses to. False
// when the player gave none. The chooser shows the open-file dialog (ChooseFile when null).
bool ObtainLiveFolder(Settings& settings, FileChooser chooser = nullptr);

}  // namespace drovane
