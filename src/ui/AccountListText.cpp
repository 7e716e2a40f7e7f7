#include "ui/AccountListText.h"

#include "base/TextHelpers.h"

namespace drovane {

std::string AccountListEditText(const AccountExclusionMap& exclusions) {
  std::string text;
  for (const auto& entry : exclusions) {
    if (!entry.second.empty()) text += entry.second + "\r\n";
  }
  return text;
}

AccountExclusionMap AccountListFromEditText(const std::string& text) {
  AccountExclusionMap exclusions;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find("\r\n", start);
    if (end == std::string::npos) end = text.size();
    if (end > start) {
      const std::string name = Utf8ToUpper(text.substr(start, end - start));
      // A piece of bytes that are no valid UTF-8 at all upper-cases to nothing: no entry.
      if (!name.empty()) exclusions[name] = name;
    }
    start = end + 2;
  }
  return exclusions;
}

}  // namespace drovane
