// The update list the service publishes ("files/updates.dat"): the parser and everything the
// self-update does with the entries it returns (masks, overrides, local paths), its signature
// block, and the confinement of targets: no accepted entry resolves outside its allowed folder.
#include <cctype>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "update/ListSignature.h"
#include "update/TargetConfinement.h"
#include "update/UpdateList.h"

using namespace drovane;

namespace {

constexpr char kGame[] = "C:\\Games\\World of Warcraft";
constexpr char kAppData[] = "C:\\Users\\u\\AppData\\Drovane\\";

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A path that starts with the root and, below it, has no name Windows would resolve elsewhere.
bool StaysInside(const std::string& path, const std::string& root) {
  if (Lower(path).compare(0, root.size(), Lower(root)) != 0) return false;
  std::string name;
  for (size_t i = root.size(); i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '\\' || path[i] == '/') {
      if (name == ".." || name == "." || name.find(':') != std::string::npos) return false;
      name.clear();
    } else {
      name += path[i];
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  UpdateList list;
  const ListError error = ParseUpdateList(bytes, list);
  FUZZ_CHECK(ListErrorText(error) != nullptr);
  // The header digest is a fixed 36-byte field that need not hold its NUL.
  const std::string digest = ClientDigest(list.header);
  FUZZ_CHECK(digest.size() <= sizeof(list.header.clientMd5));
  for (const UpdateEntry& entry : list.entries) {
    FUZZ_CHECK(FileNameOf(entry.serverPath) == entry.fileName || entry.fileName.empty());
    std::string reason;
    if (IsConfinedTarget(entry, reason)) {
      if (entry.editionMask != 0) {
        FUZZ_CHECK(StaysInside(GameFilePath(entry, kGame),
                               std::string(kGame) + "\\Interface\\AddOns\\"));
      } else {
        FUZZ_CHECK(StaysInside(OtherFileFolder(entry.targetDir, kAppData) + entry.fileName,
                               kAppData));
      }
    } else {
      FUZZ_CHECK(!reason.empty());
    }
    FolderOf(entry.serverPath);
    ReplaceFirst(entry.targetDir, "%WoW%", "");
  }
  if (error == ListError::None) {
    ListSignature signature;
    const TrustError trust =
        ParseListSignature(bytes, list.entriesEnd, list.entries.size(), signature);
    FUZZ_CHECK(!TrustErrorText(trust, signature.sequence, 0).empty());
    if (trust == TrustError::None) {
      FUZZ_CHECK(signature.entrySha256.size() == list.entries.size());
      FUZZ_CHECK(signature.signedLength + kSignatureBytes == size);
    }
  }
  std::vector<uint32_t> before;
  for (const UpdateEntry& entry : list.entries) before.push_back(entry.installMask);
  ApplyEditionOverrides(list.entries);
  for (size_t i = 0; i < list.entries.size(); ++i) {
    // Overrides only take installations away from an entry, never add any.
    FUZZ_CHECK((list.entries[i].installMask & ~before[i]) == 0);
  }
  return 0;
}
