#include "upload/GameConfigLines.h"

#include <algorithm>

namespace drovane {
namespace {

char AsciiLower(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string Trimmed(const std::string& text) {
  size_t begin = 0;
  size_t end = text.size();
  while (begin < end && IsBlank(text[begin])) ++begin;
  while (end > begin && IsBlank(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// The rest of the line after the first occurrence of key (a lower-case text), matched without
// regard to ASCII letter case; empty when the key does not occur.
std::string ValueAfter(const std::string& text, const std::string& key) {
  const auto found = std::search(text.begin(), text.end(), key.begin(), key.end(),
                                 [](char a, char b) { return AsciiLower(a) == b; });
  if (found == text.end()) return std::string();
  const size_t start = static_cast<size_t>(found - text.begin()) + key.size();
  const size_t end = text.find('\n', start);
  return text.substr(start, end == std::string::npos ? std::string::npos : end - start);
}

}  // namespace

std::string RealmlistSetting(const std::string& fileText) {
  return Trimmed(ValueAfter(fileText, "set realmlist "));
}

std::string PortalSetting(const std::string& fileText) {
  std::string value = Trimmed(ValueAfter(fileText, "set portal "));
  value.erase(std::remove(value.begin(), value.end(), '"'), value.end());
  return value;
}

void AppendListValue(std::string& list, const std::string& value) {
  if (value.empty()) return;
  if (!list.empty()) list += '\n';
  list += value;
}

}  // namespace drovane
