#pragma once
// Update list bytes written field by field, for lists the publisher refuses to make. Pure, so the
// list tests also run in the native sanitizer build.
#include <cstdint>
#include <string>
#include <vector>

namespace drovane::test {

// Bytes of an update list, field by field; the defaults make a well-formed list.
struct ListEntrySpec {
  std::string md5;
  uint32_t size = 0;
  std::string serverPath;
  std::string target;
};
struct ListSpec {
  std::string magic = "KSUL";
  uint32_t blockLength = 40;
  std::string clientMd5;
  bool useCount = false;  // write `count` instead of the number of entries
  int32_t count = 0;
  std::string baseUrl;
  std::string clientPath = "DrovaneClient.exe";
  std::vector<ListEntrySpec> entries;
};
std::string ListBytes(const ListSpec& spec);

}  // namespace drovane::test
