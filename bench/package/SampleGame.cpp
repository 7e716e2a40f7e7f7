#include "SampleGame.h"

#include <random>
#include <vector>

#include "base/DataFile.h"
#include "data/CacheKind.h"

namespace drovane::bench {
namespace {

const char* const kWords[] = {
    "the",     "Defias", "Bandit",     "of",         "Stormwind", "Elwynn", "Forest", "quest",
    "Kill",    "wolves", "and",        "bring",      "back",      "their",  "pelts",  "to",
    "Marshal", "Dughan", "Goldshire",  "copper",     "ore",       "Murloc", "Scout",  "Tiny",
    "Chest",   "Herb",   "Silverleaf", "Peacebloom", "Page",      "Book"};

void PutU32(std::string& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((value >> (8 * i)) & 0xFF));
}

void PutU16(std::string& out, uint32_t value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

// Words, small numbers and a little noise: about what a cache record holds.
void AppendPayload(std::string& out, size_t length, std::mt19937& random) {
  const size_t end = out.size() + length;
  while (out.size() < end) {
    const uint32_t pick = random() % 10;
    if (pick < 6) {
      out += kWords[random() % (sizeof kWords / sizeof kWords[0])];
      out.push_back(pick == 0 ? '\0' : ' ');
    } else if (pick < 9) {
      PutU32(out, random() % 3000);
    } else {
      PutU32(out, static_cast<uint32_t>(random()));
    }
  }
  out.resize(end);
}

std::string AdbHeader(const char* magic, int32_t count, int32_t recordSize, int32_t strings) {
  std::string header(magic, 4);
  PutU32(header, static_cast<uint32_t>(count));
  PutU32(header, static_cast<uint32_t>(recordSize / 4));
  PutU32(header, static_cast<uint32_t>(recordSize));
  PutU32(header, static_cast<uint32_t>(strings));
  PutU32(header, 0x1234ABCD);
  PutU32(header, kSampleBuild);
  header.resize(52, '\0');
  return header;
}

std::string WdbBytes(int32_t records, std::mt19937& random) {
  std::string file = "BOMW";
  PutU32(file, kSampleBuild);
  file += "SUne";
  PutU32(file, 1);
  PutU32(file, 0);
  PutU32(file, 0);
  for (int32_t id = 1; id <= records; ++id) {
    const size_t length = 200 + random() % 2400;
    PutU32(file, static_cast<uint32_t>(id));
    PutU32(file, static_cast<uint32_t>(length));
    AppendPayload(file, length, random);
  }
  file.append(8, '\0');
  return file;
}

// "WCH8" in the layout the kind's flags give (the upload's walks).
std::string AdbBytes(const CacheKind& kind, int32_t records, std::mt19937& random) {
  const int32_t recordSize = 64;
  if (kind.layoutFlags & ADB_OFFSET_MAP) {
    std::string entries, data;
    const uint32_t dataStart = 52 + 10 * static_cast<uint32_t>(records);
    for (int32_t id = 1; id <= records; ++id) {
      const size_t length = 100 + random() % 1500;
      PutU32(entries, static_cast<uint32_t>(id));
      PutU32(entries, dataStart + static_cast<uint32_t>(data.size()));
      PutU16(entries, static_cast<uint32_t>(length));
      AppendPayload(data, length, random);
    }
    // The header's record size leaves room for the id list the header check expects.
    return AdbHeader("WCH8", records, 0, 0) + entries + data;
  }
  std::string strings(1, '\0');
  AppendPayload(strings, static_cast<size_t>(records) * 8, random);
  std::string body;
  if (kind.layoutFlags & ADB_ID_LIST) {
    for (int32_t id = 1; id <= records; ++id) AppendPayload(body, recordSize, random);
    body += strings;
    for (int32_t id = 1; id <= records; ++id) PutU32(body, static_cast<uint32_t>(id));
  } else {
    for (int32_t id = 1; id <= records; ++id) {
      PutU32(body, static_cast<uint32_t>(id));
      AppendPayload(body, recordSize - 4, random);
    }
    body += strings;
  }
  return AdbHeader("WCH8", records, recordSize, static_cast<int32_t>(strings.size())) + body;
}

std::string AddonBytes(int lines, std::mt19937& random) {
  std::string text = "dlVersion = 7\r\ndlUploaded = 0\r\ndlStats = \"1^2^3^4^5^6\"\r\n";
  text += "dlExportData = \"Aldor^Thrall^60^Human^Paladin\"\r\ndlLoot = {\r\n";
  for (int i = 0; i < lines; ++i) {
    text += "\t\"" + std::to_string(random() % 200000) + ":" + kWords[random() % 30] + ":" +
            std::to_string(random() % 100) + "\",\r\n";
  }
  return text + "}\r\n";
}

bool WriteFile(const std::string& path, const std::string& bytes) {
  DataFile file;
  return file.Open(path, FileMode::Write | FileMode::CreateDirs) && file.Write(bytes);
}

}  // namespace

int64_t WriteSampleGame(const std::string& folder, int64_t megabytes) {
  std::mt19937 random(2016);
  int64_t written = 0;
  // Three quarters of the bytes in WDB files (about 1.4 KB a record), the rest in ADB files.
  const int64_t wdbRecords = megabytes * 1024 * 1024 * 3 / 4 / 8 / 1420;
  const int64_t adbRecords = megabytes * 1024 * 1024 / 4 / 2 / 7 / 330;
  for (const char* locale : {"enUS", "deDE"}) {
    for (const CacheKind& kind : kWdbKinds) {
      const std::string bytes = WdbBytes(static_cast<int32_t>(wdbRecords), random);
      WriteFile(folder + "\\Cache\\WDB\\" + locale + "\\" + kind.fileName, bytes);
      written += static_cast<int64_t>(bytes.size());
    }
    for (const CacheKind& kind : kAdbKinds) {
      const std::string bytes = AdbBytes(kind, static_cast<int32_t>(adbRecords), random);
      WriteFile(folder + "\\Cache\\ADB\\" + locale + "\\" + kind.fileName, bytes);
      written += static_cast<int64_t>(bytes.size());
    }
    WriteFile(folder + "\\Data\\" + locale + "\\realmlist.wtf",
              "set realmlist us.logon.worldofwarcraft.com\r\n");
  }
  WriteFile(folder + "\\WTF\\Config.wtf", "SET portal \"US\"\r\n");
  for (const char* account : {"FIRST", "SECOND ACCOUNT", "THIRD"}) {
    const std::string bytes = AddonBytes(40000, random);
    WriteFile(folder + "\\WTF\\Account\\" + account + "\\SavedVariables\\+Drovane_Looter.lua",
              bytes);
    written += static_cast<int64_t>(bytes.size());
  }
  return written;
}

}  // namespace drovane::bench
