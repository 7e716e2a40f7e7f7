// Measures ScanCaches against reading the same cache files whole, one plain read per file, in
// the same run, and shows how the scan's cost follows the number of records rather than their
// size. Not a test: it prints figures.
//   scan_bench.exe [records, default 600000] [records per sweep file, default 1000]
#include <windows.h>
#include <psapi.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <vector>

#include "SampleInstallation.h"
#include "base/DataFile.h"
#include "base/FileSystem.h"
#include "data/CacheScan.h"
#include "data/DataScan.h"
#include "game/GameDiscovery.h"

namespace drovane::bench {
namespace {

double Milliseconds(const std::function<void()>& work) {
  const auto start = std::chrono::steady_clock::now();
  work();
  const std::chrono::duration<double, std::milli> spent = std::chrono::steady_clock::now() - start;
  return spent.count();
}

// Every cache file the scan opens, in its order.
std::vector<std::string> CacheFiles(const CacheScanSources& sources) {
  std::vector<std::string> files;
  for (const std::string& folder : sources.gameFolders) {
    if (folder.empty()) continue;
    std::vector<std::string> locales;
    ListCacheLocales(folder, CacheFolderKind::WDB, locales);
    for (const std::string& locale : locales) {
      for (const CacheKind& kind : kWdbKinds) {
        files.push_back(folder + "\\Cache\\WDB\\" + locale + "\\" + kind.fileName);
      }
    }
    ListCacheLocales(folder, CacheFolderKind::ADB, locales);
    for (const std::string& locale : locales) {
      for (const CacheKind& kind : kAdbKinds) {
        files.push_back(folder + "\\Cache\\ADB\\" + locale + "\\" + kind.fileName);
      }
    }
  }
  return files;
}

// The baseline: each file opened and read whole with one read call, into a buffer allocated
// beforehand so that only the reading is timed.
int64_t ReadWhole(const std::vector<std::string>& files, std::vector<char>& buffer) {
  int64_t total = 0;
  for (const std::string& path : files) {
    DataFile file;
    if (!file.Open(path, FileMode::Read)) continue;
    const int64_t size = file.Size();
    if (buffer.size() < static_cast<size_t>(size)) buffer.resize(static_cast<size_t>(size));
    total += static_cast<int64_t>(file.Read(buffer.data(), static_cast<size_t>(size)));
  }
  return total;
}

int64_t Records(const CacheCounters& counters) {
  int64_t records = 0;
  for (const CacheFileEntry& entry : counters.wdb) records += entry.records;
  for (const CacheFileEntry& entry : counters.adb) records += entry.records;
  return records;
}

void RemoveFolder(const std::string& path) {
  for (const FolderEntry& entry : ListFolder(path)) {
    const std::string child = path + "\\" + entry.name;
    if (entry.isDirectory) {
      RemoveFolder(child);
    } else {
      DeleteFileA(child.c_str());
    }
  }
  RemoveDirectoryA(path.c_str());
}

struct Timing {
  double read = 1e300;      // each file read whole
  double opens = 1e300;     // opening and closing the files alone
  double scan = 1e300;      // ScanCaches with the state files given
  double bareScan = 1e300;  // ScanCaches when no key has a state file yet (first run)
  int64_t records = 0;
};

// The best of several rounds; each round times every variant one after the other, so a busy
// machine slows them alike.
Timing Measure(const CacheScanSources& sources, int rounds) {
  const std::vector<std::string> files = CacheFiles(sources);
  CacheScanSources bare = sources;
  bare.loadIdSet = nullptr;
  std::vector<char> buffer;
  CacheCounters counters;
  ReadWhole(files, buffer);       // every variant starts from the system's file cache
  ScanCaches(sources, counters);  // and with the reader's window in place
  Timing best;
  for (int round = 0; round < rounds; ++round) {
    best.read = std::min(best.read, Milliseconds([&] { ReadWhole(files, buffer); }));
    best.opens = std::min(best.opens, Milliseconds([&] {
                            for (const std::string& path : files)
                              DataFile().Open(path, FileMode::Read);
                          }));
    best.bareScan = std::min(best.bareScan, Milliseconds([&] { ScanCaches(bare, counters); }));
    best.scan = std::min(best.scan, Milliseconds([&] { ScanCaches(sources, counters); }));
  }
  best.records = Records(counters);
  return best;
}

int Run(int64_t records, int64_t sweepRecords) {
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  const std::string root =
      std::string(temp) + "drovane-scan-bench-" + std::to_string(GetCurrentProcessId());
  const std::string stateFolder = root + "\\state\\";

  std::printf("Writing three installations with two locales each (%lld records)...\n",
              static_cast<long long>(records));
  const SampleSize size = WriteInstallations(root, records);
  WriteStateFiles(stateFolder, records);

  CacheScanSources sources;
  sources.gameFolders[Live] = root + "\\Live";
  sources.gameFolders[PTR] = root + "\\PTR";
  sources.gameFolders[Beta] = root + "\\Beta";
  sources.listLocales = ListCacheLocales;
  sources.loadIdSet = StateFolderIdSetLoader(stateFolder);
  const Timing install = Measure(sources, 9);
  std::printf("installation: %lld files, %lld records (scan counted %lld), %.1f MB\n",
              static_cast<long long>(size.files), static_cast<long long>(size.records),
              static_cast<long long>(install.records), size.bytes / 1048576.0);
  std::printf("  whole read, one read per file    %8.1f ms (opening the files alone %.1f ms)\n",
              install.read, install.opens);
  std::printf("  scan, no state files yet         %8.1f ms  ratio %.2f\n", install.bareScan,
              install.bareScan / install.read);
  std::printf("  scan, a state file for every key %8.1f ms  ratio %.2f\n", install.scan,
              install.scan / install.read);
  // The state files the scans keep in memory are 40 KB a key.
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  std::printf("  peak working set                 %8.1f MB\n",
              static_cast<double>(memory.PeakWorkingSetSize) / 1048576.0);

  std::printf("\nOne WDB file of %lld records, by record size:\n",
              static_cast<long long>(sweepRecords));
  std::printf("  %10s %10s %10s %14s %10s %8s\n", "data bytes", "file MB", "scan ms",
              "scan us/record", "read ms", "ratio");
  std::mt19937 random(9);
  for (int dataSize : {64, 1024, 16 * 1024, 128 * 1024, 512 * 1024}) {
    const std::string game = root + "\\sweep" + std::to_string(dataSize);
    const std::string bytes = WdbBytes(1, 1, sweepRecords, dataSize, dataSize, random);
    {
      DataFile file;
      file.Open(game + "\\Cache\\WDB\\enUS\\creaturecache.wdb",
                FileMode::Write | FileMode::CreateDirs);
      file.Write(bytes);
    }
    CacheScanSources one;
    one.gameFolders[Live] = game;
    one.listLocales = ListCacheLocales;
    one.loadIdSet = StateFolderIdSetLoader(stateFolder);
    const Timing timing = Measure(one, 9);
    std::printf("  %10d %10.1f %10.2f %14.2f %10.2f %8.2f\n", dataSize, bytes.size() / 1048576.0,
                timing.scan, timing.scan * 1000.0 / static_cast<double>(sweepRecords), timing.read,
                timing.scan / timing.read);
    RemoveFolder(game);
  }
  RemoveFolder(root);
  return install.records == size.records ? 0 : 1;
}

}  // namespace
}  // namespace drovane::bench

int main(int argc, char** argv) {
  const long long records = argc > 1 ? std::atoll(argv[1]) : 600000;
  const long long sweep = argc > 2 ? std::atoll(argv[2]) : 1000;
  if (records < 6 || sweep < 1) {
    std::fprintf(stderr, "usage: scan_bench [records >= 6] [sweep records >= 1]\n");
    return 2;
  }
  return drovane::bench::Run(records, sweep);
}
