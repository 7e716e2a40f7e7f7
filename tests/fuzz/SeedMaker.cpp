// Writes the fuzz targets' seed corpora: game files as the gamefixture stand-in makes them (its
// own planning and format code, run natively for a few option sets), and small samples of the
// texts the client gets from the service, the network and its own command line. The update
// lists come from the publish tool (scripts/fuzz runs it).
//   usage: fuzz_seeds CORPUS_ROOT
// Each file lands in CORPUS_ROOT/<target>/; targets that pick a kind by their first byte get it
// in front of the file's bytes.
#include <sys/stat.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "gamefixture/AdbWriter.h"
#include "gamefixture/FixtureOptions.h"
#include "gamefixture/Installation.h"

using namespace drovane::fixture;

namespace {

std::string g_root;
int g_written = 0;

bool WriteSeed(const std::string& target, const std::string& name, const std::string& bytes) {
  const std::string folder = g_root + "/" + target;
  mkdir(folder.c_str(), 0777);
  const std::string path = folder + "/" + name;
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) {
    std::fprintf(stderr, "fuzz_seeds: cannot write %s\n", path.c_str());
    return false;
  }
  const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) std::fprintf(stderr, "fuzz_seeds: cannot write %s\n", path.c_str());
  ++g_written;
  return written && closed;
}

std::string Selector(int value) {
  return std::string(1, static_cast<char>(value));
}

uint32_t Field32(const std::string& bytes, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(bytes[at + i]);
  return value;
}

