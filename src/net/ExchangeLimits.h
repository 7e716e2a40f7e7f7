#pragma once
// How long and how large one HttpClient exchange may be, and the texts of a time-out. A peer that
// accepts and never answers, answers one byte at a time, or sends without end would otherwise
// hold an exchange, and the memory behind it, for ever.
// Pure.
#include <chrono>
#include <cstdint>
#include <string>

namespace drovane {

using Milliseconds = std::chrono::milliseconds;

// The body an exchange accepts unless its owner says otherwise: the service's answers are a few
// lines long.
constexpr std::uint64_t kDefaultBodyLimit = 1024 * 1024;

struct ExchangeLimits {
  std::uint64_t bodyBytes = kDefaultBodyLimit;  // the largest body accepted
  Milliseconds connect{30000};                  // for each address tried
  Milliseconds idle{60000};                     // without a byte going out or coming in
  Milliseconds whole{0};   // from the start to the end of the exchange; 0: no limit
  Milliseconds answer{0};  // from the last byte sent to the end of the answer; 0: no limit
};

// "2 seconds", "1 second", "1.5 seconds"
std::string DurationText(Milliseconds duration);

// The error texts of the time-outs.
std::string ConnectTimeoutText(Milliseconds limit);
std::string IdleTimeoutText(Milliseconds limit, bool sending);
std::string WholeTimeoutText(Milliseconds limit);
std::string AnswerTimeoutText(Milliseconds limit);

// The error text of an answer that sends the client elsewhere: redirects are not followed, so
// that the player's log says where the service went. The location is the peer's text, shown
// without control characters and cut to a readable length.
std::string RedirectText(std::uint32_t statusCode, const std::string& location);

}  // namespace drovane
