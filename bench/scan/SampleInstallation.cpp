#include "SampleInstallation.h"

#include <algorithm>

#include "base/DataFile.h"
#include "data/CacheKind.h"
#include "data/UploadedIdSet.h"

namespace drovane::bench {
namespace {

// Each installation runs its own build, so every file has a key of its own.
const char* const kGames[] = {"Live", "PTR", "Beta"};
const int32_t kBuilds[] = {22810, 22900, 23010};
const char* const kLocales[] = {"enUS", "deDE"};
constexpr int kWdbShare = 70;  // percent of the records in WDB files

void Put32(std::string& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

void WriteFile(const std::string& path, const std::string& bytes, SampleSize& size) {
  DataFile file;
  if (file.Open(path, FileMode::Write | FileMode::CreateDirs)) file.Write(bytes);
  ++size.files;
  size.bytes += static_cast<int64_t>(bytes.size());
}

std::string AdbHeader(const char* magic, int64_t count, int32_t recordSize, int32_t strings,
                      int32_t build) {
  std::string header = magic;
  Put32(header, static_cast<uint32_t>(count));
  Put32(header, 8);
  Put32(header, static_cast<uint32_t>(recordSize));
  Put32(header, static_cast<uint32_t>(strings));
  Put32(header, 0);
  Put32(header, static_cast<uint32_t>(build));
  header.resize(std::string(magic) == "WCH8" ? 52 : 48, '\0');
  return header;
}

// Every kind in the layout its flags give a "WCH8" file; item.adb as "WCH2" records.
std::string AdbBytes(int kind, int32_t build, int64_t count, std::mt19937& random) {
  const CacheKind& info = kAdbKinds[kind];
  const int32_t recordSize = 32;
  const std::string strings(static_cast<size_t>(count) * 12, 's');
  std::string file;
  if (info.layoutFlags & ADB_OFFSET_MAP) {
    // The table follows the whole 52-byte header; the records' data follows the table.
    file = AdbHeader("WCH8", count, recordSize, 0, build);
    std::vector<int> lengths(static_cast<size_t>(count));
    uint32_t dataOffset = static_cast<uint32_t>(52 + 10 * count);
    for (int64_t i = 0; i < count; ++i) {
      lengths[i] = 40 + static_cast<int>(random() % 200);
      Put32(file, static_cast<uint32_t>(i + 1));
      Put32(file, dataOffset);
      file += static_cast<char>(lengths[i] & 0xFF);
      file += static_cast<char>(lengths[i] >> 8);
      dataOffset += static_cast<uint32_t>(lengths[i]);
    }
    for (int length : lengths) file.append(static_cast<size_t>(length), 'd');
  } else if (kind != 0 && (info.layoutFlags & ADB_ID_LIST)) {
    file = AdbHeader("WCH8", count, recordSize, static_cast<int32_t>(strings.size()), build);
    // The records, the string block, then the ids closing the file.
    file.append(static_cast<size_t>(count * recordSize), 'r');
    file += strings;
    for (int64_t i = 0; i < count; ++i) Put32(file, static_cast<uint32_t>(i + 1));
  } else {
    file = AdbHeader(kind == 0 ? "WCH2" : "WCH8", count, recordSize,
                     static_cast<int32_t>(strings.size()), build);
    for (int64_t i = 0; i < count; ++i) {
      Put32(file, static_cast<uint32_t>(i + 1));
      file.append(recordSize - 4, 'r');
    }
    file += strings;
  }
  return file;
}

}  // namespace

std::string WdbBytes(int32_t build, int32_t firstId, int64_t records, int minData, int maxData,
                     std::mt19937& random) {
  std::string file = "BOMW";
  Put32(file, static_cast<uint32_t>(build));
  file.append(16, '\0');
  const int span = maxData - minData + 1;
  for (int64_t i = 0; i < records; ++i) {
    const int length = minData + static_cast<int>(random() % static_cast<unsigned>(span));
    Put32(file, static_cast<uint32_t>(firstId + i));
    Put32(file, static_cast<uint32_t>(length));
    file.append(static_cast<size_t>(length), 'w');
  }
  return file;
}

SampleSize WriteInstallations(const std::string& root, int64_t records) {
  std::mt19937 random(2016);
  SampleSize size;
  const int64_t perLocale = records / 6;
  const int64_t wdbPerFile = perLocale * kWdbShare / 100 / 4;
  const int64_t adbPerFile = perLocale * (100 - kWdbShare) / 100 / 7;
  for (int game = 0; game < 3; ++game) {
    const int32_t build = kBuilds[game];
    for (const char* locale : kLocales) {
      const std::string wdb = root + "\\" + kGames[game] + "\\Cache\\WDB\\" + locale + "\\";
      for (const CacheKind& kind : kWdbKinds) {
        WriteFile(wdb + kind.fileName, WdbBytes(build, 1, wdbPerFile, 20, 400, random), size);
        size.records += wdbPerFile;
      }
      const std::string adb = root + "\\" + kGames[game] + "\\Cache\\ADB\\" + locale + "\\";
      for (int kind = 0; kind < kAdbKindCount; ++kind) {
        WriteFile(adb + kAdbKinds[kind].fileName, AdbBytes(kind, build, adbPerFile, random), size);
        size.records += adbPerFile;
      }
    }
  }
  return size;
}

void WriteStateFiles(const std::string& stateFolder, int64_t records) {
  const int64_t half = std::min<int64_t>(records / 12, UploadedIdSet::kIdLimit - 1);
  for (int32_t build : kBuilds) {
    for (const char* locale : kLocales) {
      auto save = [&](const char* fileName) {
        UploadedIdSet set(fileName, locale, build);
        for (int64_t id = 1; id <= half; id += 2) set.Add(static_cast<int32_t>(id));
        set.Save(stateFolder);
      };
      for (const CacheKind& kind : kWdbKinds) save(kind.fileName);
      for (const CacheKind& kind : kAdbKinds) save(kind.fileName);
    }
  }
}

}  // namespace drovane::bench
