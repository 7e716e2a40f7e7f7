#pragma once
// Splitting of the process command line into arguments. Pure: no Windows headers.
#include <string>
#include <vector>

namespace drovane {

// Element 0 is the program path as written. Quotes group, "" and \" give a literal quote, a
// doubled backslash inside quotes gives one; runs of spaces between arguments are skipped.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

// What a mode argument ("normal" or anything else) asks for.
enum class LaunchMode : int { None = 0, Hidden = 1, Normal = 2 };
LaunchMode LaunchModeFromArgument(const std::string& argument);

}  // namespace drovane
