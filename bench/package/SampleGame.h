#pragma once
// A large game installation for the package benchmark: one Live folder with two locale folders
// of the four WDB kinds and the seven ADB kinds in the layouts the upload reads, and a few
// accounts' add-on files. The records are partly text and partly noise, so they compress about
// as well as the game's own caches.
#include <cstdint>
#include <string>

namespace drovane::bench {

constexpr int32_t kSampleBuild = 22522;

// Writes about `megabytes` of data files under folder (the executable is the caller's).
// Returns the bytes written.
int64_t WriteSampleGame(const std::string& folder, int64_t megabytes);

}  // namespace drovane::bench
