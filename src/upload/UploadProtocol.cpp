#include "upload/UploadProtocol.h"

#include <cstdint>
#include <cstdio>

#include "base/Version.h"
#include "net/Url.h"

namespace drovane {

const char* EditionTag(GameEdition edition) {
  static const char* const kTags[kEditionCount] = {"LIVE", "PTR", "BETA"};
  return kTags[edition >= 0 && edition < kEditionCount ? edition : Live];
}

std::string CachePackageFileName(GameEdition edition, const std::string& gameVersion,
                                 const std::string& locale, const std::string& cacheFileName) {
  return std::string(EditionTag(edition)) + "_" + gameVersion + "_" + locale + "_" + cacheFileName +
         ".gz";
}

std::string AddonPackageFileName(GameEdition edition, const std::string& gameVersion,
                                 const std::string& accountFolder) {
  return std::string(EditionTag(edition)) + "_" + gameVersion + "_" + accountFolder +
         "_SavedVariables.lua.gz";
}

std::string AuthenticationUrl(const std::string& serviceBaseUrl, const std::string& username,
                              const std::string& password, const std::string& locale) {
  return serviceBaseUrl + "auth.php" + "?username=" + UrlEncode(username) +
         "&password=" + UrlEncode(password) + "&locale=" + UrlEncode(locale);
}

std::string UploadUrl(const std::string& serviceBaseUrl, const UploadParameters& parameters) {
  std::string url = serviceBaseUrl + "upload.php" + "?username=" + UrlEncode(parameters.username) +
                    "&password=" + UrlEncode(parameters.password) +
                    "&clientversion=" + UrlEncode(kClientVersion) +
                    "&looterversion=" + UrlEncode(std::to_string(parameters.addonVersion)) +
                    "&os=windows" + "&osversion=" + UrlEncode(parameters.osVersion) +
                    "&realmlist=" + UrlEncode(parameters.realmlist) +
                    "&portal=" + UrlEncode(parameters.portal) +
                    "&locale=" + UrlEncode(parameters.locale);
  if (parameters.ignoreCharacterData) url += "&ignorecharacterdata=true";
  return url;
}

std::string FormatOsVersion(unsigned major, unsigned minor, unsigned servicePackMajor,
                            unsigned servicePackMinor, unsigned suiteMask) {
  char text[64];
  std::snprintf(text, sizeof text, "%d.%d.%d.%d.%d", static_cast<int>(major),
                static_cast<int>(minor), static_cast<int>(servicePackMajor),
                static_cast<int>(servicePackMinor), static_cast<int>(suiteMask));
  return text;
}

std::string ResponseLocaleOf(const std::vector<std::vector<std::string>>& passedLocaleLists) {
  if (passedLocaleLists.empty() || passedLocaleLists.back().empty()) return "enUS";
  return passedLocaleLists.back().front();
}

bool ParseResponseLines(const std::string& body, ResponseMap& out) {
  out.clear();
  std::string key;
  bool haveKey = false;
  size_t begin = 0;
  while (begin < body.size()) {
    size_t end = body.find('\n', begin);
    if (end == std::string::npos) end = body.size();
    size_t lineEnd = end;
    if (lineEnd > begin && body[lineEnd - 1] == '\r') --lineEnd;
    std::string line = UrlDecode(body.substr(begin, lineEnd - begin));
    begin = end + 1;
    if (!haveKey) {
      key = std::move(line);
      haveKey = true;
    } else {
      out[key] = std::move(line);
      haveKey = false;
    }
  }
  return !out.empty();
}

std::string ResponseText(const ResponseMap& answer, const std::string& key) {
  const auto found = answer.find(key);
  return found == answer.end() ? std::string() : found->second;
}

bool ResponseResult(const ResponseMap& answer, const std::string& key, int32_t& result) {
  const auto found = answer.find(key);
  if (found == answer.end()) return false;
  const std::string& text = found->second;
  const bool negative = !text.empty() && text[0] == '-';
  const size_t firstDigit = negative ? 1 : 0;
  if (text.size() == firstDigit || text.size() - firstDigit > 10) return false;
  int64_t value = 0;
  for (size_t i = firstDigit; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return false;
    value = value * 10 + (text[i] - '0');
  }
  if (negative) value = -value;
  if (value < INT32_MIN || value > INT32_MAX) return false;
  result = static_cast<int32_t>(value);
  return true;
}

}  // namespace drovane
