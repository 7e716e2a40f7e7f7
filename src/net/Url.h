#pragma once
// URL pieces and the form codec used for query strings and form fields.
#include <string>

namespace drovane {

struct UrlParts {
  std::string scheme;  // text before "://"; empty without one
  std::string host;    // as written, a port included ("127.0.0.1:8123"); goes into "Host"
  std::string path;    // from the first "/" after the host to the end, query included; "/" if none
};

// Never fails: a URL without "://" has no scheme, one without "/" after the host asks for "/".
UrlParts SplitUrl(const std::string& url);

// What the resolver is asked for: the host name and, as service, either the port written after
// the host ("host:8123") or the scheme ("http" when the URL has none).
struct ResolveTarget {
  std::string host;
  std::string service;
};
ResolveTarget TargetOf(const UrlParts& url);

// Spaces become "+", ASCII letters and digits and "-", "." and "_" stay, every other byte
// becomes "%" and two uppercase hexadecimal digits.
std::string UrlEncode(const std::string& text);

// The reverse of UrlEncode. A "%" that is not followed by two hexadecimal digits is kept as it
// stands, so malformed input decodes to itself rather than to garbage.
std::string UrlDecode(const std::string& text);

}  // namespace drovane
