#pragma once
// The texts of the main window's cache list, computed from the inventory counters, so the window
// only displays them. Pure.
#include <cstdint>
#include <string>
#include <vector>

#include "data/CacheInventory.h"

namespace drovane {

// "-" when there are no records, else the uploaded share as "%i%%" (integer division).
std::string PercentText(int64_t uploadedRecords, int64_t records);

struct CacheRowTexts {
  std::string type;
  std::string count;
  std::string size;
  std::string uploaded;
  std::string description;
};

// One WDB kind (AddCacheKindRow) or one ADB kind with a display name (AddAdbKindRow).
CacheRowTexts CacheKindRow(const CacheKind& kind, const CacheFileEntry& entry);
// The "ADB files" total over the seven ADB kinds (AddAdbSummaryRow).
CacheRowTexts AdbSummaryRow(const CacheFileEntry (&adb)[kAdbKindCount]);

// The whole list in display order: the four WDB kinds, the ADB kinds that have a display name,
// then the ADB total.
std::vector<CacheRowTexts> CacheListRows(const CacheCounters& counters);

}  // namespace drovane
