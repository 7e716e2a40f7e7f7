#pragma once
// Where an HttpClient exchange stands; owners learn of each change through their StatusCallback.
#include <cstdint>

namespace drovane {

enum class HttpStatus : std::int32_t {
  None = 0,        // idle; a request may be started
  Connecting = 1,  // a request was built and the exchange started (resolving, connecting)
  Sending = 2,     // connected; the request bytes are being written
  Receiving = 3,   // the request was written; the response is being read
  Done = 4,        // the exchange has ended, successfully or not; stays until Reset
};

// "None", "Connecting", "Sending", "Receiving" or "Done".
const char* HttpStatusName(HttpStatus status);

}  // namespace drovane
