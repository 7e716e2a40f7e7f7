#pragma once
// What must hold before an upload may start, checked in a fixed order so that the player is told
// the most basic problem first. Pure: the facts are gathered by the caller.
#include <cstdint>
#include <string>

namespace drovane {

enum class UploadRequirement {
  Met,
  NoData,         // nothing new to upload after the refresh
  GameRunning,    // a game window is open
  MissingLogin,   // no user name or no password stored
  OncePerMinute,  // the last successful upload was less than a minute ago
};

struct UploadRequirementFacts {
  bool hasDataToUpload = false;
  bool gameWindowOpen = false;
  std::string username;
  std::string password;
  bool lastUploadKnown = false;
  int64_t lastUpload = 0;  // seconds since 1970
  int64_t now = 0;         // seconds since 1970
};

UploadRequirement CheckUploadRequirements(const UploadRequirementFacts& facts);
// The reason told to the player; empty for Met.
std::string UploadRequirementMessage(UploadRequirement requirement);
// "Attempting to upload (automated): " followed by the reason or "All requirements met.".
std::string UploadAttemptLogText(bool automatic, UploadRequirement requirement);

// True when a window of the game is open.
bool GameWindowOpen();

}  // namespace drovane
