// commitprobe: runs what the client does after the service confirmed an upload (the record-id
// state files, then the "dlUploaded = " line of every add-on file), nothing else, so that a test
// can kill it at any point of that work.
//
//   commitprobe GAME_FOLDER STATE_FOLDER UPLOADED_STATE NEW_STATE_FOLDER [EVENT]
//
// Every account folder of the game's Live installation gets UPLOADED_STATE as its upload state;
// every file of NEW_STATE_FOLDER named as a state file ("name_locale_build") is a set whose
// bitmap is saved into STATE_FOLDER. EVENT names an event that is set the moment the commit
// begins, so that a test can time its kill from there rather than from the process start. The log
// goes to "commitprobe.log" in STATE_FOLDER's parent. Exit code: 0 when all of it ran, 2 on bad
// arguments.
#include <windows.h>

#include <cstdlib>
#include <string>

#include "base/DataFile.h"
#include "base/FileLog.h"
#include "base/FileSystem.h"
#include "base/WinHandles.h"
#include "data/AccountData.h"
#include "upload/UploadBookkeeping.h"

namespace {

using namespace drovane;

std::string WithSeparator(std::string folder) {
  if (!folder.empty() && folder.back() != '\\') folder += '\\';
  return folder;
}

// "creaturecache.wdb_enUS_22522": the build after the last '_', the locale before it.
bool LoadSet(const std::string& folder, const std::string& name, IdSetList& list) {
  const size_t buildCut = name.rfind('_');
  if (buildCut == std::string::npos || buildCut == 0) return false;
  const size_t localeCut = name.rfind('_', buildCut - 1);
  if (localeCut == std::string::npos || localeCut == 0) return false;
  UploadedIdSet set(name.substr(0, localeCut), name.substr(localeCut + 1, buildCut - localeCut - 1),
                    std::atoi(name.c_str() + buildCut + 1));
  if (!set.Load(folder)) return false;
  list.sets.push_back(set);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5 && argc != 6) return 2;
  const std::string gameFolder = argv[1];
  const std::string stateFolder = WithSeparator(argv[2]);
  const int uploadedState = std::atoi(argv[3]);
  const std::string newStateFolder = WithSeparator(argv[4]);

  std::string logFolder = stateFolder.substr(0, stateFolder.size() - 1);
  logFolder = logFolder.substr(0, logFolder.find_last_of('\\') + 1);
  Log().SetLogFile(logFolder + "commitprobe.log");

  IdSetList sets;
  for (const FolderEntry& entry : ListFolder(newStateFolder.substr(0, newStateFolder.size() - 1))) {
    if (!entry.isDirectory && !LoadSet(newStateFolder, entry.name, sets)) return 2;
  }
  UploadStateMap states;
  for (const FolderEntry& account : ListFolder(gameFolder + "\\WTF\\Account")) {
    if (account.isDirectory) states[SavedVariablesPath(gameFolder, account.name)] = uploadedState;
  }

  if (argc == 6) {
    KernelHandle started(OpenEventA(EVENT_MODIFY_STATE, FALSE, argv[5]));
    if (!started.valid() || !SetEvent(started.get())) return 2;
  }
  SaveIdSets(sets, stateFolder);
  std::string folders[kEditionCount];
  folders[Live] = gameFolder;
  WriteUploadedLines(folders, states);
  Log().Flush();
  return 0;
}
