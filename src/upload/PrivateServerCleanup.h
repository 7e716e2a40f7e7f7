#pragma once
// What a private (unofficial) game server leaves in the game folders, put out of the game's way
// when the service refuses data gathered there: the realm list files that point the game at the
// other server and the cache folder with what the game saw there. Nothing is deleted: each gets
// a unique name ending in ".DELETE_ME", so the player can remove or restore it.
#include <functional>
#include <string>

#include "game/GameEdition.h"

namespace drovane {

class Settings;

// Asks the player for consent; true for Yes.
using ConsentPrompt = std::function<bool(const std::string& question)>;

extern const char kRealmlistRenameQuestion[];
extern const char kCacheRenameQuestion[];

// For every configured edition (Live, PTR, Beta): folder\Data\<locale>\realmlist.wtf becomes
// realmlist.wtf.<random md5>.DELETE_ME, for each locale folder under the edition's Cache\WDB.
void RenameRealmlistFiles(const std::string (&gameFolders)[kEditionCount]);
void RenameRealmlistFiles(const Settings& settings);

// For every configured edition: folder\Cache becomes Cache.<random md5>.DELETE_ME.
void RenameGameCacheFolders(const std::string (&gameFolders)[kEditionCount]);
void RenameGameCacheFolders(const Settings& settings);

// The service refused data from a private server (result 3 or 4): forgets the upload state
// (every file in the state folder), then asks about the realm list rename (result 3 only) and
// about the cache folder rename, and does what the player allows.
void HandlePrivateServerRefusal(const std::string (&gameFolders)[kEditionCount], int resultCode,
                                const ConsentPrompt& ask, const std::string& stateFolder);
// The same with the client's folders and state folder, asking with message boxes over owner.
void HandlePrivateServerRefusal(void* owner, const Settings& settings, int resultCode);

}  // namespace drovane
