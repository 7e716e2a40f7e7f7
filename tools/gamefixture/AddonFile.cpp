#include "gamefixture/AddonFile.h"

#include <cstdlib>

#include "gamefixture/Random.h"

namespace drovane::fixture {
namespace {

constexpr char kUploadedKey[] = "dlUploaded = ";
constexpr char kStatsKey[] = "dlStats";
constexpr char kLootTable[] = "dlLoot = {";

std::string LineEnd(const std::string& text) {
  return text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
}

std::string StatsLine(const int32_t (&stats)[kStatCount]) {
  std::string line = "dlStats = \"";
  for (int i = 0; i < kStatCount; ++i) {
    if (i > 0) line += '^';
    line += std::to_string(stats[i]);
  }
  return line + "\"";
}

// End of the line holding position: the offset of its "\r\n" or "\n", or the text's end.
size_t LineEndAt(const std::string& text, size_t position) {
  size_t end = text.find('\n', position);
  if (end == std::string::npos) end = text.size();
  if (end > position && text[end - 1] == '\r') --end;
  return end;
}

std::string AppendLine(const std::string& text, const std::string& line) {
  const std::string eol = LineEnd(text);
  std::string result = text;
  if (!result.empty() && result.back() != '\n') result += eol;
  return result + line + eol;
}

// Replaces from the first occurrence of key to the end of its line with line.
std::string ReplaceLineFrom(const std::string& text, const std::string& key,
                            const std::string& line) {
  const size_t start = text.find(key);
  if (start == std::string::npos) return AppendLine(text, line);
  const size_t end = LineEndAt(text, start);
  return text.substr(0, start) + line + text.substr(end);
}

std::string LootLines(int count, uint64_t seed, int firstIndex, const std::string& eol) {
  std::string lines;
  for (int i = 0; i < count; ++i) lines += "\t\"" + LootEntry(seed, firstIndex + i) + "\"," + eol;
  return lines;
}

}  // namespace

std::string LootEntry(uint64_t seed, int index) {
  Random random(MixSeed(seed, static_cast<uint64_t>(index)));
  // creature^item^count^zone^x^y, as the add-on records a loot
  return std::to_string(1 + random.Below(120000)) + "^" + std::to_string(1 + random.Below(150000)) +
         "^" + std::to_string(1 + random.Below(20)) + "^" + std::to_string(1 + random.Below(1200)) +
         "^" + std::to_string(random.Below(10000)) + "^" + std::to_string(random.Below(10000));
}

std::string BuildAddonFile(const AddonFileParams& params) {
  const std::string eol = params.crlf ? "\r\n" : "\n";
  std::string text = eol;
  text += "dlVersion = " + std::to_string(params.version) + eol;
  text += kUploadedKey + std::to_string(params.uploaded) + eol;
  text += StatsLine(params.stats) + eol;
  text += kLootTable + eol;
  text += LootLines(params.lootEntries, params.seed, 0, eol);
  text += "}" + eol;
  if (!params.exportData.empty()) text += "dlExportData = \"" + params.exportData + "\"" + eol;
  return text;
}

AddonFileParams SampleAddonParams(const std::string& accountName, uint64_t seed, int lootEntries) {
  static const char* const kClasses[] = {"WARRIOR", "MAGE", "PRIEST", "HUNTER", "DRUID"};
  static const char* const kRealms[] = {"Silvermoon", "Khaz Modan", "Гордунни"};
  AddonFileParams params;
  params.seed = MixSeed(seed, TextHash(accountName));
  Random random(params.seed);
  const int characters = 1 + static_cast<int>(random.Below(3));
  params.stats[0] = static_cast<int32_t>(random.Below(50));
  params.stats[1] = static_cast<int32_t>(random.Below(50));
  params.stats[2] = static_cast<int32_t>(random.Below(50));
  params.stats[3] = lootEntries;
  params.stats[4] = static_cast<int32_t>(random.Below(500));
  params.stats[5] = characters;
  params.lootEntries = lootEntries;
  for (int i = 0; i < characters; ++i) {
    if (i > 0) params.exportData += '|';
    params.exportData += "Char" + std::to_string(i + 1) + "^" + kRealms[random.Below(3)] + "^" +
                         kClasses[random.Below(5)] + "^" + std::to_string(10 + random.Below(101)) +
                         "^" + std::to_string(random.Below(1000000));
  }
  return params;
}

std::string SetAddonUploaded(const std::string& text, int uploaded) {
  return ReplaceLineFrom(text, kUploadedKey, kUploadedKey + std::to_string(uploaded));
}

std::string SetAddonStats(const std::string& text, const int32_t (&stats)[kStatCount]) {
  return ReplaceLineFrom(text, kStatsKey, StatsLine(stats));
}

std::string AddLootEntries(const std::string& text, int count, uint64_t seed) {
  const std::string eol = LineEnd(text);
  const size_t table = text.find(kLootTable);
  if (table == std::string::npos) {
    return AppendLine(text, kLootTable) + LootLines(count, seed, 0, eol) + "}" + eol;
  }
  // The table closes with a line holding only "}".
  size_t close = text.find("\n}", table);
  close = close == std::string::npos ? text.size() : close + 1;
  int existing = 0;
  for (size_t at = text.find("\n\t\"", table); at != std::string::npos && at < close;
       at = text.find("\n\t\"", at + 1)) {
    ++existing;
  }
  return text.substr(0, close) + LootLines(count, seed, existing, eol) + text.substr(close);
}

bool ReadAddonStats(const std::string& text, int32_t (&stats)[kStatCount]) {
  const size_t start = text.find("dlStats = \"");
  if (start == std::string::npos) return false;
  const char* cursor = text.c_str() + start + 11;
  for (int i = 0; i < kStatCount; ++i) {
    char* end = nullptr;
    const long value = std::strtol(cursor, &end, 10);
    if (end == cursor) return false;
    stats[i] = static_cast<int32_t>(value);
    cursor = end;
    if (i < kStatCount - 1) {
      if (*cursor != '^') return false;
      ++cursor;
    }
  }
  return true;
}

}  // namespace drovane::fixture
