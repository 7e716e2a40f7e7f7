#include "upload/UploadRequirements.h"

namespace drovane {

UploadRequirement CheckUploadRequirements(const UploadRequirementFacts& facts) {
  if (!facts.hasDataToUpload) return UploadRequirement::NoData;
  if (facts.gameWindowOpen) return UploadRequirement::GameRunning;
  if (facts.username.empty() || facts.password.empty()) return UploadRequirement::MissingLogin;
  // Only a last upload in the past minute blocks: a clock set back must not lock the player out.
  if (facts.lastUploadKnown) {
    const int64_t elapsed = facts.now - facts.lastUpload;
    if (elapsed > 0 && elapsed < 60) return UploadRequirement::OncePerMinute;
  }
  return UploadRequirement::Met;
}

std::string UploadRequirementMessage(UploadRequirement requirement) {
  switch (requirement) {
    case UploadRequirement::NoData:
      return "No data to upload at this time.";
    case UploadRequirement::GameRunning:
      return "Please close World of Warcraft before uploading.";
    case UploadRequirement::MissingLogin:
      return "Please enter your login information first.";
    case UploadRequirement::OncePerMinute:
      return "You may upload only once per minute.";
    case UploadRequirement::Met:
      break;
  }
  return "";
}

std::string UploadAttemptLogText(bool automatic, UploadRequirement requirement) {
  std::string text = automatic ? "Attempting to upload (automated): " : "Attempting to upload: ";
  text += requirement == UploadRequirement::Met ? std::string("All requirements met.")
                                                : UploadRequirementMessage(requirement);
  return text;
}

}  // namespace drovane