void PutField(std::string& bytes, size_t at, uint32_t value, int width) {
  for (int i = 0; i < width; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// A "WCH8" offset-map file whose table is damaged: every entry after the first names the bytes
// of the first record again, with the longest length the file allows. A copy that took each
// entry's bytes would be many times the file. Empty for files of another layout and for tables
// of fewer than two entries.
std::string WithRepeatedEntries(const std::string& file) {
  if (file.size() < kWch8HeaderSize + 2 * kOffsetMapEntrySize || file.compare(0, 4, "WCH8") != 0) {
    return std::string();
  }
  const uint32_t count = Field32(file, 4);
  const uint32_t first = Field32(file, kWch8HeaderSize + 4);
  if (count < 2 || first != kWch8HeaderSize + count * kOffsetMapEntrySize || first >= file.size()) {
    return std::string();
  }
  const uint32_t length = std::min<uint32_t>(0xFFFF, static_cast<uint32_t>(file.size()) - first);
  std::string damaged = file;
  for (uint32_t i = 1; i < count; ++i) {
    const size_t entry = kWch8HeaderSize + i * kOffsetMapEntrySize;
    PutField(damaged, entry + 4, first, 4);
    PutField(damaged, entry + 8, length, 2);
  }
  return damaged;
}

// One gamefixture option set: every data file it plans, to the targets that read that kind.
bool WriteInstallationSeeds(const std::string& tag, const std::vector<std::string>& args) {
  FixtureOptions options;
  std::string error;
  std::vector<std::string> all = args;
  all.push_back("unused-folder");
  if (!ParseFixtureOptions(all, options, error)) {
    std::fprintf(stderr, "fuzz_seeds: gamefixture options refused: %s\n", error.c_str());
    return false;
  }
  const uint32_t build = options.buildGiven ? options.build : 22522;
  bool ok = true;
  int serial = 0;
  for (const PlannedFile& planned : PlanInstallation(options)) {
    const std::string bytes = BuildPlannedFile(options, planned, build);
    const std::string name = tag + "-" + std::to_string(++serial);
    switch (planned.kind) {
      case PlannedFile::Kind::Wdb:
        ok &= WriteSeed("cache_inventory", name, Selector(planned.index) + bytes);
        ok &= WriteSeed("upload_copy", name, Selector(planned.index) + bytes);
        ok &= WriteSeed("wdb_records", name, Selector(planned.index) + bytes);
        break;
      case PlannedFile::Kind::Adb: {
        ok &= WriteSeed("cache_inventory", name, Selector(4 + planned.index) + bytes);
        ok &= WriteSeed("upload_copy", name, Selector(4 + planned.index) + bytes);
        const std::string damaged = WithRepeatedEntries(bytes);
        if (!damaged.empty()) {
          ok &= WriteSeed("cache_inventory", name + "-repeated",
                          Selector(4 + planned.index) + damaged);
          ok &= WriteSeed("upload_copy", name + "-repeated", Selector(4 + planned.index) + damaged);
        }
        break;
      }
      case PlannedFile::Kind::Addon:
        ok &= WriteSeed("saved_variables", name, bytes);
        break;
      case PlannedFile::Kind::Realmlist:
      case PlannedFile::Kind::Config:
        ok &= WriteSeed("response_lines", name, Selector(0) + bytes);
        break;
    }
  }
  return ok;
}

bool WriteTextSeeds(const std::string& target, const std::vector<std::string>& samples) {
  bool ok = true;
  int serial = 0;
  for (const std::string& sample : samples) {
    ok &= WriteSeed(target, "sample-" + std::to_string(++serial), sample);
  }
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: fuzz_seeds CORPUS_ROOT\n");
    return 2;
  }
  g_root = argv[1];
  mkdir(g_root.c_str(), 0777);
  bool ok = true;
  // Small files: a fuzzer mutates short inputs far faster, and three records show every layout.
  ok &= WriteInstallationSeeds("plain", {"--records", "3", "--loot", "2"});
  ok &= WriteInstallationSeeds(
      "wch2", {"--records", "3", "--loot", "1", "--adb-format", "WCH2", "--no-wdb-end-marker",
               "--crlf", "--accounts", "ONE:1,TWO:3"});
  ok &=
      WriteInstallationSeeds("edge", {"--records", "4", "--first-id", "327678", "--offset-map-at",
                                      "44", "--padding", "3", "--accounts", "X:2", "--loot", "0"});
  ok &= WriteInstallationSeeds("empty", {"--records", "0", "--loot", "0", "--accounts", "E"});
  // Records of a few kilobytes, so that table entries naming one record again (the damaged
  // offset-map seeds) ask for copies of many times the file: the upload copy's size bound.
  ok &= WriteInstallationSeeds(
      "long", {"--records", "12", "--padding", "3000", "--loot", "0", "--accounts", "L"});

  const std::string auth = "authResult\n0\nauthMore\nWelcome%2C+friend\n";
  const std::string upload = "uploadResult\n0\nuploadMore\nThanks\nuploadStats\n3\n";
  ok &= WriteTextSeeds("response_lines", {Selector(0) + auth, Selector(1) + upload,
                                          Selector(1) + "uploadResult\r\n4\r\n",
                                          Selector(0) + "authResult\n2\nauthMore\nWrong+password\n",
                                          Selector(8) + "<html>Internal error</html>"});
  // A selector byte (bit 0: a 64-byte body limit, bit 1: the connection ends), then the sizes in
  // which the bytes arrive.
  const std::string pieces = "\x02\x03\x07\x01\x0f";
  const std::string open = "\x00\x03\x07\x01\x0f";
  ok &= WriteTextSeeds(
      "http_response",
      {pieces + "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nContent-Type: text/plain\r\n\r\nhello",
       pieces + "HTTP/1.0 500 Internal Server Error\r\n\r\n",
       pieces +
           "HTTP/1.1 302 Found\r\nLocation: http://127.0.0.1:8123/x\r\nContent-Length: 0\r\n\r\n",
       pieces + "HTTP/1.1 200 OK\nContent-Length: 2147483647\n\r\nxx",
       open + "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n"
              "\r\n5;ext=1\r\nhello\r\n1a\r\nabcdefghijklmnopqrstuvwxyz\r\n0\r\n"
              "Trailer: x\r\n\r\n",
       pieces + "HTTP/1.1 200 OK\r\nServer: nginx\r\nTransfer-Encoding: chunked\r\n\r\n"
                "1e\r\nauthResult\n0\nauthMore\nWelcome\n\r\n0\r\n\r\n"});
  ok &= WriteTextSeeds(
      "url_codec",
      {std::string("http://client.drovane.com/auth.php?username=a&password=b\0x y+z%41", 64),
       std::string("http://127.0.0.1:8123/\0name=v%2&x=%zz&&=", 40), "www.drovane.com",
       std::string("https://[::1]:443/p?q#f\0\xc3\xa9\xff", 28)});
  ok &= WriteTextSeeds("command_line",
                       {"\"C:\\Program Files\\Drovane\\DrovaneClient.exe\" normal",
                        "DrovaneClient.exe   hidden \"a \\\"b\\\" c\" \"\"",
                        std::string("\"C:\\a\\\\\"  x\0*.wdb", 17),
                        std::string("MY MAIN \xd0\x92\xd0\x9e\xd0\x98\xd0\x9d\0?Y*", 20)});
  std::printf("fuzz_seeds: %d seed files in %s\n", g_written, g_root.c_str());
  return ok ? 0 : 1;
}
