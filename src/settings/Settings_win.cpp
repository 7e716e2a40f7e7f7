// The settings store: loading at start, the validating setters and their registry values.
#include "settings/Settings.h"

#include <windows.h>
#include <shlwapi.h>

#include "base/FileSystem.h"
#include "base/Registry.h"
#include "base/TextHelpers.h"
#include "base/WideText.h"
#include "game/GameDiscovery.h"
#include "game/GameProcesses.h"

namespace drovane {
namespace {

// Read buffer sizes: a stored value that does not fit counts as absent.
constexpr DWORD kUsernameBuffer = 17;
constexpr DWORD kPasswordBuffer = 33;

bool IsValidUsername(const std::string& name) {
  return IsAlphanumeric(name) && name.size() >= 4 && name.size() <= 16;
}

bool IsValidPasswordDigest(const std::string& digest) {
  return IsAlphanumeric(digest) && digest.size() == 32;
}

}  // namespace

bool Settings::SetPreferences(uint32_t bits, bool noWrite) {
  if (bits == preferences) return true;
  preferences = bits;
  return noWrite || RegistryWriteDword(kOptionsKey, "Preferences", bits);
}

bool Settings::SetUsername(const std::string& name, bool noWrite) {
  if (name == username) return true;
  if (!IsValidUsername(name)) return false;
  username = name;
  return noWrite || RegistryWriteString(kOptionsKey, "Username", name);
}

bool Settings::SetPassword(const std::string& digest, bool noWrite) {
  if (digest == password) return true;
  if (!IsValidPasswordDigest(digest)) return false;
  password = digest;
  return noWrite || RegistryWriteString(kOptionsKey, "Password", digest);
}

bool Settings::SetGameFolder(GameEdition edition, const std::string& path, bool noWrite) {
  if (edition < 0 || edition >= kEditionCount) return false;
  if (path == gameFolders[edition]) return true;
  gameFolders[edition] = path;
  return noWrite || RegistryWriteString(kOptionsKey, InfoOf(edition).folderValueName, path);
}

bool Settings::SetStartWithWindows(bool on) {
  if (on == startWithWindows) return true;
  startWithWindows = on;
  if (!on)
    return SHDeleteValueW(HKEY_CURRENT_USER, Wide(kRunKey).c_str(), Wide(kRunValueName).c_str()) ==
           ERROR_SUCCESS;
  std::string modulePath;
  if (!GetModulePath(modulePath)) return false;
  return RegistryWriteString(kRunKey, kRunValueName, "\"" + modulePath + "\"");
}

uint32_t Settings::CountStart() {
  if (timesStarted == 0) RegistryReadDword(kStatisticsKey, "#TimesStarted", timesStarted);
  ++timesStarted;
  RegistryWriteDword(kStatisticsKey, "#TimesStarted", timesStarted);
  return timesStarted;
}

void Settings::LoadStatistics() {
  if (timesStarted == 0) RegistryReadDword(kStatisticsKey, "#TimesStarted", timesStarted);
  if (uploadCount == 0) RegistryReadDword(kStatisticsKey, "#Uploads", uploadCount);
  if (totalUploaded == 0) RegistryReadDword(kStatisticsKey, "TotalUploaded", totalUploaded);
}

void Settings::LoadOptionalFolder(GameEdition edition) {
  const EditionInfo& info = InfoOf(edition);
  std::string folder;
  if (!RegistryReadString(HKEY_CURRENT_USER, kOptionsKey, info.folderValueName, MAX_PATH, folder)) {
    return;
  }
  folder = StripTrailingBackslashes(folder);
  if (HasEditionExecutable(edition, folder)) SetGameFolder(edition, folder, true);
}

bool Settings::Load() {
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

void Settings::DetectOnce(GameEdition edition) {
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

bool IsGameRunning(const Settings& settings) {
  return IsGameRunning(settings.gameFolders);
}

}  // namespace drovane
