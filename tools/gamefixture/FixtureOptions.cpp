#include "gamefixture/FixtureOptions.h"

#include <algorithm>
#include <initializer_list>
#include <iterator>
#include <limits>
#include <utility>

#include "gamefixture/ArgReader.h"

namespace drovane::fixture {
namespace {

constexpr int64_t kMaxRecords = 10000000;
constexpr int64_t kMaxInt32 = std::numeric_limits<int32_t>::max();

const char* const kEditionNames[kEditionCount] = {"live", "ptr", "beta"};

// Characters Windows does not allow in a folder name, and the ':' that separates a name from
// its upload state.
bool IsValidFolderName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (unsigned char c : name) {
    if (c < 0x20 || std::string("\\/:*?\"<>|").find(static_cast<char>(c)) != std::string::npos) {
      return false;
    }
  }
  return name.back() != ' ' && name.back() != '.';
}

bool ParseAccounts(const std::string& text, std::vector<AccountEntry>& out, std::string& error) {
  out.clear();
  for (const std::string& item : SplitList(text)) {
    AccountEntry account;
    const size_t colon = item.rfind(':');
    account.name = item.substr(0, colon);
    if (colon != std::string::npos) {
      int64_t uploaded = 0;
      if (!ParseNumber("--accounts", item.substr(colon + 1), 0, kMaxInt32, uploaded, error)) {
        return false;
      }
      account.uploaded = static_cast<int>(uploaded);
    }
    if (!IsValidFolderName(account.name)) {
      error = "--accounts: \"" + account.name + "\" cannot be a folder name";
      return false;
    }
    out.push_back(account);
  }
  return true;
}

bool ParseLocales(const std::string& text, std::vector<std::string>& out, std::string& error) {
  out = SplitList(text);
  for (const std::string& locale : out) {
    if (!IsValidFolderName(locale)) {
      error = "--locales: \"" + locale + "\" cannot be a folder name";
      return false;
    }
  }
  return true;
}

bool ParseSkip(const std::string& text, unsigned& skip, std::string& error) {
  static const struct {
    const char* name;
    unsigned bit;
  } kParts[] = {{"executables", Part::Executables},
                {"addon", Part::Addon},
                {"wdb", Part::Wdb},
                {"adb", Part::Adb},
                {"config", Part::Config}};
  for (const std::string& item : SplitList(text)) {
    bool known = false;
    for (const auto& part : kParts) {
      if (item == part.name) {
        skip |= part.bit;
        known = true;
      }
    }
    if (!known) {
      error = "--skip: unknown part \"" + item + "\" (executables, addon, wdb, adb, config)";
      return false;
    }
  }
  return true;
}

template <typename T>
bool ParseChoice(const std::string& option, const std::string& text,
                 std::initializer_list<std::pair<const char*, T>> choices, T& out,
                 std::string& error) {
  std::string names;
  for (const auto& choice : choices) {
    if (text == choice.first) {
      out = choice.second;
      return true;
    }
    names += names.empty() ? "" : ", ";
    names += choice.first;
  }
  error = option + " must be one of " + names + ", not \"" + text + "\"";
  return false;
}

}  // namespace

std::vector<AccountEntry> DefaultAccounts() {
  return {{"MY MAIN", 0}, {"ВОИН", 0}, {"THISISAVERYLONGACCOUNTNAME#1", 0}};
}

