// One HttpClient exchange against a local server, timed from the send to the Done notification.
//   http_bench post URL SIZE   multipart POST of one file of SIZE bytes
//   http_bench get URL         GET, body kept in memory as the client always does
// Prints one line of figures:
//   bytes=N seconds=S status=CODE error="TEXT" peak_working_set=BYTES
// bytes is the request size for a POST and the body size for a GET; peak_working_set is the
// whole process's peak, the file's own bytes included.
#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <string>

#include "net/HttpClient.h"

namespace {

using drovane::HttpClient;
using drovane::HttpStatus;

struct DoneSignal {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
};

void OnStatus(HttpClient* client, void* data) {
  if (client->GetStatus() != HttpStatus::Done) return;
  auto* signal = static_cast<DoneSignal*>(data);
  std::lock_guard<std::mutex> lock(signal->mutex);
  signal->finished = true;
  signal->done.notify_all();
}

std::size_t PeakWorkingSet() {
  PROCESS_MEMORY_COUNTERS counters{};
  counters.cb = sizeof counters;
  if (!GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters)) return 0;
  return counters.PeakWorkingSetSize;
}

int Usage() {
  std::fprintf(stderr, "usage: http_bench post URL SIZE | http_bench get URL\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) return Usage();
  const std::string mode = argv[1];
  const std::string url = argv[2];
  if (!(mode == "get" || (mode == "post" && argc >= 4))) return Usage();

  DoneSignal signal;
  HttpClient client;
  client.statusCallback = &OnStatus;
  client.callbackData = &signal;
  client.Request_SetHeader("User-Agent", "DrovaneClient/1.9.01");
  // The body of the GET is as large as the benchmark makes it.
  drovane::ExchangeLimits limits;
  limits.bodyBytes = std::numeric_limits<std::uint64_t>::max();
  client.Request_SetLimits(limits);

  if (mode == "post") {
    // Bytes that do not compress, like the gzip files of an upload.
    std::string content(std::strtoull(argv[3], nullptr, 10), '\0');
    std::uint32_t state = 2463534242u;
    for (char& c : content) {
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      c = static_cast<char>(state);
    }
    client.Request_AddMultipartFile("bench.bin", content);
  }

  const auto start = std::chrono::steady_clock::now();
  const bool started =
      mode == "post" ? client.Request_SendPOST(url, "kind=bench") : client.Request_SendGET(url);
  if (!started) {
    std::fprintf(stderr, "the request did not start: %s\n", client.GetError().c_str());
    return 1;
  }
  {
    std::unique_lock<std::mutex> lock(signal.mutex);
    signal.done.wait(lock, [&signal] { return signal.finished; });
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

  const std::size_t bytes = mode == "post" ? client.GetRequestSize() : client.GetContentSize();
  std::printf("bytes=%zu seconds=%.4f status=%u error=\"%s\" peak_working_set=%zu\n", bytes,
              seconds, client.GetStatusCode(), client.GetError().c_str(), PeakWorkingSet());
  return client.GetError().empty() && client.GetStatusCode() == 200 ? 0 : 1;
}
