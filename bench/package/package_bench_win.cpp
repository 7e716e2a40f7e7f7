// Measures PrepareUpload's package of a large installation (every record new) against zlib
// alone compressing the same upload copies, in the same run, and the process's peak memory
// while the package is built. Not a test: it prints figures.
//   package_bench.exe [megabytes of cache files, default 300]
// The installation is written by a child run of this program ("--write"), so the memory that
// writing needs does not count.
#include <windows.h>
#include <psapi.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "SampleGame.h"
#include "app/DataFile.h"
#include "app/FileLog.h"
#include "app/FileSystem.h"
#include "app/GameDiscovery.h"
#include "data/AccountData.h"
#include "data/ByteReader.h"
#include "data/CacheKind.h"
#include "upload/AddonCopy.h"
#include "upload/UploadCopy.h"
#include "upload/UploadPackage.h"

namespace drovane::bench {
namespace {

// The machine may be shared with other work: besides the wall time, the processor time of this
// thread is measured, which others' load does not lengthen.
double ThreadCpuSeconds() {
  FILETIME created, exited, kernel, user;
  if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return 0;
  const auto value = [](const FILETIME& time) {
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32 | time.dwLowDateTime) / 1e7;
  };
  return value(kernel) + value(user);
}

struct Timing {
  double wall = 0;
  double cpu = 0;
  void Add(const std::function<void()>& work) {
    const auto start = std::chrono::steady_clock::now();
    const double cpuStart = ThreadCpuSeconds();
    work();
    cpu += ThreadCpuSeconds() - cpuStart;
    wall += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  }
};

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

std::string ProgramPath() {
  std::string path;
  GetModulePath(path);
  return path;
}

bool RunWriter(const std::string& folder, int64_t megabytes) {
  std::string command =
      "\"" + ProgramPath() + "\" --write \"" + folder + "\" " + std::to_string(megabytes);
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &info)) {
    return false;
  }
  WaitForSingleObject(info.hProcess, INFINITE);
  DWORD code = 1;
  GetExitCodeProcess(info.hProcess, &code);
  CloseHandle(info.hThread);
  CloseHandle(info.hProcess);
  return code == 0;
}

// The upload copies of every file, one at a time, built as the package builds them.
void ForEachCopy(const std::string& game, const std::function<void(const std::string&)>& use) {
  IdSetList wdb, adb;
  std::string copy;
  FileReader reader;
  std::vector<std::string> locales;
  ListCacheLocales(game, CacheFolderKind::WDB, locales);
  for (const std::string& locale : locales) {
    for (int kind = 0; kind < kWdbKindCount; ++kind) {
      const std::string path = game + "\\Cache\\WDB\\" + locale + "\\" + kWdbKinds[kind].fileName;
      DataFile file;
      if (!file.Open(path, FileMode::Read)) continue;
      reader.Attach(file);
      if (PrepareWdbFile(kind, reader, path, locale, wdb, copy)) use(copy);
    }
  }
  ListCacheLocales(game, CacheFolderKind::ADB, locales);
  for (const std::string& locale : locales) {
    for (int kind = 0; kind < kAdbKindCount; ++kind) {
      const std::string path = game + "\\Cache\\ADB\\" + locale + "\\" + kAdbKinds[kind].fileName;
      DataFile file;
      if (!file.Open(path, FileMode::Read)) continue;
      reader.Attach(file);
      if (PrepareAdbFile(kind, reader, path, locale, adb, copy)) use(copy);
    }
  }
  for (const FolderEntry& account : ListFolder(game + "\\WTF\\Account", "*.*")) {
    std::string text;
    if (!ReadWholeFile(SavedVariablesPath(game, account.name), text) || text.empty()) continue;
    int state = 0;
    use(AddonUploadCopy(text, false, state));
  }
}

// zlib alone, with the package's parameters and output buffer.
size_t Deflate(const std::string& input) {
  z_stream stream = {};
  deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 31, 8, Z_DEFAULT_STRATEGY);
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.data()));
  stream.avail_in = static_cast<uInt>(input.size());
  static unsigned char chunk[65536];
  std::string output;
  int result = Z_OK;
  while (result == Z_OK) {
    stream.next_out = chunk;
    stream.avail_out = sizeof chunk;
    result = deflate(&stream, Z_FINISH);
    output.append(reinterpret_cast<const char*>(chunk), sizeof chunk - stream.avail_out);
  }
  deflateEnd(&stream);
  return output.size();
}