bool ParseFixtureOptions(const std::vector<std::string>& args, FixtureOptions& out,
                         std::string& error) {
  FixtureOptions options;
  ArgReader reader(args);
  bool folderGiven = false;
  while (!reader.Done()) {
    std::string name;
    if (!reader.Next(name)) {
      if (folderGiven) {
        error = "only one installation folder may be given (\"" + name + "\")";
        return false;
      }
      options.folder = name;
      folderGiven = true;
      continue;
    }
    std::string value;
    int64_t number = 0;
    // Options without a value.
    if (name == "--help" || name == "--crlf" || name == "--no-wdb-end-marker" ||
        name == "--no-launcher" || name == "--register" || name == "--unregister" ||
        name == "--verbose") {
      if (!reader.NoValue(error)) return false;
      if (name == "--help") options.help = true;
      if (name == "--crlf") options.crlf = true;
      if (name == "--no-wdb-end-marker") options.wdbEndMarker = false;
      if (name == "--no-launcher") options.launcher = false;
      if (name == "--register") options.registerInstall = true;
      if (name == "--unregister") options.unregister = true;
      if (name == "--verbose") options.verbose = true;
      continue;
    }
    static const char* const kValueOptions[] = {
        "--edition",      "--locales",       "--accounts",    "--loot",    "--records",
        "--wdb-records",  "--adb-records",   "--first-id",    "--padding", "--adb-record-size",
        "--adb-format",   "--offset-map-at", "--build",       "--seed",    "--realmlist",
        "--portal",       "--game-version",  "--executables", "--skip",    "--registry-view",
        "--install-path", "--fakegame-dir"};
    if (std::find(std::begin(kValueOptions), std::end(kValueOptions), name) ==
        std::end(kValueOptions)) {
      error = "unknown option " + name + " (see --help)";
      return false;
    }
    if (!reader.Value(value, error)) return false;
    if (name == "--edition") {
      if (!ParseChoice<GameEdition>(
              name, value,
              {{kEditionNames[0], Live}, {kEditionNames[1], PTR}, {kEditionNames[2], Beta}},
              options.edition, error)) {
        return false;
      }
    } else if (name == "--locales") {
      if (!ParseLocales(value, options.locales, error)) return false;
    } else if (name == "--accounts") {
      if (!ParseAccounts(value, options.accounts, error)) return false;
    } else if (name == "--loot") {
      if (!ParseNumber(name, value, 0, kMaxRecords, number, error)) return false;
      options.lootEntries = static_cast<int>(number);
    } else if (name == "--records" || name == "--wdb-records" || name == "--adb-records") {
      if (!ParseNumber(name, value, 0, kMaxRecords, number, error)) return false;
      if (name != "--adb-records") options.wdbRecords = static_cast<int32_t>(number);
      if (name != "--wdb-records") options.adbRecords = static_cast<int32_t>(number);
    } else if (name == "--first-id") {
      if (!ParseNumber(name, value, 1, kMaxInt32, number, error)) return false;
      options.firstId = static_cast<int32_t>(number);
    } else if (name == "--padding") {
      if (!ParseNumber(name, value, 0, kMaxAdbPadding, number, error)) return false;
      options.padding = static_cast<uint32_t>(number);
    } else if (name == "--adb-record-size") {
      if (!ParseNumber(name, value, 8, 65536, number, error)) return false;
      options.adbRecordSize = static_cast<uint32_t>(number);
    } else if (name == "--adb-format") {
      options.adbFormats.clear();
      for (const std::string& item : SplitList(value)) {
        AdbMagic magic;
        if (!AdbMagicFromName(item, magic)) {
          error = "--adb-format must list WCH8 or WCH2, not \"" + item + "\"";
          return false;
        }
        options.adbFormats.push_back(magic);
      }
      if (options.adbFormats.empty()) {
        error = "--adb-format needs WCH8 or WCH2";
        return false;
      }
    } else if (name == "--offset-map-at") {
      if (!ParseChoice<size_t>(name, value,
                               {{"52", kOffsetMapAfterHeader}, {"44", kOffsetMapInHeader}},
                               options.offsetMapStart, error)) {
        return false;
      }
    } else if (name == "--build") {
      if (!ParseNumber(name, value, 0, 0xFFFFFFFFll, number, error)) return false;
      options.build = static_cast<uint32_t>(number);
      options.buildGiven = true;
    } else if (name == "--seed") {
      if (!ParseNumber(name, value, 0, std::numeric_limits<int64_t>::max(), number, error)) {
        return false;
      }
      options.seed = static_cast<uint64_t>(number);
    } else if (name == "--realmlist") {
      options.realmlist = value;
    } else if (name == "--portal") {
      options.portal = value;
    } else if (name == "--game-version") {
      if (!ParseChoice<GameVersion>(
              name, value,
              {{"7", GameVersion::Seven}, {"6", GameVersion::Six}, {"retail", GameVersion::Retail}},
              options.gameVersion, error)) {
        return false;
      }
    } else if (name == "--executables") {
      if (!ParseChoice<ExecutableSet>(name, value,
                                      {{"both", ExecutableSet::Both},
                                       {"32", ExecutableSet::First},
                                       {"64", ExecutableSet::Second},
                                       {"none", ExecutableSet::None}},
                                      options.executables, error)) {
        return false;
      }
    } else if (name == "--skip") {
      if (!ParseSkip(value, options.skip, error)) return false;
    } else if (name == "--registry-view") {
      bool is32 = false;
      if (!ParseChoice<bool>(name, value, {{"64", false}, {"32", true}}, is32, error)) return false;
      options.registry32 = is32;
    } else if (name == "--install-path") {
      options.installPath = value;
      options.installPathGiven = true;
    } else if (name == "--fakegame-dir") {
      options.fakegameDir = value;
    }
  }
  if (!options.help && !options.unregister && !folderGiven) {
    error = "no installation folder given (see --help)";
    return false;
  }
  if (options.adbFormats.size() != 1 && options.adbFormats.size() != options.locales.size()) {
    error = "--adb-format needs one value, or one for each of the " +
            std::to_string(options.locales.size()) + " locales";
    return false;
  }
  const int64_t lastId =
      static_cast<int64_t>(options.firstId) + std::max(options.wdbRecords, options.adbRecords) - 1;
  if (lastId > kMaxInt32) {
    error =
        "--first-id plus the record count runs past the largest id " + std::to_string(kMaxInt32);
    return false;
  }
  out = options;
  return true;
}

