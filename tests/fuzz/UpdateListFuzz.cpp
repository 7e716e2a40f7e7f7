// The update list the service publishes ("files/updates.dat"): the parser and everything the
// self-update does with the entries it returns (masks, overrides, local paths).
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "update/UpdateList.h"

using namespace drovane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  UpdateList list;
  const ListError error =
      ParseUpdateList(std::string_view(reinterpret_cast<const char*>(data), size), list);
  FUZZ_CHECK(ListErrorText(error) != nullptr);
  // The header digest is a fixed 36-byte field that need not hold its NUL.
  const std::string digest = ClientDigest(list.header);
  FUZZ_CHECK(digest.size() <= sizeof(list.header.clientMd5));
  for (const UpdateEntry& entry : list.entries) {
    FUZZ_CHECK(FileNameOf(entry.serverPath) == entry.fileName || entry.fileName.empty());
    GameFilePath(entry, "C:\\Games\\World of Warcraft");
    OtherFileFolder(entry.targetDir, "C:\\Users\\u\\AppData\\Drovane\\", "C:\\Windows\\system32");
    FolderOf(entry.serverPath);
    ReplaceFirst(entry.targetDir, "%WoW%", "");
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
