#pragma once
#include <string>

namespace drovane {

// Carries upload-state files of older versions over to today's names, never overwriting a state
// file that already exists (the older copy is then deleted):
//  1. "<name>.dat" directly in the data folder becomes "cache\\" + Md5Hex(<name>);
//  2. "<name>.dat" in "cache\\" becomes "cache\\<name>".
void MoveOldStateFiles(const std::string& appDataDir);

}  // namespace drovane
