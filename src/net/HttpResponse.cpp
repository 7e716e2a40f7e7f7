#include "net/HttpResponse.h"

#include <cstdint>
#include <limits>

namespace drovane {
namespace {

// Reads a decimal number the way "%d" does: leading white space, a sign, then digits. False when
// no digit follows or the number does not fit 32 bits.
bool ReadDecimal(std::string_view text, std::int64_t& number) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' ||
                             text[i] == '\n' || text[i] == '\v' || text[i] == '\f')) {
    ++i;
  }
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  const std::size_t firstDigit = i;
  std::int64_t value = 0;
  while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
    value = value * 10 + (text[i] - '0');
    if (value > std::numeric_limits<std::int32_t>::max()) return false;
    ++i;
  }
  if (i == firstDigit) return false;
  number = negative ? -value : value;
  return true;
}

}  // namespace

std::uint32_t ParseStatusCode(std::string_view line) {
  if (line.substr(0, 5) != "HTTP/") return 0;
  const std::size_t space = line.find(' ');
  if (space == std::string_view::npos) return 0;
  std::int64_t code = 0;
  if (!ReadDecimal(line.substr(space + 1), code) || code < 0) return 0;
  return static_cast<std::uint32_t>(code);
}

std::string FindResponseHeader(const std::string& head, const std::string& name) {
  const std::string key = "\r\n" + name + ": ";
  const std::string::size_type at = head.find(key);
  if (at == std::string::npos) return std::string();
  const std::string::size_type start = at + key.size();
  const std::string::size_type end = head.find("\r\n", start);
  if (end == std::string::npos) return std::string();
  return head.substr(start, end - start);
}

std::int32_t ExpectedResponseTotal(const std::string& head) {
  std::int64_t length = 0;
  if (!ReadDecimal(FindResponseHeader(head, "Content-Length"), length) || length < 0) return 0;
  const std::int64_t total = length + static_cast<std::int64_t>(head.size());
  if (total > std::numeric_limits<std::int32_t>::max()) return 0;
  return static_cast<std::int32_t>(total);
}

HeadEndScan ScanForHeadEnd(std::string_view data, bool atLineStart) {
  if (atLineStart) {
    if (data.substr(0, 2) == "\r\n") return {2, true};
    // A lone "\r" may still become the empty line.
    if (data.empty() || data == "\r") return {0, false};
  }
  const std::size_t at = data.find("\n\r\n");
  if (at != std::string_view::npos) return {at + 3, true};
  // "\n\r\n" may begin in the last two bytes.
  return {data.size() > 2 ? data.size() - 2 : 0, false};
}

std::size_t TakeHeadLines(std::string_view data, std::string& head) {
  std::size_t used = 0;
  for (;;) {
    const std::size_t feed = data.find('\n', used);
    if (feed == std::string_view::npos) break;
    const std::string_view line = data.substr(used, feed - used);
    used = feed + 1;
    if (line == "\r") break;
    head.append(line.data(), line.size());
    head += '\n';
  }
  head += "\r\n";
  return used;
}

std::string ResponseForLog(const std::string& response) {
  std::string text;
  text.reserve(response.size() + response.size() / 16);
  for (char c : response) {
    switch (c) {
      case '\t':
        text += "\\t";
        break;
      case '\r':
        text += "\\r";
        break;
      case '\n':
        text += "\\n\n";
        break;
      default:
        text += c;
    }
  }
  return text;
}

}  // namespace drovane
