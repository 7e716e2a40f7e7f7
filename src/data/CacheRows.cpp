#include "data/CacheRows.h"

#include "base/TextHelpers.h"

namespace drovane {

std::string PercentText(int64_t uploadedRecords, int64_t records) {
  if (records < 1) return "-";
  return std::to_string(uploadedRecords * 100 / records) + "%";
}

CacheRowTexts CacheKindRow(const CacheKind& kind, const CacheFileEntry& entry) {
  return {kind.displayName, std::to_string(entry.records),
          FormatSize(static_cast<double>(entry.bytes), false),
          PercentText(entry.uploadedRecords, entry.records), kind.description};
}

CacheRowTexts AdbSummaryRow(const CacheFileEntry (&adb)[kAdbKindCount]) {
  CacheFileEntry total;
  for (const CacheFileEntry& entry : adb) {
    total.files += entry.files;
    total.records += entry.records;
    total.uploadedRecords += entry.uploadedRecords;
    total.bytes += entry.bytes;
  }
  return {"ADB files", std::to_string(total.files) + (total.files == 1 ? " file" : " files"),
          FormatSize(static_cast<double>(total.bytes), false),
          PercentText(total.uploadedRecords, total.records), "WoW cache files"};
}

std::vector<CacheRowTexts> CacheListRows(const CacheCounters& counters) {
  std::vector<CacheRowTexts> rows;
  for (int kind = 0; kind < kWdbKindCount; ++kind) {
    rows.push_back(CacheKindRow(kWdbKinds[kind], counters.wdb[kind]));
  }
  for (int kind = 0; kind < kAdbKindCount; ++kind) {
    if (kAdbKinds[kind].displayName[0] != '\0') {
      rows.push_back(CacheKindRow(kAdbKinds[kind], counters.adb[kind]));
    }
  }
  rows.push_back(AdbSummaryRow(counters.adb));
  return rows;
}

}  // namespace drovane
