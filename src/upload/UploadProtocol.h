#pragma once
// What the client says to the service during an upload and how it reads the answers: the two
// request URLs, the package file names, the OS version text, the locale sent, and the answer's
// key and value lines. Pure.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "game/GameEdition.h"

namespace drovane {

// "LIVE", "PTR" or "BETA": the first part of every package file name.
const char* EditionTag(GameEdition edition);

// Tag + "_" + game version + "_" + locale + "_" + cache file name + ".gz"
std::string CachePackageFileName(GameEdition edition, const std::string& gameVersion,
                                 const std::string& locale, const std::string& cacheFileName);
// Tag + "_" + game version + "_" + account folder + "_SavedVariables.lua.gz"
std::string AddonPackageFileName(GameEdition edition, const std::string& gameVersion,
                                 const std::string& accountFolder);

// base + "auth.php?username=...&password=...&locale=..." (values URL-encoded).
std::string AuthenticationUrl(const std::string& serviceBaseUrl, const std::string& username,
                              const std::string& password, const std::string& locale);

// The query parameters of the upload request, as the package preparation found them.
struct UploadParameters {
  std::string username;
  std::string password;  // the stored MD5 hex
  int32_t addonVersion = 0;
  std::string osVersion;
  std::string realmlist;
  std::string portal;
  std::string locale;
  bool ignoreCharacterData = false;  // PREF_NO_CHARACTER_DATA
};
std::string UploadUrl(const std::string& serviceBaseUrl, const UploadParameters& parameters);

// "%d.%d.%d.%d.%d" of the major and minor version, the service pack's major and minor number and
// the suite mask.
std::string FormatOsVersion(unsigned major, unsigned minor, unsigned servicePackMajor,
                            unsigned servicePackMinor, unsigned suiteMask);

// The locale sent to the service: the first WDB locale folder of the last installation that
// passed the executable check (each list, in edition order), or "enUS" when that installation
// has none or no installation passed.
std::string ResponseLocaleOf(const std::vector<std::vector<std::string>>& passedLocaleLists);

// The service's answer: lines (each ended by a line feed; one carriage return before it is
// dropped) alternate key and value, each URL-decoded. A repeated key keeps its last value; a last
// key without its value line is dropped. True when at least one pair was stored.
using ResponseMap = std::map<std::string, std::string>;
bool ParseResponseLines(const std::string& body, ResponseMap& out);

// The value of a key, empty when absent.
std::string ResponseText(const ResponseMap& answer, const std::string& key);
// A result code: the key must be present and its value a whole decimal number (an optional minus
// sign and digits, nothing else, within 32 bits). False otherwise: an answer that does not say
// its result has no result.
bool ResponseResult(const ResponseMap& answer, const std::string& key, int32_t& result);

}  // namespace drovane
