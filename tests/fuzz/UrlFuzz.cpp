// The URL codec and what is built from URLs and form texts: splitting, the resolver target, the
// GET request head, form fields, the log's password mask and the service's request URLs. The
// input is split at its first zero byte into a URL and a value.
#include "FuzzSupport.h"
#include "net/HttpRequest.h"
#include "net/Url.h"
#include "upload/UploadProtocol.h"

using namespace drovane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const size_t cut = input.find('\0');
  const std::string url = input.substr(0, cut);
  const std::string value = cut == std::string::npos ? std::string() : input.substr(cut + 1);

  // Encoding is lossless, and its output holds only the safe characters.
  const std::string encoded = UrlEncode(value);
  FUZZ_CHECK(UrlDecode(encoded) == value);
  FUZZ_CHECK(encoded.find_first_not_of("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                       "0123456789-._+%") == std::string::npos);
  // Decoding never grows a text.
  FUZZ_CHECK(UrlDecode(input).size() <= input.size());

  const UrlParts parts = SplitUrl(url);
  FUZZ_CHECK(!parts.path.empty() && parts.path[0] == '/');
  const ResolveTarget target = TargetOf(parts);
  FUZZ_CHECK(!target.service.empty());
  std::string head;
  BuildGetRequest(parts, {{"User-Agent", value}, {"Accept", ""}}, head);
  FUZZ_CHECK(head.compare(0, 4, "GET ") == 0);

  for (const auto& field : SplitFormFields(value)) {
    FUZZ_CHECK(field.first.find_first_of("&=") == std::string::npos);
    FUZZ_CHECK(field.second.find('&') == std::string::npos);
  }
  const std::string masked = MaskPasswordForLog(url);
  if (url.find("password=") == std::string::npos) FUZZ_CHECK(masked == url);
  // Every password value left in the text is the mask, whole up to the next parameter.
  for (size_t key = masked.find("password="); key != std::string::npos;
       key = masked.find("password=", key + 1)) {
    const size_t start = key + 9;
    const size_t end = masked.find('&', start);
    FUZZ_CHECK(masked.substr(start, end == std::string::npos ? std::string::npos : end - start) ==
               std::string(28, '*'));
  }

  AuthenticationUrl(url, value, value, value);
  UploadParameters parameters;
  parameters.username = value;
  parameters.password = url;
  parameters.realmlist = value;
  parameters.portal = value;
  parameters.locale = value.substr(0, 4);
  const std::string upload = UploadUrl(url, parameters);
  FUZZ_CHECK(upload.compare(0, url.size(), url) == 0);
  return 0;
}
