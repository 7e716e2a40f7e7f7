// The Application's settings: loading at start, the validating setters and their registry values.
#include <shlwapi.h>

#include "app/Application.h"
#include "app/StateFileUpgrade.h"
#include "base/DataFile.h"
#include "base/FileLog.h"
#include "base/FileSystem.h"
#include "base/Registry.h"
#include "base/TextHelpers.h"
#include "base/Version.h"
#include "base/WideText.h"
#include "game/GameDiscovery.h"

namespace drovane {
namespace {

// Read buffer sizes: a stored value that does not fit counts as absent.
constexpr DWORD kVersionBuffer = 8;
constexpr DWORD kUsernameBuffer = 17;
constexpr DWORD kPasswordBuffer = 33;

constexpr char kStartupShortcut[] = "\\Drovane Client.lnk";

bool IsValidUsername(const std::string& name) {
  return IsAlphanumeric(name) && name.size() >= 4 && name.size() <= 16;
}

bool IsValidPasswordDigest(const std::string& digest) {
  return IsAlphanumeric(digest) && digest.size() == 32;
}

}  // namespace

bool Application::SetPreferences(uint32_t bits, bool noWrite) {
  if (bits == preferences) return true;
  preferences = bits;
  return noWrite || RegistryWriteDword(kOptionsKey, "Preferences", bits);
}

bool Application::SetUsername(const std::string& name, bool noWrite) {
  if (name == username) return true;
  if (!IsValidUsername(name)) return false;
  username = name;
  return noWrite || RegistryWriteString(kOptionsKey, "Username", name);
}

bool Application::SetPassword(const std::string& digest, bool noWrite) {
  if (digest == password) return true;
  if (!IsValidPasswordDigest(digest)) return false;
  password = digest;
  return noWrite || RegistryWriteString(kOptionsKey, "Password", digest);
}

bool Application::SetGameFolder(GameEdition edition, const std::string& path, bool noWrite) {
  if (edition < 0 || edition >= kEditionCount) return false;
  if (path == gameFolders[edition]) return true;
  gameFolders[edition] = path;
  return noWrite || RegistryWriteString(kOptionsKey, InfoOf(edition).folderValueName, path);
}

bool Application::SetStartWithWindows(bool on) {
  if (on == startWithWindows) return true;
  startWithWindows = on;
  if (!on) return SHDeleteValueW(HKEY_CURRENT_USER, Wide(kRunKey).c_str(), Wide(kRunValueName).c_str()) == ERROR_SUCCESS;
  std::string modulePath;
  if (!GetModulePath(modulePath)) return false;
  return RegistryWriteString(kRunKey, kRunValueName, "\"" + modulePath + "\"");
}

uint32_t Application::CountStart() {
  if (timesStarted == 0) RegistryReadDword(kStatisticsKey, "#TimesStarted", timesStarted);
  ++timesStarted;
  RegistryWriteDword(kStatisticsKey, "#TimesStarted", timesStarted);
  return timesStarted;
}

void Application::LoadStatistics() {
  if (timesStarted == 0) RegistryReadDword(kStatisticsKey, "#TimesStarted", timesStarted);
  if (uploadCount == 0) RegistryReadDword(kStatisticsKey, "#Uploads", uploadCount);
  if (totalUploaded == 0) RegistryReadDword(kStatisticsKey, "TotalUploaded", totalUploaded);
}

void Application::UpgradeFromOlderVersion() {
  RegistryWriteString(kClientKey, "Version", kClientVersion);

  // Older versions started with Windows through a Startup-folder shortcut; the Run value
  // replaces it. The shortcut is in the Startup folder of every user, which a standard user
  // may not change: then it stays and goes on starting the client, and no Run value is added
  // beside it, or the client would start twice.
  std::string startup;
  if (GetSpecialFolderPath(SpecialFolder::Startup, startup)) {
    const std::string shortcut = startup + kStartupShortcut;
    if (FileExists(shortcut)) {
      if (DeleteFileW(Wide(shortcut).c_str())) {
        SetStartWithWindows(true);
      } else {
        const DWORD error = GetLastError();
        LogLine() << "The old shortcut " << shortcut << " could not be removed (error " << error
                  << "); it still starts the client with Windows.";
      }
    }
  }

  MoveOldStateFiles(AppDataDir());
}

void Application::LoadOptionalFolder(GameEdition edition) {
  const EditionInfo& info = InfoOf(edition);
  std::string folder;
  if (!RegistryReadString(HKEY_CURRENT_USER, kOptionsKey, info.folderValueName, MAX_PATH, folder)) {
    return;
  }
  folder = StripTrailingBackslashes(folder);
  if (FileExists(folder + info.executables[0]) || FileExists(folder + info.executables[1])) {
    SetGameFolder(edition, folder, true);
  }
}

bool Application::LoadSettingsAndUpgrade() {
  std::string storedVersion;
  if (RegistryReadString(HKEY_CURRENT_USER, kClientKey, "Version", kVersionBuffer, storedVersion) &&
      storedVersion != kClientVersion) {
    UpgradeFromOlderVersion();
  }

  startWithWindows = RegistryValueExists(HKEY_CURRENT_USER, kRunKey, kRunValueName);

  uint32_t storedPreferences = 0;
  if (RegistryReadDword(kOptionsKey, "Preferences", storedPreferences)) {
    SetPreferences(storedPreferences, true);
  } else {
    preferences = kDefaultPreferences;
    RegistryWriteDword(kOptionsKey, "Preferences", kDefaultPreferences);
  }

  std::string stored;
  if (RegistryReadString(HKEY_CURRENT_USER, kOptionsKey, "Username", kUsernameBuffer, stored)) {
    SetUsername(stored, true);
  }
  if (RegistryReadString(HKEY_CURRENT_USER, kOptionsKey, "Password", kPasswordBuffer, stored)) {
    SetPassword(stored, true);
  }

  if (!ObtainLiveFolder(*this, fileChooser)) return false;
  LoadOptionalFolder(PTR);
  LoadOptionalFolder(Beta);

  CountStart();
  DetectOnce(PTR);
  DetectOnce(Beta);
  return true;
}

void Application::DetectOnce(GameEdition edition) {
  const char* doneValue = InfoOf(edition).autoDetectedValueName;
  if (RegistryValueExists(HKEY_CURRENT_USER, kStatisticsKey, doneValue)) return;
  bool done = !gameFolders[edition].empty();
  if (!done) {
    const std::string detected = InstallPathFor(edition);
    // A failed detection writes nothing, so the next start tries again.
    if (!detected.empty() && IsValidGameFolder(edition, detected)) {
      SetGameFolder(edition, detected);
      done = true;
    }
  }
  if (done) RegistryWriteDword(kStatisticsKey, doneValue, 1);
}

}  // namespace drovane
