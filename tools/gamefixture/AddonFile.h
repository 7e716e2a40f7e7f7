#pragma once
// The add-on's SavedVariables file "+Drovane_Looter.lua" as text, and the changes the add-on
// makes to it while the game runs. The lines the client reads are:
//   dlVersion = <n>
//   dlUploaded = <n>
//   dlStats = "<a>^<b>^<c>^<d>^<e>^<f>"
//   dlExportData = "<characters>"
// between them sits the collected data (a "dlLoot" table), which the client treats as opaque.
#include <cstdint>
#include <string>

namespace drovane::fixture {

constexpr char kAddonFileName[] = "+Drovane_Looter.lua";
constexpr int kStatCount = 6;

struct AddonFileParams {
  int version = 7;
  int uploaded = 0;  // the dlUploaded value
  int32_t stats[kStatCount] = {0, 0, 0, 0, 0, 0};
  int lootEntries = 0;     // lines of collected data
  std::string exportData;  // empty: no dlExportData line
  bool crlf = false;       // end lines with "\r\n" instead of "\n"
  uint64_t seed = 1;       // content of the loot lines
};

std::string BuildAddonFile(const AddonFileParams& params);

// A plausible file for one account: counters from the seed (the fourth, loots, equals the
// number of loot lines, the sixth the number of characters exported), an export line of one
// to three characters.
AddonFileParams SampleAddonParams(const std::string& accountName, uint64_t seed, int lootEntries);

// One line of collected data (without indentation, quotes or line end).
std::string LootEntry(uint64_t seed, int index);

// Changes made as the add-on makes them. Each keeps the file's line ends ("\r\n" when the text
// holds one, else "\n") and leaves every other line as it is; a missing line is added at the end.
std::string SetAddonUploaded(const std::string& text, int uploaded);
std::string SetAddonStats(const std::string& text, const int32_t (&stats)[kStatCount]);
// Adds count loot lines at the end of the dlLoot table (a missing table is added).
std::string AddLootEntries(const std::string& text, int count, uint64_t seed);
// Reads the six decimal counters of the first dlStats line; false when there are not six.
bool ReadAddonStats(const std::string& text, int32_t (&stats)[kStatCount]);

}  // namespace drovane::fixture
