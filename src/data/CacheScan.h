#pragma once
// ScanCaches: the inventory of every cache file of every installation, for the main window's
// cache list and its Upload button. Pure: folders are listed and id sets loaded through the
// functions it is given.
#include <functional>
#include <string>
#include <vector>

#include "data/CacheInventory.h"
#include "game/GameDiscovery.h"
#include "game/GameEdition.h"

namespace drovane {

// Lists the locale folders of a game folder's WDB or ADB cache (ListCacheLocales in the client).
using LocaleLister =
    std::function<void(const std::string&, CacheFolderKind, std::vector<std::string>&)>;

struct CacheScanSources {
  std::string gameFolders[kEditionCount];  // empty: edition not configured
  LocaleLister listLocales;
  IdSetLoader loadIdSet;  // in the client: UploadedIdSet::Load from the state folder
};

// Zeroes the counters, walks every WDB and ADB file of the kinds the client knows, in the order
// Live, PTR, Beta, locale folder, kind, logging one line per file, and returns how many files
// hold records not uploaded before.
int ScanCaches(const CacheScanSources& sources, CacheCounters& counters);

}  // namespace drovane
