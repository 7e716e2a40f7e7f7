#pragma once
// Where the client finds the Drovane web service and web site. Fixed in the program; the
// environment variables DROVANE_SERVICE_URL and DROVANE_WEBSITE_URL point a development or test
// run elsewhere (a local stand-in, with a port: "http://127.0.0.1:8123/").
// Pure: only the C library.
#include <string>

namespace drovane {

constexpr char kServiceBaseUrl[] = "http://client.drovane.com/";
constexpr char kWebsiteBaseUrl[] = "http://www.drovane.com";

// The service base URL, ending with "/" (one is added to an override that lacks it).
std::string ServiceBaseUrl();

// The web site base URL, without a trailing "/" (one is removed from an override).
std::string WebsiteBaseUrl();

}  // namespace drovane
