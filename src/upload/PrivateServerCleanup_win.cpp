#include "upload/PrivateServerCleanup.h"

#include <windows.h>

#include <cstdio>
#include <vector>

#include "base/ClientMessageBox.h"
#include "base/DataFile.h"
#include "base/FileLog.h"
#include "base/FileSystem.h"
#include "base/Md5.h"
#include "base/WideText.h"
#include "data/UploadedIdSet.h"
#include "game/GameDiscovery.h"
#include "settings/Settings.h"

namespace drovane {

const char kRealmlistRenameQuestion[] =
    "Will you allow Drovane Client to rename your 'realmlist.wtf' file to "
    "'realmlist.wtf.<random_MD5>.DELETE_ME'?\r\n\r\nDoing this will allow the WoW client to "
    "connect to its default realmlist server.";
const char kCacheRenameQuestion[] =
    "Will you allow Drovane Client to rename your World of Warcraft cache directory to "
    "'Cache.<random_MD5>.DELETE_ME'?\r\n\r\nDoing this will remove any incorrect data the client "
    "may have seen while connected to a private server.\r\nThis will not alter the performance "
    "or behavior of WoW.";

namespace {

constexpr char kDeleteMeSuffix[] = ".DELETE_ME";

// Moves a file or folder aside under a name no earlier rename has taken. A file the running game
// holds open stays where it is; the log says so.
void MoveAside(const std::string& path) {
  const std::string aside = FreeNameBeside(path + ".", kDeleteMeSuffix);
  if (!MoveFileW(Wide(path).c_str(), Wide(aside).c_str())) {
    const DWORD error = GetLastError();
    LogLine() << "Could not rename " << path << " (error " << error << ").";
  }
}

}  // namespace

void RenameRealmlistFiles(const std::string (&gameFolders)[kEditionCount]) {
  for (GameEdition edition : kEditions) {
    const std::string& folder = gameFolders[edition];
    if (folder.empty()) continue;
    std::vector<std::string> locales;
    ListCacheLocales(folder, CacheFolderKind::WDB, locales);
    for (const std::string& locale : locales) {
      const std::string path = folder + "\\Data\\" + locale + "\\realmlist.wtf";
      if (!FileExists(path)) continue;
      MoveAside(path);
    }
  }
}

void RenameRealmlistFiles(const Settings& settings) {
  RenameRealmlistFiles(settings.gameFolders);
}

void RenameGameCacheFolders(const std::string (&gameFolders)[kEditionCount]) {
  for (GameEdition edition : kEditions) {
    const std::string& folder = gameFolders[edition];
    if (folder.empty()) continue;
    const std::string cache = folder + "\\Cache";
    if (!DirectoryExists(cache)) continue;
    MoveAside(cache);
  }
}

void RenameGameCacheFolders(const Settings& settings) {
  RenameGameCacheFolders(settings.gameFolders);
}

void HandlePrivateServerRefusal(const std::string (&gameFolders)[kEditionCount], int resultCode,
                                const ConsentPrompt& ask, const std::string& stateFolder) {
  // Whatever the player answers, the record ids sent so far may stem from the other server:
  // everything counts as new again.
  ClearStateFolder(stateFolder);
  if (resultCode == 3 && ask && ask(kRealmlistRenameQuestion)) RenameRealmlistFiles(gameFolders);
  if (ask && ask(kCacheRenameQuestion)) RenameGameCacheFolders(gameFolders);
}

void HandlePrivateServerRefusal(void* owner, const Settings& settings, int resultCode) {
  const ConsentPrompt ask = [owner](const std::string& question) {
    return ClientMessageBox(static_cast<HWND>(owner), question, MB_YESNO | MB_ICONERROR) == IDYES;
  };
  HandlePrivateServerRefusal(settings.gameFolders, resultCode, ask, StateFolder());
}

}  // namespace drovane
