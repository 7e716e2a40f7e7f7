#pragma once
// The bytes of the client's requests: the head (request line, "Host" and the header lines) and
// the body of a GET, a form POST and a multipart POST.
#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "net/RequestBody.h"
#include "net/Url.h"

namespace drovane {

// Header name to value; byte-wise order of the names is the order on the wire.
using HttpHeaders = std::map<std::string, std::string>;
// File name to content; byte-wise order of the names gives the part names file0, file1, ...
using MultipartFiles = std::map<std::string, std::string>;

// Appends "GET " path " HTTP/1.1", "Host" and every header with a value, then the empty line.
void BuildGetRequest(const UrlParts& url, const HttpHeaders& headers, std::string& head);

// Appends the head and body of a POST. Without files the body is the fields text as given
// (already encoded by the caller); with files it is multipart/form-data, with the boundary made
// from tickCount (the system's millisecond tick). The body borrows the file contents: files
// must stay unchanged while the body is used.
void BuildPostRequest(const UrlParts& url, const HttpHeaders& headers, const MultipartFiles& files,
                      const std::string& fields, std::int32_t tickCount, std::string& head,
                      RequestBody& body);

// 27 hyphens followed by the tick count as a signed decimal.
std::string MultipartBoundary(std::int32_t tickCount);

// The name=value pairs of a form text joined by "&", in their order, neither decoded. A pair
// without "=" is a name with an empty value; empty pairs ("&&") are skipped.
std::vector<std::pair<std::string, std::string>> SplitFormFields(const std::string& fields);

// The path as it may go into the log: the first "password=" is followed by 28 "*" in place of
// up to 28 characters of the real text.
std::string MaskPasswordForLog(const std::string& path);

}  // namespace drovane
