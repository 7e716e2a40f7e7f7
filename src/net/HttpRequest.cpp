#include "net/HttpRequest.h"

#include <algorithm>

namespace drovane {
namespace {

void AppendRequestLineAndHeaders(const char* method, const UrlParts& url,
                                 const HttpHeaders& headers, std::string& head) {
  head += method;
  head += ' ';
  head += url.path;
  head += " HTTP/1.1\r\n";
  head += "Host: ";
  head += url.host;
  head += "\r\n";
  for (const auto& [name, value] : headers) {
    // A header cleared to an empty value stays in the map but is not sent.
    if (value.empty()) continue;
    head += name;
    head += ": ";
    head += value;
    head += "\r\n";
  }
}

void BuildMultipartBody(const MultipartFiles& files, const std::string& fields,
                        const std::string& boundary, RequestBody& body) {
  const std::string separator = "\r\n--" + boundary;
  body.Append("--" + boundary);
  int part = 0;
  for (const auto& [fileName, content] : files) {
    body.Append("\r\nContent-Disposition: form-data; name=\"file" + std::to_string(part++) +
                "\"; filename=\"" + fileName + "\"\r\nContent-Type: application/binary\r\n\r\n");
    body.AppendBorrowed(content);
    body.Append(separator);
  }
  for (const auto& [name, value] : SplitFormFields(fields)) {
    body.Append("\r\nContent-Disposition: form-data; name=\"" + name + "\"\r\n\r\n" + value);
    body.Append(separator);
  }
  body.Append("--");
}

}  // namespace

void BuildGetRequest(const UrlParts& url, const HttpHeaders& headers, std::string& head) {
  AppendRequestLineAndHeaders("GET", url, headers, head);
  head += "\r\n";
}

void BuildPostRequest(const UrlParts& url, const HttpHeaders& headers, const MultipartFiles& files,
                      const std::string& fields, std::int32_t tickCount, std::string& head,
                      RequestBody& body) {
  AppendRequestLineAndHeaders("POST", url, headers, head);
  if (files.empty()) {
    body.Append(fields);
    head += "Content-Type: application/x-www-form-urlencoded\r\n";
  } else {
    const std::string boundary = MultipartBoundary(tickCount);
    BuildMultipartBody(files, fields, boundary, body);
    head += "Content-Type: multipart/form-data; boundary=" + boundary + "\r\n";
  }
  head += "Content-Length: " + std::to_string(body.size()) + "\r\n";
  head += "\r\n";
}

std::string MultipartBoundary(std::int32_t tickCount) {
  return std::string(27, '-') + std::to_string(tickCount);
}

std::vector<std::pair<std::string, std::string>> SplitFormFields(const std::string& fields) {
  std::vector<std::pair<std::string, std::string>> pairs;
  std::string::size_type start = 0;
  while (start < fields.size()) {
    std::string::size_type end = fields.find('&', start);
    if (end == std::string::npos) end = fields.size();
    const std::string pair = fields.substr(start, end - start);
    if (!pair.empty()) {
      const std::string::size_type equals = pair.find('=');
      if (equals == std::string::npos) {
        pairs.emplace_back(pair, std::string());
      } else {
        pairs.emplace_back(pair.substr(0, equals), pair.substr(equals + 1));
      }
    }
    start = end + 1;
  }
  return pairs;
}

std::string MaskPasswordForLog(const std::string& path) {
  // The whole value, up to the next parameter, goes: a mask of fixed length shows neither the
  // password nor its length.
  static const std::string kKey = "password=";
  static const std::string kMask(28, '*');
  std::string masked = path;
  for (std::string::size_type key = masked.find(kKey); key != std::string::npos;
       key = masked.find(kKey, key + kKey.size() + kMask.size())) {
    const std::string::size_type start = key + kKey.size();
    const std::string::size_type end = masked.find('&', start);
    masked.replace(start, (end == std::string::npos ? masked.size() : end) - start, kMask);
  }
  return masked;
}

}  // namespace drovane
