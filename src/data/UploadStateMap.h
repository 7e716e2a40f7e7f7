#pragma once
// Upload-state bits of every add-on file the scan has read, by the file's full path. Written by
// the scan, updated while an upload is prepared, written back into the files after a confirmed
// upload. GUI thread only.
#include <map>
#include <string>

namespace drovane {

// A lookup of a path not yet in the map (operator[]) inserts it with 0.
using UploadStateMap = std::map<std::string, int>;

// The process-wide map; it lives for the whole run and is never cleared.
UploadStateMap& UploadStates();

}  // namespace drovane
