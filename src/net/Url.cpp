#include "net/Url.h"

namespace drovane {
namespace {

bool IsUnreservedByte(unsigned char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '-' ||
         c == '.' || c == '_';
}

// -1 for a byte that is no hexadecimal digit.
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool AllDigits(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

}  // namespace

UrlParts SplitUrl(const std::string& url) {
  UrlParts parts;
  std::string::size_type hostStart = 0;
  const std::string::size_type marker = url.find("://");
  if (marker != std::string::npos) {
    parts.scheme = url.substr(0, marker);
    hostStart = marker + 3;
  }
  const std::string::size_type slash = url.find('/', hostStart);
  if (slash == std::string::npos) {
    parts.host = url.substr(hostStart);
    parts.path = "/";
  } else {
    parts.host = url.substr(hostStart, slash - hostStart);
    parts.path = url.substr(slash);
  }
  return parts;
}

ResolveTarget TargetOf(const UrlParts& url) {
  ResolveTarget target{url.host, url.scheme.empty() ? "http" : url.scheme};
  const std::string::size_type colon = url.host.rfind(':');
  if (colon != std::string::npos && AllDigits(url.host.substr(colon + 1))) {
    target.host = url.host.substr(0, colon);
    target.service = url.host.substr(colon + 1);
  }
  return target;
}

std::string UrlEncode(const std::string& text) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string encoded;
  encoded.reserve(text.size());
  for (char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (byte == ' ') {
      encoded += '+';
    } else if (IsUnreservedByte(byte)) {
      encoded += c;
    } else {
      encoded += '%';
      encoded += kHex[byte >> 4];
      encoded += kHex[byte & 0x0F];
    }
  }
  return encoded;
}

std::string UrlDecode(const std::string& text) {
  std::string decoded;
  decoded.reserve(text.size());
  std::string::size_type i = 0;
  while (i < text.size()) {
    const char c = text[i];
    if (c == '+') {
      decoded += ' ';
      ++i;
    } else if (c != '%') {
      decoded += c;
      ++i;
    } else {
      // Keep as much of a broken escape as was there and go on after it.
      const int high = i + 1 < text.size() ? HexValue(text[i + 1]) : -1;
      const int low = i + 2 < text.size() ? HexValue(text[i + 2]) : -1;
      if (high < 0) {
        decoded += '%';
        i += 1;
      } else if (low < 0) {
        decoded += '%';
        decoded += text[i + 1];
        i += 2;
      } else {
        decoded += static_cast<char>(high * 16 + low);
        i += 3;
      }
    }
  }
  return decoded;
}

}  // namespace drovane
