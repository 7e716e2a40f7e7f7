#include "settings/AccountExclusions.h"

#include "base/DataFile.h"
#include "base/TextHelpers.h"

namespace drovane {

AccountExclusionMap& AccountExclusions() {
  static AccountExclusionMap exclusions;
  return exclusions;
}

bool IsAccountExcluded(const AccountExclusionMap& exclusions, const std::string& name) {
  const auto found = exclusions.find(Utf8ToUpper(name));
  return found != exclusions.end() && !found->second.empty();
}

bool IsAccountExcluded(const std::string& name) {
  return IsAccountExcluded(AccountExclusions(), name);
}

void AddAccountExclusionLines(const std::string& text, AccountExclusionMap& exclusions) {
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    // A file saved by a Windows editor ends its lines in CR LF; names are kept upper-cased, as
    // they are looked up.
    size_t last = end;
    if (last > start && text[last - 1] == '\r') --last;
    if (last > start) {
      const std::string name = Utf8ToUpper(text.substr(start, last - start));
      if (!name.empty()) exclusions[name] = name;
    }
    start = end + 1;
  }
}

std::string AccountExclusionFileText(const AccountExclusionMap& exclusions) {
  std::string text;
  for (const auto& entry : exclusions) {
    if (!entry.first.empty()) text += entry.first + "\n";
  }
  return text;
}

bool LoadAccountExclusions(const std::string& path, AccountExclusionMap& exclusions) {
  DataFile file;
  if (!file.Open(path, FileMode::Read)) return false;
  const char* text = file.ReadAll();
  if (!text) return false;
  AddAccountExclusionLines(std::string(text, file.ReadAllSize()), exclusions);
  return true;
}

}  // namespace drovane
