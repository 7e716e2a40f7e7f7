#pragma once
// What a fakegame run does, read from its command line (tools/gamefixture/README.md lists the
// options): how long it runs, and what the game and the add-on write before it ends.
#include <cstdint>
#include <string>
#include <vector>

#include "gamefixture/AddonFile.h"
#include "gamefixture/AdbWriter.h"
#include "gamefixture/WdbWriter.h"

namespace drovane::fakegame {

// Records the game adds to one of its WDB caches. Without a first id they follow the highest
// id already in the file.
struct WdbAppend {
  fixture::WdbKind kind = fixture::WdbKind::Creatures;
  int32_t count = 0;
  int32_t firstId = 0;  // 0: after the file's highest id
};

// An ADB cache the game writes anew with count records.
struct AdbWrite {
  int kindIndex = 0;
  int32_t count = 0;
  int32_t firstId = 1;
};

// A change the add-on makes to an account's SavedVariables file.
struct AddonChange {
  enum class What { Collect, Stats, Uploaded } what = What::Collect;
  std::string account;  // UTF-8 folder name
  int32_t value = 0;    // loot lines to collect, or the dlUploaded value
  int32_t stats[fixture::kStatCount] = {};
};

enum class WriteAt { Exit, Start };

struct FakeGameOptions {
  uint32_t runMs = 3000;
  bool runMsGiven = false;
  bool untilClosed = false;  // run until the window is closed (and --run-ms, when given, ends)
  int exitCode = 0;
  std::string gameFolder;  // UTF-8; empty: the executable's own folder
  std::string locale = "enUS";
  std::string title = "World of Warcraft";
  WriteAt writeAt = WriteAt::Exit;
  std::vector<WdbAppend> wdbAppends;
  std::vector<AdbWrite> adbWrites;
  fixture::AdbMagic adbFormat = fixture::AdbMagic::WCH8;
  std::vector<AddonChange> addonChanges;
  uint32_t padding = 0;
  uint64_t seed = 1;
  bool buildGiven = false;
  uint32_t build = 0;  // default: the last number of the executable's own file version
  bool wdbEndMarker = true;
  bool help = false;

  // Whether the run ends by itself after runMs.
  bool HasTimeLimit() const { return !untilClosed || runMsGiven; }
};

bool ParseFakeGameOptions(const std::vector<std::string>& args, FakeGameOptions& out,
                          std::string& error);
std::string FakeGameUsage();

}  // namespace drovane::fakegame
