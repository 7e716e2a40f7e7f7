// Measures PrepareUpload's package of a large installation (every record new) against zlib
// alone compressing the same upload copies on one thread, in the same run, and the process's peak
// memory while the package is built. The package is built twice: as the client builds it (the
// upload exchange's worker, compressing on one thread per core) while this thread answers
// messages as the window's would, timing the longest wait for an answer; and on this very thread
// with one compressing thread, as it was built before, when the window answered nothing until the
// end. Not a test: it prints figures.
//   package_bench.exe [megabytes of cache files, default 300]
// The installation is written by a child run of this program ("--write"), so the memory that
// writing needs does not count.
#include <windows.h>
#include <psapi.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "SampleGame.h"
#include "app/Application.h"
#include "base/DataFile.h"
#include "base/FileLog.h"
#include "base/FileSystem.h"
#include "data/AccountData.h"
#include "data/ByteReader.h"
#include "data/CacheKind.h"
#include "game/GameDiscovery.h"
#include "upload/AddonCopy.h"
#include "upload/CompressionPipeline.h"
#include "upload/UploadCopy.h"
#include "upload/UploadExchange.h"
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

double Seconds() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// The upload window as far as the exchange's preparation needs one: it records nothing but the
// end.
class QuietView : public UploadView {
 public:
  void SetStatusText(const std::wstring&) override {}
  void SetProgress(int, const std::string&) override {}
  void ShowCloseButton() override {}
  int ShowMessage(const std::string&, unsigned) override { return IDNO; }
  int ShowMessage(const std::wstring&, unsigned) override { return IDNO; }
  void OpenWebPage(const std::string&) override {}
  void StartTimer(int, unsigned) override {}
  void StopTimer(int) override {}
  void RequestRefresh() override {}
  void EndUpload(int) override { ended = true; }
  bool ended = false;
};

constexpr UINT kPing = WM_APP + 1;

struct Responsiveness {
  double wall = 0;        // until the package was ready
  double longestWait = 0;  // the longest a ping waited for this thread
};

// The client's preparation: the exchange builds the package on its worker while this thread
// dispatches messages, as the upload window's loop does. Another thread posts a ping every 5 ms
// with the time it was sent; the longest a ping waited is the longest the window would not have
// answered. The request then goes to a closed port and fails, which ends the upload.
Responsiveness PrepareAsTheClientDoes(const std::string& game, const std::string& stateFolder) {
  Application application;
  application.gameFolders[Live] = game;
  application.username = "Bench";
  UploadEnvironment environment;
  environment.serviceUrl = "http://127.0.0.1:1/";
  environment.websiteUrl = "http://127.0.0.1:1";
  environment.stateFolder = stateFolder;
  AccountExclusionMap exclusions;
  UploadStateMap states;
  environment.exclusions = &exclusions;
  environment.states = &states;
  QuietView view;
  UploadExchange exchange(application, view, false, environment);

  const DWORD thread = GetCurrentThreadId();
  MSG message;
  PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // this thread's queue exists from here
  std::atomic<bool> pinging{true};
  std::thread pinger([thread, &pinging] {
    while (pinging) {
      const double sent = Seconds();
      PostThreadMessageA(thread, kPing, 0, static_cast<LPARAM>(sent * 1e6));
      Sleep(5);
    }
  });
  Responsiveness result;
  const double start = Seconds();
  exchange.PrepareUpload();
  bool prepared = false;
  while (!view.ended && GetMessageA(&message, nullptr, 0, 0) > 0) {
    if (message.message == kPing && message.hwnd == nullptr) {
      const double waited = Seconds() - static_cast<double>(message.lParam) / 1e6;
      result.longestWait = std::max(result.longestWait, waited);
    } else {
      DispatchMessageA(&message);
    }
    if (!prepared && !exchange.preparing()) {
      prepared = true;
      result.wall = Seconds() - start;
    }
  }
  pinging = false;
  pinger.join();
  return result;
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

  // The client's way first, while the files are no warmer than the zlib pass will find them.
  const Responsiveness client = PrepareAsTheClientDoes(game, stateFolder);
  PROCESS_MEMORY_COUNTERS clientMemory = {};
  clientMemory.cb = sizeof clientMemory;
  GetProcessMemoryInfo(GetCurrentProcess(), &clientMemory, sizeof clientMemory);

  // The package on this thread, held whole as the upload request holds it.
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
        [&](const std::string&, std::string& content) {
          packageBytes += content.size();
          package.push_back(std::move(content));
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
  const double copiesStart = Seconds();
  ForEachCopy(game, [&](const std::string& copy) {
    copyBytes += copy.size();
    ++copies;
    zlib.Add([&] { zlibBytes += Deflate(copy); });
  });
  const double copiesAlone = Seconds() - copiesStart - zlib.wall;

  std::printf("package files            %d (zlib pass: %d)\n", files, copies);
  std::printf("upload copies            %.1f MB\n", Megabytes(static_cast<double>(copyBytes)));
  std::printf("compressed               %.1f MB (zlib pass: %.1f MB)\n",
              Megabytes(static_cast<double>(packageBytes)),
              Megabytes(static_cast<double>(zlibBytes)));
  const int threads = CompressionPipeline::ThreadsForThisMachine();
  std::printf("                         processor   wall\n");
  std::printf("zlib alone, same copies  %7.2f s  %7.2f s\n", zlib.cpu, zlib.wall);
  std::printf("building the copies alone           %7.2f s\n", copiesAlone);
  std::printf("one thread, as before    %7.2f s  %7.2f s  (ratio %.3f; the window answered nothing)\n",
              prepare.cpu, prepare.wall, prepare.wall / zlib.wall);
  std::printf("the client, %d thread(s)             %7.2f s  (ratio %.3f, aim: at most 0.6)\n",
              threads, client.wall, client.wall / zlib.wall);
  std::printf("longest wait for the window's thread: %.0f ms while the client prepared (aim: at "
              "most 100 ms), %.0f ms before\n",
              client.longestWait * 1000, prepare.wall * 1000);
  // Peak figures grow only: the first is the client's run, the second adds the one-thread run
  // (which holds the same package, one copy at a time).
  std::printf("peak working set         %.1f MB (client run), %.1f MB (both)\n",
              Megabytes(static_cast<double>(clientMemory.PeakWorkingSetSize)),
              Megabytes(static_cast<double>(memory.PeakWorkingSetSize)));
  std::printf("peak committed memory    %.1f MB (client run), %.1f MB (both)\n",
              Megabytes(static_cast<double>(clientMemory.PeakPagefileUsage)),
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
