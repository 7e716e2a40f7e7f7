#pragma once
// Writes a sample installation's data files (Installation.h) to disk.
#include <cstdint>
#include <string>
#include <vector>

#include "gamefixture/FixtureOptions.h"
#include "gamefixture/Installation.h"

namespace drovane::fixture {

// Writes every planned file under folder (creating folders), also the empty "WTF\Account"
// folder when there are no accounts. Folder and account names are UTF-8 and name the folders
// as given. False with error set at the first file that cannot be written.
bool WriteInstallationFiles(const FixtureOptions& options, const std::string& folder,
                            uint32_t build, std::vector<WrittenFile>& written, std::string& error);

}  // namespace drovane::fixture