double Megabytes(double bytes) {
  return bytes / (1024.0 * 1024.0);
}

int Run(int64_t megabytes) {
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  const std::string game = std::string(temp) + "drovane-package-bench";
  RemoveFolder(game);
  CreateDirectoryTree(game + "\\");
  std::string program = ProgramPath();
  const std::string fakegame =
      program.substr(0, program.find_last_of('\\')) + "\\fakegame\\Wow.exe";
  if (!CopyFileA(fakegame.c_str(), (game + "\\Wow.exe").c_str(), FALSE)) {
    std::printf("cannot copy %s (build the tools first)\n", fakegame.c_str());
    return 1;
  }
  std::printf("writing about %lld MB of cache files to %s ...\n", static_cast<long long>(megabytes),
              game.c_str());
  if (!RunWriter(game, megabytes)) {
    std::printf("writing the installation failed\n");
    return 1;
  }
  const std::string stateFolder = game + "\\state\\";
  CreateDirectoryTree(stateFolder);  // empty: every record is new

  // The package, held whole as the upload request holds it.
  PackageSources sources;
  sources.gameFolders[Live] = game;
  UploadStateMap states;
  sources.states = &states;
  IdSetList wdb, adb;
  wdb.load = adb.load = [&stateFolder](UploadedIdSet& set) { set.Load(stateFolder); };
  std::vector<std::string> package;
  size_t packageBytes = 0;
  PackageSettings settings;
  int files = 0;
  Timing prepare;
  prepare.Add([&] {
    files = BuildUploadPackage(
        sources, wdb, adb,
        [&](const std::string&, const std::string& content) {
          package.push_back(content);
          packageBytes += content.size();
        },
        settings);
  });
  PROCESS_MEMORY_COUNTERS memory = {};
  memory.cb = sizeof memory;
  GetProcessMemoryInfo(GetCurrentProcess(), &memory, sizeof memory);
  package.clear();
  package.shrink_to_fit();

  // zlib alone over the same copies; building them is not timed.
  Timing zlib;
  size_t copyBytes = 0;
  size_t zlibBytes = 0;
  int copies = 0;
  ForEachCopy(game, [&](const std::string& copy) {
    copyBytes += copy.size();
    ++copies;
    zlib.Add([&] { zlibBytes += Deflate(copy); });
  });

  std::printf("package files            %d (zlib pass: %d)\n", files, copies);
  std::printf("upload copies            %.1f MB\n", Megabytes(static_cast<double>(copyBytes)));
  std::printf("compressed               %.1f MB (zlib pass: %.1f MB)\n",
              Megabytes(static_cast<double>(packageBytes)),
              Megabytes(static_cast<double>(zlibBytes)));
  std::printf("                         processor   wall\n");
  std::printf("preparation              %7.2f s  %7.2f s\n", prepare.cpu, prepare.wall);
  std::printf("zlib alone, same copies  %7.2f s  %7.2f s\n", zlib.cpu, zlib.wall);
  std::printf("ratio                    %7.3f    %7.3f    (aim: at most 1.3)\n",
              prepare.cpu / zlib.cpu, prepare.wall / zlib.wall);
  std::printf("peak working set         %.1f MB\n",
              Megabytes(static_cast<double>(memory.PeakWorkingSetSize)));
  std::printf("peak committed memory    %.1f MB\n",
              Megabytes(static_cast<double>(memory.PeakPagefileUsage)));
  RemoveFolder(game);
  return 0;
}

}  // namespace
}  // namespace drovane::bench

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--write") {
    drovane::bench::WriteSampleGame(argv[2], std::atoll(argv[3]));
    return 0;
  }
  const long long megabytes = argc > 1 ? std::atoll(argv[1]) : 300;
  return drovane::bench::Run(megabytes > 0 ? megabytes : 300);
}
