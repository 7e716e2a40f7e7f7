// The settings at start, after the steps that carry an older version's installation over.
#include <windows.h>

#include "app/Application.h"
#include "app/StateFileUpgrade.h"
#include "base/DataFile.h"
#include "base/FileLog.h"
#include "base/FileSystem.h"
#include "base/Registry.h"
#include "base/Version.h"
#include "base/WideText.h"

namespace drovane {
namespace {

// Read buffer size: a stored version that does not fit counts as absent.
constexpr DWORD kVersionBuffer = 8;

constexpr char kStartupShortcut[] = "\\Drovane Client.lnk";

}  // namespace

bool Application::LoadSettingsAndUpgrade() {
  std::string storedVersion;
  if (RegistryReadString(HKEY_CURRENT_USER, kClientKey, "Version", kVersionBuffer, storedVersion) &&
      storedVersion != kClientVersion) {
    UpgradeFromOlderVersion();
  }
  return Load();
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

}  // namespace drovane