std::string FixtureUsage() {
  return "usage: gamefixture [options] FOLDER\n"
         "       gamefixture --unregister [--edition E] [--registry-view V]\n"
         "Writes a sample game installation into FOLDER. Options (README.md has the details):\n"
         "  --edition live|ptr|beta      the installation's edition (live)\n"
         "  --locales LIST               locale folders, comma-separated (enUS)\n"
         "  --accounts LIST              account folders NAME[:DLUPLOADED],... (three samples)\n"
         "  --loot N                     loot lines per add-on file (20)\n"
         "  --crlf                       add-on files with \\r\\n line ends\n"
         "  --records N                  records per cache file, WDB and ADB (20)\n"
         "  --wdb-records N, --adb-records N\n"
         "  --first-id N                 id of each file's first record (1)\n"
         "  --padding N                  extra bytes per variable-length record (0)\n"
         "  --adb-record-size N          fixed ADB record size for every kind (each kind's own)\n"
         "  --adb-format LIST            WCH8 or WCH2, for all locales or one per locale (WCH8)\n"
         "  --offset-map-at 52|44        where item-sparse.adb's offset map starts (52)\n"
         "  --no-wdb-end-marker          no closing id 0 / length 0 frame in WDB files\n"
         "  --build N                    build in cache headers (the executable's build)\n"
         "  --seed N                     varies names and numbers (1)\n"
         "  --realmlist TEXT, --portal TEXT   configuration values; empty leaves the line out\n"
         "  --game-version 7|6|retail    7.x executables, 6.2.4 ones, or ones described Retail\n"
         "  --executables both|32|64|none     which of the edition's two executables (both)\n"
         "  --no-launcher                no \"World of Warcraft Launcher.exe\" (Live)\n"
         "  --skip LIST                  leave out executables,addon,wdb,adb,config\n"
         "  --register                   record the folder as \"InstallPath\" in HKLM\n"
         "  --unregister                 delete that record (no files are written)\n"
         "  --registry-view 64|32        registry view of both (64)\n"
         "  --install-path TEXT          the recorded text (the full folder path + \"\\\")\n"
         "  --fakegame-dir DIR           where the fakegame variants are (fakegame\\ beside this "
         "program)\n"
         "  --verbose                    list every file written\n";
}

std::vector<ExecutableCopy> ExecutablesFor(const FixtureOptions& options) {
  std::vector<ExecutableCopy> copies;
  if (options.skip & Part::Executables) return copies;
  const EditionInfo& info = InfoOf(options.edition);
  for (int i = 0; i < 2; ++i) {
    if (options.executables == ExecutableSet::None) break;
    if (options.executables == ExecutableSet::First && i == 1) continue;
    if (options.executables == ExecutableSet::Second && i == 0) continue;
    const std::string target = std::string(info.executables[i]).substr(1);  // without its '\'
    std::string source = target;
    if (options.gameVersion == GameVersion::Six) source = "Wow-6x.exe";
    if (options.gameVersion == GameVersion::Retail) source = "Wow-retail.exe";
    copies.push_back({source, target});
  }
  if (options.edition == Live && options.launcher) {
    copies.push_back({"World of Warcraft Launcher.exe", "World of Warcraft Launcher.exe"});
  }
  return copies;
}

std::string BuildSourceFor(const FixtureOptions& options) {
  if (options.gameVersion == GameVersion::Six) return "Wow-6x.exe";
  if (options.gameVersion == GameVersion::Retail) return "Wow-retail.exe";
  return std::string(InfoOf(options.edition).executables[0]).substr(1);
}

}  // namespace drovane::fixture
