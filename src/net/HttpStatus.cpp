#include "net/HttpStatus.h"

namespace drovane {

const char* HttpStatusName(HttpStatus status) {
  static const char* const kNames[] = {"None", "Connecting", "Sending", "Receiving", "Done"};
  const auto index = static_cast<std::int32_t>(status);
  return index >= 0 && index <= 4 ? kNames[index] : "Unknown";
}

}  // namespace drovane
