#pragma once
// The decisions of an upload exchange, apart from the windows and the network that carry them
// out: what an ended request means, when the watchdog gives up, what the progress line says.
// Pure.
#include <cstdint>
#include <string>

#include "upload/UploadProtocol.h"

namespace drovane {

enum class UploadPhase : int32_t { Authenticating = 0, Uploading = 1, Finished = 2 };

// Texts the exchange shows and reports.
extern const char kNoDataToUpload[];         // "No data to upload at this time."
extern const char kPackageOutOfMemory[];     // "Not enough memory to prepare the upload data."
extern const char kDataTransferTimeout[];    // "Data transfer timeout."
extern const char kServerTimeout[];          // "Server timeout."
extern const char kAuthenticationInvalid[];  // "Authentication failed.\n\nInvalid server response."
extern const char kUploadInvalid[];          // "Upload failed.\n\nInvalid server response."
extern const char kServiceMessageFallback[];  // "Process failed.\n\nServer return message was ..."

// What the end of a request (its Done) asks of the exchange.
enum class DoneAction {
  Nothing,                      // the upload has already finished
  TransportFailure,             // error text or a status other than 200; errorMessage says which
  DataTransferTimeout,          // the watchdog stopped the request while it was being sent
  ServerTimeout,                // the watchdog stopped it while the answer was awaited
  AuthenticationInvalid,        // the auth.php answer holds fewer than two pairs
  Authenticated,                // authResult 0: prepare and send the package
  AuthenticationPrivateServer,  // authResult 3 or 4
  AuthenticationRejected,       // any other authResult
  UploadInvalid,                // the upload.php answer holds fewer than three pairs
  UploadStored,                 // uploadResult 0
  UploadPrivateServer,          // uploadResult 3 or 4
  UploadRejected,               // any other uploadResult
};

struct DoneFacts {
  UploadPhase phase = UploadPhase::Authenticating;
  std::string error;        // the client's error text
  uint32_t statusCode = 0;  // of the answer; 0 when none was read
  int32_t stallTicks = 0;
  bool receiving = false;  // the answer had begun to arrive
  std::string body;        // the answer's body
};

struct DoneDecision {
  DoneAction action = DoneAction::Nothing;
  std::string errorMessage;  // set for the failures decided here
  int32_t result = 0;        // authResult or uploadResult
  std::string message;       // authMore or uploadMore
};

// The watchdog's limit: this many ticks without progress stop the request.
constexpr int32_t kStallTickLimit = 20;

DoneDecision DecideDone(const DoneFacts& facts);

// One watchdog tick: the byte count is compared with the previous tick's. True exactly on the
// tick that reaches the limit, when the request is to be stopped.
bool WatchdogTick(uint32_t progressBytes, int32_t& lastProgressBytes, int32_t& stallTicks);

// The sending progress in percent: bytes sent x 99 / total (0 without a total), so the bar
// shows 100 only once the answer arrives.
double SendingPercent(uint32_t sent, uint32_t total);

// The text with every line feed replaced by a blank, for a log line.
std::string OnOneLine(const std::string& text);

}  // namespace drovane
