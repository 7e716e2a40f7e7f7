#include "upload/AddonCopy.h"

#include <cstdio>

#include "data/SavedVariables.h"

namespace drovane {
namespace {

constexpr char kVersionKey[] = "dlVersion = ";
constexpr char kExportKey[] = "dlExportData = ";
constexpr char kUploadedKey[] = "dlUploaded = ";

}  // namespace

bool ReadAddonDataVersion(const std::string& text, int32_t* version) {
  const size_t at = text.find(kVersionKey);
  if (at == std::string::npos) return false;
  int32_t value = 0;
  if (ParseCInteger(text, at + sizeof kVersionKey - 1, 10, &value) == std::string::npos) {
    return false;
  }
  *version = value;
  return true;
}

std::string AddonUploadCopy(const std::string& text, bool excluded, int& state) {
  std::string copy = text;
  if (excluded) {
    const size_t line = copy.find(kExportKey);
    if (line != std::string::npos) {
      const size_t end = copy.find('\n', line);
      copy.erase(line, end == std::string::npos ? std::string::npos : end + 1 - line);
    }
  } else {
    state |= UPLOADED_EXPORT;
  }
  if (state & UPLOADED_BASE) {
    const size_t line = copy.find(kExportKey);
    if (line == std::string::npos) return std::string();
    const size_t end = copy.find('\n', line);
    return copy.substr(line, end == std::string::npos ? std::string::npos : end - line);
  }
  state |= UPLOADED_BASE;
  return copy;
}

UploadedLineRewrite RewriteUploadedLine(const std::string& text, int state) {
  UploadedLineRewrite result;
  char line[32];
  std::snprintf(line, sizeof line, "%s%d", kUploadedKey, state);
  result.line = line;
  result.text = text;
  const size_t at = text.find(kUploadedKey);
  result.hadLine = at != std::string::npos;
  if (!result.hadLine) {
    result.text.insert(0, text.empty() ? result.line : result.line + "\n");
    return result;
  }
  // The line ends at its line feed or carriage return (or with the text), which both stay.
  size_t end = text.find_first_of("\r\n", at);
  if (end == std::string::npos) end = text.size();
  result.text.replace(at, end - at, result.line);
  return result;
}

}  // namespace drovane
