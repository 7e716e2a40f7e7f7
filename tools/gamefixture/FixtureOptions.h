#pragma once
// What gamefixture is asked to write, read from its command line (README.md lists the options).
#include <cstdint>
#include <string>
#include <vector>

#include "game/GameEdition.h"
#include "gamefixture/AdbWriter.h"

namespace drovane::fixture {

// Which fakegame variant stands in for the edition's executables.
enum class GameVersion { Seven, Six, Retail };
// Which of the edition's two executable names are written.
enum class ExecutableSet { Both, First, Second, None };

// Parts of an installation that can be left out.
namespace Part {
constexpr unsigned Executables = 1;
constexpr unsigned Addon = 2;
constexpr unsigned Wdb = 4;
constexpr unsigned Adb = 8;
constexpr unsigned Config = 16;
}  // namespace Part

struct AccountEntry {
  std::string name;  // UTF-8: the account folder's name
  int uploaded = 0;  // the add-on file's dlUploaded value
};

// The default accounts: a name with a blank, a Cyrillic one and one longer than 16 bytes.
std::vector<AccountEntry> DefaultAccounts();

struct FixtureOptions {
  std::string folder;  // the installation folder (UTF-8 as given)
  GameEdition edition = Live;
  std::vector<std::string> locales = {"enUS"};
  std::vector<AccountEntry> accounts = DefaultAccounts();
  int lootEntries = 20;
  bool crlf = false;
  int32_t wdbRecords = 20;
  int32_t adbRecords = 20;
  int32_t firstId = 1;
  uint32_t padding = 0;
  uint32_t adbRecordSize = 0;                           // 0: each kind's own size
  std::vector<AdbMagic> adbFormats = {AdbMagic::WCH8};  // one for all locales, or one each
  size_t offsetMapStart = kOffsetMapAfterHeader;
  bool wdbEndMarker = true;
  bool buildGiven = false;
  uint32_t build = 0;
  uint64_t seed = 1;
  std::string realmlist = "us.logon.worldofwarcraft.com";
  std::string portal = "US";
  GameVersion gameVersion = GameVersion::Seven;
  ExecutableSet executables = ExecutableSet::Both;
  bool launcher = true;
  unsigned skip = 0;  // Part bits
  bool registerInstall = false;
  bool unregister = false;
  bool registry32 = false;  // the 32-bit registry view instead of the 64-bit one
  bool installPathGiven = false;
  std::string installPath;
  std::string fakegameDir;  // empty: "fakegame" beside gamefixture.exe
  bool verbose = false;
  bool help = false;

  AdbMagic AdbFormatFor(size_t localeIndex) const {
    return adbFormats.size() == 1 ? adbFormats[0] : adbFormats[localeIndex];
  }
};

// args excludes the program name. False with error set when the command line is wrong.
bool ParseFixtureOptions(const std::vector<std::string>& args, FixtureOptions& out,
                         std::string& error);
std::string FixtureUsage();

// A copy of a fakegame variant: its name in the fakegame folder and in the installation.
struct ExecutableCopy {
  std::string source;
  std::string target;
};
// The executables the options ask for; for Live the launcher comes last.
std::vector<ExecutableCopy> ExecutablesFor(const FixtureOptions& options);
// The variant whose version resource gives the default cache build.
std::string BuildSourceFor(const FixtureOptions& options);

}  // namespace drovane::fixture
