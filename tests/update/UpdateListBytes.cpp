#include "UpdateListBytes.h"

namespace drovane::test {
namespace {

void AppendUint32(std::string& out, uint32_t value) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>((value >> (8 * i)) & 0xFF);
}

void AppendDigest(std::string& out, const std::string& digest) {
  std::string field = digest.substr(0, 36);
  field.resize(36, '\0');
  out += field;
}

void AppendText(std::string& out, const std::string& text) {
  out += text;
  out += '\0';
}

}  // namespace

std::string ListBytes(const ListSpec& spec) {
  std::string out = spec.magic;
  AppendUint32(out, spec.blockLength);
  AppendDigest(out, spec.clientMd5);
  AppendUint32(out, static_cast<uint32_t>(
                        spec.useCount ? spec.count : static_cast<int32_t>(spec.entries.size())));
  AppendText(out, spec.baseUrl);
  AppendText(out, spec.clientPath);
  for (const ListEntrySpec& entry : spec.entries) {
    AppendDigest(out, entry.md5);
    AppendUint32(out, entry.size);
    AppendText(out, entry.serverPath);
    AppendText(out, entry.target);
  }
  return out;
}

}  // namespace drovane::test
