#include "fakegame/FakeGameOptions.h"

#include <algorithm>
#include <iterator>
#include <limits>

#include "gamefixture/ArgReader.h"

namespace drovane::fakegame {
namespace {

using fixture::ArgReader;
using fixture::ParseNumber;

constexpr int64_t kMaxInt32 = std::numeric_limits<int32_t>::max();
constexpr int64_t kMaxRecords = 10000000;
constexpr int64_t kOneDayMs = 86400000;

// "KIND:COUNT[:FIRSTID]"
bool ParseRecordsArgument(const std::string& option, const std::string& text, std::string& kind,
                          int32_t& count, int32_t& firstId, std::string& error) {
  const std::vector<std::string> parts = [&] {
    std::vector<std::string> pieces;
    size_t start = 0;
    for (size_t colon; (colon = text.find(':', start)) != std::string::npos; start = colon + 1) {
      pieces.push_back(text.substr(start, colon - start));
    }
    pieces.push_back(text.substr(start));
    return pieces;
  }();
  if (parts.size() < 2 || parts.size() > 3) {
    error = option + " needs KIND:COUNT or KIND:COUNT:FIRSTID, not \"" + text + "\"";
    return false;
  }
  kind = parts[0];
  int64_t number = 0;
  if (!ParseNumber(option, parts[1], 0, kMaxRecords, number, error)) return false;
  count = static_cast<int32_t>(number);
  if (parts.size() == 3) {
    if (!ParseNumber(option, parts[2], 1, kMaxInt32 - count + (count > 0 ? 1 : 0), number, error)) {
      return false;
    }
    firstId = static_cast<int32_t>(number);
  }
  return true;
}

// "ACCOUNT=VALUE": the account is everything before the last '='.
bool SplitAccount(const std::string& option, const std::string& text, std::string& account,
                  std::string& value, std::string& error) {
  const size_t equals = text.rfind('=');
  if (equals == std::string::npos || equals == 0) {
    error = option + " needs ACCOUNT=VALUE, not \"" + text + "\"";
    return false;
  }
  account = text.substr(0, equals);
  value = text.substr(equals + 1);
  return true;
}

bool ParseStats(const std::string& option, const std::string& text,
                int32_t (&stats)[fixture::kStatCount], std::string& error) {
  size_t start = 0;
  for (int i = 0; i < fixture::kStatCount; ++i) {
    const size_t caret = text.find('^', start);
    const bool last = i == fixture::kStatCount - 1;
    if (last != (caret == std::string::npos)) {
      error = option + " needs six counters joined by '^', not \"" + text + "\"";
      return false;
    }
    int64_t number = 0;
    if (!ParseNumber(option, text.substr(start, last ? std::string::npos : caret - start), 0,
                     kMaxInt32, number, error)) {
      return false;
    }
    stats[i] = static_cast<int32_t>(number);
    start = caret + 1;
  }
  return true;
}

}  // namespace

bool ParseFakeGameOptions(const std::vector<std::string>& args, FakeGameOptions& out,
                          std::string& error) {
  FakeGameOptions options;
  ArgReader reader(args);
  while (!reader.Done()) {
    std::string name;
    if (!reader.Next(name)) {
      error = "unexpected argument \"" + name + "\" (see --help)";
      return false;
    }
    if (name == "--until-closed" || name == "--no-wdb-end-marker" || name == "--help") {
      if (!reader.NoValue(error)) return false;
      if (name == "--until-closed") options.untilClosed = true;
      if (name == "--no-wdb-end-marker") options.wdbEndMarker = false;
      if (name == "--help") options.help = true;
      continue;
    }
    static const char* const kValueOptions[] = {
        "--run-ms",    "--exit-code",    "--game-folder", "--locale",     "--title",
        "--write-at",  "--append-wdb",   "--write-adb",   "--adb-format", "--collect",
        "--set-stats", "--set-uploaded", "--padding",     "--seed",       "--build"};
    if (std::find(std::begin(kValueOptions), std::end(kValueOptions), name) ==
        std::end(kValueOptions)) {
      error = "unknown option " + name + " (see --help)";
      return false;
    }
    std::string value;
    if (!reader.Value(value, error)) return false;
    int64_t number = 0;
    if (name == "--run-ms") {
      if (!ParseNumber(name, value, 0, kOneDayMs, number, error)) return false;
      options.runMs = static_cast<uint32_t>(number);
      options.runMsGiven = true;
    } else if (name == "--exit-code") {
      if (!ParseNumber(name, value, 0, 255, number, error)) return false;
      options.exitCode = static_cast<int>(number);
    } else if (name == "--game-folder") {
      options.gameFolder = value;
    } else if (name == "--locale") {
      if (value.empty() || value.find_first_of("\\/:*?\"<>|") != std::string::npos) {
        error = "--locale: \"" + value + "\" cannot be a folder name";
        return false;
      }
      options.locale = value;
    } else if (name == "--title") {
      options.title = value;
    } else if (name == "--write-at") {
      if (value == "exit") {
        options.writeAt = WriteAt::Exit;
      } else if (value == "start") {
        options.writeAt = WriteAt::Start;
      } else {
        error = "--write-at must be exit or start, not \"" + value + "\"";
        return false;
      }
    } else if (name == "--append-wdb") {
      WdbAppend append;
      std::string kind;
      if (!ParseRecordsArgument(name, value, kind, append.count, append.firstId, error))
        return false;
      if (!fixture::WdbKindFromName(kind, append.kind)) {
        error = "--append-wdb: unknown kind \"" + kind + "\" (creatures, objects, pages, quests)";
        return false;
      }
      options.wdbAppends.push_back(append);
    } else if (name == "--write-adb") {
      AdbWrite write;
      std::string kind;
      if (!ParseRecordsArgument(name, value, kind, write.count, write.firstId, error)) return false;
      if (!fixture::AdbKindFromName(kind, write.kindIndex)) {
        error = "--write-adb: unknown file \"" + kind + "\"";
        return false;
      }
      options.adbWrites.push_back(write);
    } else if (name == "--adb-format") {
      if (!fixture::AdbMagicFromName(value, options.adbFormat)) {
        error = "--adb-format must be WCH8 or WCH2, not \"" + value + "\"";
        return false;
      }
    } else if (name == "--collect" || name == "--set-uploaded" || name == "--set-stats") {
      AddonChange change;
      std::string text;
      if (!SplitAccount(name, value, change.account, text, error)) return false;
      if (name == "--set-stats") {
        change.what = AddonChange::What::Stats;
        if (!ParseStats(name, text, change.stats, error)) return false;
      } else {
        change.what =
            name == "--collect" ? AddonChange::What::Collect : AddonChange::What::Uploaded;
        if (!ParseNumber(name, text, 0, name == "--collect" ? kMaxRecords : kMaxInt32, number,
                         error)) {
          return false;
        }
        change.value = static_cast<int32_t>(number);
      }
      options.addonChanges.push_back(change);
    } else if (name == "--padding") {
      if (!ParseNumber(name, value, 0, fixture::kMaxAdbPadding, number, error)) return false;
      options.padding = static_cast<uint32_t>(number);
    } else if (name == "--seed") {
      if (!ParseNumber(name, value, 0, std::numeric_limits<int64_t>::max(), number, error)) {
        return false;
      }
      options.seed = static_cast<uint64_t>(number);
    } else if (name == "--build") {
      if (!ParseNumber(name, value, 0, 0xFFFFFFFFll, number, error)) return false;
      options.build = static_cast<uint32_t>(number);
      options.buildGiven = true;
    }
  }
  out = options;
  return true;
}

std::string FakeGameUsage() {
  return "usage: Wow.exe [options]   (any fakegame variant)\n"
         "Shows a window of class \"GxWindowClass\" and ends after a while, writing game and "
         "add-on\n"
         "data first. Options (tools/gamefixture/README.md has the details):\n"
         "  --run-ms N                  run N milliseconds (3000)\n"
         "  --until-closed              run until the window is closed (also --run-ms if given)\n"
         "  --exit-code N               the process's exit code (0)\n"
         "  --game-folder DIR           the installation (the executable's folder)\n"
         "  --locale L                  cache locale folder (enUS)\n"
         "  --title TEXT                window title (World of Warcraft)\n"
         "  --write-at exit|start       when the data below is written (exit)\n"
         "  --append-wdb KIND:COUNT[:FIRSTID]  add records to a WDB cache\n"
         "  --write-adb FILE:COUNT[:FIRSTID]   write an ADB cache anew\n"
         "  --adb-format WCH8|WCH2      format of --write-adb files (WCH8)\n"
         "  --collect ACCOUNT=N         the add-on collects N loot lines (dlUploaded becomes 0)\n"
         "  --set-stats ACCOUNT=a^b^c^d^e^f   the add-on's dlStats counters\n"
         "  --set-uploaded ACCOUNT=N    the dlUploaded value\n"
         "  --padding N, --seed N, --build N, --no-wdb-end-marker   as for gamefixture\n";
}

}  // namespace drovane::fakegame
