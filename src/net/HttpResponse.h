#pragma once
// What the client makes of a received head and of a response for the log. Pure.
#include <cstddef>
#include <cstdint>
#include <string>

namespace drovane {

// The response dump in the log shows at most this much of a response.
constexpr std::size_t kResponseDumpLimit = 4096;

// The value of a header in a received head: the text after "\r\n" name ": " up to the next
// "\r\n". The name is matched case-sensitively. Empty when the header is absent or its line
// never ends.
std::string FindResponseHeader(const std::string& head, const std::string& name);

// The failure of an answer whose status is not the one success the client takes (200).
std::string InvalidStatusText(std::uint32_t statusCode);

// A response made readable in the log: tabs, carriage returns and line feeds written as \t,
// \r and \n, each \n followed by a real line feed. When bytes of the response were left out
// (omitted > 0), a last line says how many.
std::string ResponseForLog(const std::string& response, std::size_t omitted = 0);

}  // namespace drovane
