#pragma once
// What a confirmed upload leaves behind: the statistics, the record-id state files and the
// "dlUploaded = " line of every add-on file.
#include <cstdint>
#include <functional>
#include <string>

#include "data/UploadStateMap.h"
#include "game/GameEdition.h"
#include "upload/UploadCopy.h"

namespace drovane {

class Settings;

// "#Uploads" + 1 and "TotalUploaded" + bytes under the statistics key, read first when the
// cached field is still 0 (the CountStart pattern). The total stops at the largest 32-bit value
// instead of wrapping around.
uint32_t CountUpload(Settings& settings);
uint32_t AddUploadedBytes(Settings& settings, uint64_t bytes);

// "LastUpload": the time as 64-bit seconds since 1970, 8 raw bytes.
bool WriteLastUpload(int64_t secondsSince1970);
// The stored time of the last successful upload; false when there is none or it is not the
// 8 bytes written above.
bool ReadLastUpload(int64_t& secondsSince1970);
int64_t CurrentUnixTime();

// Saves every set of the list into the state folder (one file each; a failure is logged and the
// file keeps its earlier ids) and empties the list.
void SaveIdSets(IdSetList& list, const std::string& stateFolder);

// Writes each add-on file's upload state back as its "dlUploaded = " line, for every account
// folder of every configured installation, and then removes the add-on's ".bak" file beside it.
// A file is rewritten in one step (a temporary file takes its place), so a failed write leaves
// it (and its backup) as it was; a file that exists but cannot be read is left alone. While
// gameRunning (asked before each file) says the game runs, the file is left for the next upload.
void WriteUploadedLines(const std::string (&gameFolders)[kEditionCount], UploadStateMap& states,
                        const std::function<bool()>& gameRunning = {});

}  // namespace drovane
