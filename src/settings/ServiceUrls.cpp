#include "settings/ServiceUrls.h"

#include <cstdlib>

namespace drovane {
namespace {

// The variable's text, or the fixed value when it is unset or empty.
std::string FromEnvironment(const char* name, const char* fixed) {
  const char* value = std::getenv(name);
  return value && *value ? std::string(value) : std::string(fixed);
}

}  // namespace

std::string ServiceBaseUrl() {
  // Every request is this text directly followed by a path such as "files/updates.dat".
  std::string url = FromEnvironment("DROVANE_SERVICE_URL", kServiceBaseUrl);
  if (url.back() != '/') url += '/';
  return url;
}

std::string WebsiteBaseUrl() {
  // Page addresses are this text followed by "/...".
  std::string url = FromEnvironment("DROVANE_WEBSITE_URL", kWebsiteBaseUrl);
  while (url.size() > 1 && url.back() == '/') url.pop_back();
  return url;
}

}  // namespace drovane
