#include "upload/UploadDecisions.h"

#include <algorithm>
#include <cstdio>

#include "base/TextHelpers.h"
#include "net/HttpResponse.h"

namespace drovane {

const char kNoDataToUpload[] = "No data to upload at this time.";
const char kPackageOutOfMemory[] = "Not enough memory to prepare the upload data.";
const char kDataTransferTimeout[] = "Data transfer timeout.";
const char kServerTimeout[] = "Server timeout.";
const char kAuthenticationInvalid[] = "Authentication failed.\n\nInvalid server response.";
const char kUploadInvalid[] = "Upload failed.\n\nInvalid server response.";
const char kServiceMessageFallback[] = "Process failed.\n\nServer return message was EPIC FAIL!";

namespace {

bool IsPrivateServerResult(int32_t result) {
  return result == 3 || result == 4;
}

}  // namespace

DoneDecision DecideDone(const DoneFacts& facts) {
  DoneDecision decision;
  if (facts.phase == UploadPhase::Finished) return decision;

  if (!facts.error.empty() || facts.statusCode != 200) {
    if (facts.stallTicks < kStallTickLimit) {
      decision.action = DoneAction::TransportFailure;
      decision.errorMessage =
          !facts.error.empty() ? facts.error
                               : InvalidStatusText(facts.statusCode);
    } else if (!facts.receiving) {
      decision.action = DoneAction::DataTransferTimeout;
      decision.errorMessage = kDataTransferTimeout;
    } else {
      decision.action = DoneAction::ServerTimeout;
      decision.errorMessage = kServerTimeout;
    }
    return decision;
  }

  ResponseMap answer;
  const bool parsed = ParseResponseLines(facts.body, answer);
  if (facts.phase == UploadPhase::Authenticating) {
    // An answer that does not say its result (a portal's page, a proxy's error) is no answer.
    if (!parsed || answer.size() < 2 ||
        !ResponseResult(answer, "authResult", decision.result)) {
      decision.action = DoneAction::AuthenticationInvalid;
      decision.errorMessage = kAuthenticationInvalid;
      return decision;
    }
    decision.message = ResponseText(answer, "authMore");
    decision.action = decision.result == 0 ? DoneAction::Authenticated
                      : IsPrivateServerResult(decision.result)
                          ? DoneAction::AuthenticationPrivateServer
                          : DoneAction::AuthenticationRejected;
    return decision;
  }

  // Only an answer that says "stored" may have the upload booked as sent.
  if (!parsed || answer.size() < 3 || !ResponseResult(answer, "uploadResult", decision.result)) {
    decision.action = DoneAction::UploadInvalid;
    decision.errorMessage = kUploadInvalid;
    return decision;
  }
  decision.message = ResponseText(answer, "uploadMore");
  decision.action = decision.result == 0                     ? DoneAction::UploadStored
                    : IsPrivateServerResult(decision.result) ? DoneAction::UploadPrivateServer
                                                             : DoneAction::UploadRejected;
  return decision;
}

bool WatchdogTick(uint32_t progressBytes, int32_t& lastProgressBytes, int32_t& stallTicks) {
  if (static_cast<int32_t>(progressBytes) != lastProgressBytes) {
    stallTicks = 0;
    lastProgressBytes = static_cast<int32_t>(progressBytes);
    return false;
  }
  return ++stallTicks == kStallTickLimit;
}

double SendingPercent(uint32_t sent, uint32_t total) {
  return total == 0 ? 0.0 : sent * 99.0 / total;
}

std::string OnOneLine(const std::string& text) {
  std::string line = text;
  std::replace(line.begin(), line.end(), '\n', ' ');
  return line;
}

}  // namespace drovane
