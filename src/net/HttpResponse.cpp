#include "net/HttpResponse.h"

namespace drovane {

std::string FindResponseHeader(const std::string& head, const std::string& name) {
  const std::string key = "\r\n" + name + ": ";
  const std::string::size_type at = head.find(key);
  if (at == std::string::npos) return std::string();
  const std::string::size_type start = at + key.size();
  const std::string::size_type end = head.find("\r\n", start);
  if (end == std::string::npos) return std::string();
  return head.substr(start, end - start);
}

std::string InvalidStatusText(std::uint32_t statusCode) {
  return "Invalid status code: " + std::to_string(statusCode) + ".";
}

std::string ResponseForLog(const std::string& response, std::size_t omitted) {
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
  if (omitted > 0) text += "\n[" + std::to_string(omitted) + " more bytes not shown]";
  return text;
}

}  // namespace drovane
