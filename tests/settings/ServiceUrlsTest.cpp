// The service and web site addresses: fixed, unless the environment points a run elsewhere.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "settings/ServiceUrls.h"

namespace drovane {
namespace {

// An empty value removes the variable, as _putenv_s does.
void PutVariable(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value);
#else
  if (*value) {
    setenv(name, value, 1);
  } else {
    unsetenv(name);
  }
#endif
}

// Sets (or with nullptr removes) a variable for the C library for one scope.
class EnvironmentValue {
 public:
  EnvironmentValue(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) {
      hadValue_ = true;
      old_ = old;
    }
    PutVariable(name, value ? value : "");
  }
  ~EnvironmentValue() { PutVariable(name_.c_str(), hadValue_ ? old_.c_str() : ""); }

 private:
  std::string name_;
  bool hadValue_ = false;
  std::string old_;
};

TEST(ServiceUrls, FixedAddressesWithoutOverride) {
  EnvironmentValue service("DROVANE_SERVICE_URL", nullptr);
  EnvironmentValue website("DROVANE_WEBSITE_URL", nullptr);
  EXPECT_EQ(ServiceBaseUrl(), "http://client.drovane.com/");
  EXPECT_EQ(WebsiteBaseUrl(), "http://www.drovane.com");
}

TEST(ServiceUrls, EnvironmentOverridesKeepTheirPortAndGetTheirSlashRight) {
  {
    EnvironmentValue service("DROVANE_SERVICE_URL", "http://127.0.0.1:8123/");
    EnvironmentValue website("DROVANE_WEBSITE_URL", "http://127.0.0.1:8124");
    EXPECT_EQ(ServiceBaseUrl(), "http://127.0.0.1:8123/");
    EXPECT_EQ(WebsiteBaseUrl(), "http://127.0.0.1:8124");
  }
  {
    // The service URL is followed directly by a path, the web site URL by "/...".
    EnvironmentValue service("DROVANE_SERVICE_URL", "http://127.0.0.1:8123");
    EnvironmentValue website("DROVANE_WEBSITE_URL", "http://127.0.0.1:8124/");
    EXPECT_EQ(ServiceBaseUrl(), "http://127.0.0.1:8123/");
    EXPECT_EQ(WebsiteBaseUrl(), "http://127.0.0.1:8124");
  }
}

}  // namespace
}  // namespace drovane
