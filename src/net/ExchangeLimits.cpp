#include "net/ExchangeLimits.h"

#include <cstdio>

namespace drovane {
namespace {

constexpr std::size_t kShownLocation = 300;

}  // namespace

std::string DurationText(Milliseconds duration) {
  const long long ms = duration.count();
  char text[48];
  if (ms % 1000 == 0) {
    std::snprintf(text, sizeof text, "%lld second%s", ms / 1000, ms == 1000 ? "" : "s");
  } else {
    std::snprintf(text, sizeof text, "%g seconds", static_cast<double>(ms) / 1000.0);
  }
  return text;
}

std::string ConnectTimeoutText(Milliseconds limit) {
  return "Timed out: the server did not accept the connection within " + DurationText(limit) + ".";
}

std::string IdleTimeoutText(Milliseconds limit, bool sending) {
  return sending
             ? "Timed out: the server took nothing of the request for " + DurationText(limit) + "."
             : "Timed out: the server sent nothing for " + DurationText(limit) + ".";
}

std::string WholeTimeoutText(Milliseconds limit) {
  return "Timed out: the exchange did not end within " + DurationText(limit) + ".";
}

std::string AnswerTimeoutText(Milliseconds limit) {
  return "Timed out: the answer did not arrive whole within " + DurationText(limit) + ".";
}

std::string RedirectText(std::uint32_t statusCode, const std::string& location) {
  std::string shown;
  for (char c : location.substr(0, kShownLocation)) {
    const auto byte = static_cast<unsigned char>(c);
    shown += byte < 0x20 || byte == 0x7F ? '?' : c;
  }
  if (location.size() > kShownLocation) shown += "...";
  if (shown.empty()) shown = "(no Location given)";
  return "The server redirects this request (status " + std::to_string(statusCode) + ") to " +
         shown + "; redirects are not followed.";
}

}  // namespace drovane
