// gamefixture: writes a sample game installation for tests, the demo and benchmarks.
#include <cstdio>
#include <string>
#include <vector>

#include "gamefixture/FixtureEdge.h"
#include "gamefixture/FixtureOptions.h"
#include "gamefixture/Installation.h"
#include "gamefixture/InstallationFiles.h"

using namespace drovane;
using namespace drovane::fixture;

namespace {

int Fail(const std::string& message, int code) {
  std::fprintf(stderr, "gamefixture: %s\n", message.c_str());
  return code;
}

const char* EditionName(GameEdition edition) {
  return edition == PTR ? "PTR" : edition == Beta ? "Beta" : "Live";
}

}  // namespace

int main() {
  FixtureOptions options;
  std::string error;
  if (!ParseFixtureOptions(CommandLineUtf8(), options, error)) return Fail(error, 2);
  if (options.help) {
    std::fputs(FixtureUsage().c_str(), stdout);
    return 0;
  }
  if (options.unregister) {
    if (!DeleteInstallPath(options.edition, options.registry32, error)) return Fail(error, 1);
    std::printf("gamefixture: removed the %s InstallPath record (%s-bit view)\n",
                EditionName(options.edition), options.registry32 ? "32" : "64");
    return 0;
  }

  const std::string folder = FullPath(options.folder);
  const std::string fakegameDir =
      options.fakegameDir.empty() ? ModuleFolder() + "\\fakegame" : FullPath(options.fakegameDir);
  uint32_t build = options.build;
  if (!options.buildGiven) {
    const std::string source = fakegameDir + "\\" + BuildSourceFor(options);
    uint16_t version[4] = {};
    if (!ReadExecutableVersion(source, version)) {
      return Fail("cannot read the version of " + source + "; give --build or --fakegame-dir", 1);
    }
    build = version[3];
  }

  if (!CreateFolderTree(folder)) return Fail(WithLastError("cannot create " + folder), 1);
  std::vector<WrittenFile> written;
  for (const ExecutableCopy& copy : ExecutablesFor(options)) {
    if (!CopyExecutable(fakegameDir + "\\" + copy.source, folder + "\\" + copy.target, error)) {
      return Fail(error, 1);
    }
    written.push_back({copy.target, 0});
  }
  std::vector<WrittenFile> dataFiles;
  if (!WriteInstallationFiles(options, folder, build, dataFiles, error)) return Fail(error, 1);
  written.insert(written.end(), dataFiles.begin(), dataFiles.end());

  if (options.registerInstall) {
    const std::string value = options.installPathGiven ? options.installPath : folder + "\\";
    if (!WriteInstallPath(options.edition, value, options.registry32, error)) {
      return Fail(error, 1);
    }
  }

  uint64_t bytes = 0;
  for (const WrittenFile& file : written) {
    bytes += file.size;
    if (options.verbose) {
      std::printf("%s\t%llu\n", file.relativePath.c_str(),
                  static_cast<unsigned long long>(file.size));
    }
  }
  std::printf("gamefixture: %s installation (build %u) in %s: %zu files, %llu data bytes%s\n",
              EditionName(options.edition), build, folder.c_str(), written.size(),
              static_cast<unsigned long long>(bytes),
              options.registerInstall ? ", InstallPath recorded" : "");
  return 0;
}
