// The update list as bytes: the layout, the entries' masks and templates, and lists that are cut
// or corrupt.
#include <gtest/gtest.h>

#include <cstring>

#include "UpdateListBytes.h"
#include "update/UpdateList.h"

namespace drovane {
namespace {

using test::ListBytes;
using test::ListEntrySpec;
using test::ListSpec;

const char kDigestA[] = "0123456789abcdef0123456789abcdef";
const char kDigestB[] = "fedcba9876543210fedcba9876543210";
const char kDigestC[] = "00112233445566778899aabbccddeeff";

ListSpec SampleSpec() {
  ListSpec spec;
  spec.clientMd5 = kDigestA;
  spec.baseUrl = "http://127.0.0.1:8123/files/";
  spec.clientPath = "client/DrovaneClient.exe";
  spec.entries = {
      {kDigestB, 1234, "addon/Drovane_Looter/core.lua",
       "%WoW%\\Interface\\AddOns\\Drovane_Looter\\"},
      {kDigestC, 7, "addon\\ptr\\core.lua", "%WoW-PTR%\\Interface\\AddOns\\Drovane_Looter\\"},
      {kDigestA, 0xFFFFFFFFu, "readme.txt", "%AppPath%\\"},
  };
  return spec;
}

TEST(UpdateListParse, ReadsHeaderStringsAndEntriesInFileOrder) {
  UpdateList list;
  ASSERT_EQ(ParseUpdateList(ListBytes(SampleSpec()), list), ListError::None);
  EXPECT_EQ(std::string(list.header.magic, 4), "KSUL");
  EXPECT_EQ(list.header.blockLength, 40u);
  EXPECT_EQ(ClientDigest(list.header), kDigestA);
  EXPECT_EQ(list.header.entryCount, 3);
  EXPECT_EQ(list.downloadBaseUrl, "http://127.0.0.1:8123/files/");
  EXPECT_EQ(list.clientPath, "client/DrovaneClient.exe");
  ASSERT_EQ(list.entries.size(), 3u);

  const UpdateEntry& general = list.entries[0];
  EXPECT_EQ(general.md5, kDigestB);
  EXPECT_EQ(general.size, 1234u);
  EXPECT_EQ(general.serverPath, "addon/Drovane_Looter/core.lua");
  EXPECT_EQ(general.fileName, "core.lua");
  EXPECT_EQ(general.targetDir, "%WoW%\\Interface\\AddOns\\Drovane_Looter\\");
  EXPECT_EQ(general.editionMask, 0xFu);
  EXPECT_EQ(general.installMask, 0xFu);

  const UpdateEntry& ptr = list.entries[1];
  EXPECT_EQ(ptr.fileName, "core.lua");
  EXPECT_EQ(ptr.targetDir, "%WoW%\\Interface\\AddOns\\Drovane_Looter\\");
  EXPECT_EQ(ptr.editionMask, 2u);
  EXPECT_EQ(ptr.installMask, 2u);

  const UpdateEntry& other = list.entries[2];
  EXPECT_EQ(other.size, 0xFFFFFFFFu);
  EXPECT_EQ(other.fileName, "readme.txt");
  EXPECT_EQ(other.targetDir, "%AppPath%\\");
  EXPECT_EQ(other.editionMask, 0u);
  EXPECT_EQ(other.installMask, 0u);
}

TEST(UpdateListParse, EntryCountOfZeroOrLessMeansNoEntries) {
  for (int32_t count : {0, -1, INT32_MIN}) {
    ListSpec spec = SampleSpec();
    spec.useCount = true;
    spec.count = count;
    UpdateList list;
    ASSERT_EQ(ParseUpdateList(ListBytes(spec), list), ListError::None) << count;
    EXPECT_EQ(list.header.entryCount, count);
    EXPECT_TRUE(list.entries.empty()) << count;
    EXPECT_EQ(list.clientPath, "client/DrovaneClient.exe");
  }
}

TEST(UpdateListParse, BytesAfterTheCountedEntriesAreIgnored) {
  ListSpec spec = SampleSpec();
  spec.useCount = true;
  spec.count = 1;
  UpdateList list;
  ASSERT_EQ(ParseUpdateList(ListBytes(spec), list), ListError::None);
  ASSERT_EQ(list.entries.size(), 1u);
  EXPECT_EQ(list.entries[0].serverPath, "addon/Drovane_Looter/core.lua");
}

TEST(UpdateListParse, EveryCutOfASampleListIsRefusedWithoutReadingPastIt) {
  const std::string whole = ListBytes(SampleSpec());
  for (size_t length = 0; length < whole.size(); ++length) {
    // A copy of exactly `length` bytes: a read past it would leave the allocation.
    const std::unique_ptr<char[]> cut(new char[length ? length : 1]);
    std::memcpy(cut.get(), whole.data(), length);
    UpdateList list;
    EXPECT_NE(ParseUpdateList(std::string_view(cut.get(), length), list), ListError::None)
        << "length " << length;
  }
  UpdateList list;
  EXPECT_EQ(ParseUpdateList(whole, list), ListError::None);
}

TEST(UpdateListParse, MalformedHeadersAreNamed) {
  UpdateList list;
  EXPECT_EQ(ParseUpdateList("KSU", list), ListError::TooShort);
  EXPECT_EQ(ParseUpdateList(ListBytes(SampleSpec()).substr(0, 47), list), ListError::TooShort);

  ListSpec magic = SampleSpec();
  magic.magic = "KSUM";
  EXPECT_EQ(ParseUpdateList(ListBytes(magic), list), ListError::BadMagic);

  for (uint32_t length : {0u, 36u, 39u, 41u, 44u, 0xFFFFFFFFu}) {
    ListSpec block = SampleSpec();
    block.blockLength = length;
    EXPECT_EQ(ParseUpdateList(ListBytes(block), list), ListError::BadHeaderLength) << length;
  }

  ListSpec digest = SampleSpec();
  digest.clientMd5 = std::string(36, 'a');  // no NUL in the field
  EXPECT_EQ(ParseUpdateList(ListBytes(digest), list), ListError::UnterminatedDigest);
}

TEST(UpdateListParse, EntriesThatRunPastTheDataAreRefused) {
  UpdateList list;
  ListSpec many = SampleSpec();
  many.useCount = true;
  many.count = INT32_MAX;  // never reserved by the count: read one by one until the data ends
  EXPECT_EQ(ParseUpdateList(ListBytes(many), list), ListError::TruncatedEntry);

  ListSpec digest = SampleSpec();
  digest.entries[1].md5 = std::string(36, 'b');
  EXPECT_EQ(ParseUpdateList(ListBytes(digest), list), ListError::UnterminatedDigest);

  std::string noNul = ListBytes(SampleSpec());
  noNul.pop_back();  // the last target loses its NUL
  EXPECT_NE(ParseUpdateList(noNul, list), ListError::None);
}

TEST(UpdateListParse, AServerPathThatNamesNoFileIsRefused) {
  for (const char* path : {"", "addon/", "addon\\", "addon/..", "."}) {
    ListSpec spec = SampleSpec();
    spec.entries[0].serverPath = path;
    UpdateList list;
    EXPECT_EQ(ParseUpdateList(ListBytes(spec), list), ListError::EmptyFileName) << path;
  }
}

TEST(UpdateListNames, FileNameIsThePartAfterTheLastSlashOrBackslash) {
  EXPECT_EQ(FileNameOf("a/b/core.lua"), "core.lua");
  EXPECT_EQ(FileNameOf("x\\y.dll"), "y.dll");
  EXPECT_EQ(FileNameOf("readme.txt"), "readme.txt");
  EXPECT_EQ(FileNameOf("a\\b/c\\d.txt"), "d.txt");
  EXPECT_EQ(FileNameOf("dir/"), "");
}

TEST(UpdateListNames, PlaceholdersGiveTheMasksInTheirOrder) {
  struct Case {
    const char* target;
    uint32_t mask;
    const char* dir;
  };
  const Case cases[] = {
      {"%WoW-LIVE%\\A\\", 1, "%WoW%\\A\\"},
      {"%WoW-PTR%\\A\\", 2, "%WoW%\\A\\"},
      {"%WoW-BETA%\\A\\", 4, "%WoW%\\A\\"},
      {"%WoW%\\A\\", 0xF, "%WoW%\\A\\"},
      {"%AppPath%\\", 0, "%AppPath%\\"},
      {"%System%\\", 0, "%System%\\"},
      {"C:\\Fixed\\", 0, "C:\\Fixed\\"},
      // The first placeholder in the test order decides; only its first occurrence is replaced.
      {"%WoW-BETA%\\%WoW-PTR%\\", 2, "%WoW-BETA%\\%WoW%\\"},
      {"%WoW-LIVE%\\%WoW-LIVE%\\", 1, "%WoW%\\%WoW-LIVE%\\"},
      // Placeholders are matched as written.
      {"%wow%\\A\\", 0, "%wow%\\A\\"},
  };
  for (const Case& c : cases) {
    UpdateEntry entry;
    ClassifyTarget(c.target, entry);
    EXPECT_EQ(entry.editionMask, c.mask) << c.target;
    EXPECT_EQ(entry.installMask, c.mask) << c.target;
    EXPECT_EQ(entry.targetDir, c.dir) << c.target;
  }
}

UpdateEntry Entry(const std::string& serverPath, const std::string& target) {
  UpdateEntry entry;
  entry.serverPath = serverPath;
  entry.fileName = FileNameOf(serverPath);
  ClassifyTarget(target, entry);
  return entry;
}

TEST(UpdateListOverrides, ASpecialEntryTakesItsInstallationFromTheGeneralOne) {
  std::vector<UpdateEntry> entries = {
      Entry("general/core.lua", "%WoW%\\AddOns\\L\\"),
      Entry("ptr/core.lua", "%WoW-PTR%\\AddOns\\L\\"),
      Entry("beta/core.lua", "%WoW-BETA%\\AddOns\\L\\"),
      Entry("general/other.lua", "%WoW%\\AddOns\\L\\"),
      Entry("ptr/core.lua", "%WoW-PTR%\\AddOns\\Elsewhere\\"),
      Entry("app/core.lua", "%AppPath%\\AddOns\\L\\"),
  };
  ApplyEditionOverrides(entries);
  EXPECT_EQ(entries[0].installMask, 0xFu & ~2u & ~4u);  // Live and the "%WoW%" mark remain
  EXPECT_EQ(entries[0].editionMask, 0xFu);
  EXPECT_EQ(entries[1].installMask, 2u);
  EXPECT_EQ(entries[2].installMask, 4u);
  EXPECT_EQ(entries[3].installMask, 0xFu);  // another file name
  EXPECT_EQ(entries[4].installMask, 2u);
  EXPECT_EQ(entries[5].installMask, 0u);
}

TEST(UpdateListPaths, GameAndOtherTargetsBecomeLocalPaths) {
  const UpdateEntry entry = Entry("addon/core.lua", "%WoW-PTR%\\Interface\\AddOns\\L\\");
  EXPECT_EQ(GameFilePath(entry, "C:\\Games\\WoW PTR"),
            "C:\\Games\\WoW PTR\\Interface\\AddOns\\L\\core.lua");
  EXPECT_EQ(OtherFileFolder("%AppPath%\\sub\\", "C:\\Data\\Drovane Client\\"),
            "C:\\Data\\Drovane Client\\\\sub\\");
  EXPECT_EQ(FolderOf("C:\\a\\b\\c.txt"), "C:\\a\\b\\");
  EXPECT_EQ(FolderOf("c.txt"), "");
}

}  // namespace
}  // namespace drovane
