#include "gamefixture/InstallationFiles.h"

#include "gamefixture/FixtureEdge.h"

namespace drovane::fixture {

bool WriteInstallationFiles(const FixtureOptions& options, const std::string& folder,
                            uint32_t build, std::vector<WrittenFile>& written, std::string& error) {
  written.clear();
  if (!(options.skip & Part::Addon) && !CreateFolderTree(folder + "\\WTF\\Account")) {
    error = WithLastError("cannot create " + folder + "\\WTF\\Account");
    return false;
  }
  for (const PlannedFile& planned : PlanInstallation(options)) {
    const std::string path = folder + "\\" + planned.relativePath;
    const std::string bytes = BuildPlannedFile(options, planned, build);
    if (!CreateFolderTree(path.substr(0, path.find_last_of('\\'))) ||
        !WriteWholeFile(path, bytes)) {
      error = WithLastError("cannot write " + path);
      return false;
    }
    written.push_back({planned.relativePath, bytes.size()});
  }
  return true;
}

}  // namespace drovane::fixture
