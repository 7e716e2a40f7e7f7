#pragma once
// Writes game cache files for the scan benchmark: three installations with two locale folders
// each, holding the four WDB kinds and the seven ADB kinds in the layouts the inventory reads.
//
//   <build>/wine-run <build>/bin/scan_bench.exe [records] [sweep records]
#include <cstdint>
#include <random>
#include <string>

namespace drovane::bench {

struct SampleSize {
  int64_t files = 0;
  int64_t records = 0;
  int64_t bytes = 0;
};

// A WDB file of `records` records with data lengths drawn from [minData, maxData].
std::string WdbBytes(int32_t build, int32_t firstId, int64_t records, int minData, int maxData,
                     std::mt19937& random);

// Game folders root\Live, root\PTR and root\Beta, each with Cache\WDB and Cache\ADB folders for
// enUS and deDE; about `records` records in all, small ones as the game writes them.
SampleSize WriteInstallations(const std::string& root, int64_t records);

// Saves id sets for every key with every other id of the first half marked uploaded, so the
// scan reads real state files.
void WriteStateFiles(const std::string& stateFolder, int64_t records);

}  // namespace drovane::bench
