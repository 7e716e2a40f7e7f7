#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "gamefixture/AdbWriter.h"
#include "CacheWalks.h"

namespace drovane::fixture {
namespace {

using test::AdbUpload;
using test::Field;
using test::InventoryAdbIds;
using test::UploadAdbRecords;
using test::ValidateAdbHeader;

AdbFileParams Params(int kind, AdbMagic magic, int32_t count, int32_t firstId = 1) {
  AdbFileParams params;
  params.kindIndex = kind;
  params.magic = magic;
  params.build = 22522;
  params.firstId = firstId;
  params.recordCount = count;
  return params;
}

std::vector<int32_t> Ids(int32_t first, int32_t count) {
  std::vector<int32_t> ids;
  for (int32_t i = 0; i < count; ++i) ids.push_back(first + i);
  return ids;
}

std::vector<int32_t> UploadIds(const AdbUpload& upload) {
  std::vector<int32_t> ids;
  for (const auto& record : upload.records) ids.push_back(record.first);
  return ids;
}

TEST(FixtureAdb, KindTableMatchesTheClientsCacheTable) {
  const struct {
    const char* file;
    uint32_t flags;
  } expected[kAdbKindCount] = {{"item.adb", ADB_ID_LIST},
                               {"item-sparse.adb", ADB_OFFSET_MAP | ADB_ID_LIST},
                               {"keychain.adb", ADB_ID_LIST},
                               {"itemcurrencycost.adb", ADB_ID_LIST},
                               {"itemextendedcost.adb", ADB_ID_LIST},
                               {"itembonus.adb", 0},
                               {"spellreagents.adb", ADB_ID_LIST}};
  for (int i = 0; i < kAdbKindCount; ++i) {
    EXPECT_STREQ(AdbKindAt(i).fileName, expected[i].file);
    EXPECT_EQ(AdbKindAt(i).layoutFlags, expected[i].flags);
    int index = -1;
    EXPECT_TRUE(AdbKindFromName(expected[i].file, index));
    EXPECT_EQ(index, i);
  }
  int index = -1;
  EXPECT_TRUE(AdbKindFromName("itembonus", index));
  EXPECT_EQ(index, 5);
  EXPECT_FALSE(AdbKindFromName("creaturecache.wdb", index));
  EXPECT_EQ(LayoutOf(AdbMagic::WCH2, ADB_OFFSET_MAP | ADB_ID_LIST), AdbLayout::Records);
  EXPECT_EQ(LayoutOf(AdbMagic::WCH8, ADB_OFFSET_MAP | ADB_ID_LIST), AdbLayout::OffsetMap);
  EXPECT_EQ(LayoutOf(AdbMagic::WCH8, ADB_ID_LIST), AdbLayout::IdList);
  EXPECT_EQ(LayoutOf(AdbMagic::WCH8, 0), AdbLayout::Records);
}

TEST(FixtureAdb, HeaderFields) {
  for (AdbMagic magic : {AdbMagic::WCH8, AdbMagic::WCH2}) {
    for (int kind = 0; kind < kAdbKindCount; ++kind) {
      const std::string file = BuildAdbFile(Params(kind, magic, 12, 40));
      SCOPED_TRACE(std::string(MagicText(magic)) + " " + AdbKindAt(kind).fileName);
      EXPECT_EQ(file.substr(0, 4), MagicText(magic));
      EXPECT_EQ(Field(file, 4), 12);      // record count
      EXPECT_EQ(Field(file, 24), 22522);  // build
      EXPECT_EQ(Field(file, 28), 0);      // last written: 0, so runs give the same bytes
      EXPECT_EQ(Field(file, 32), 40);     // lowest id
      EXPECT_EQ(Field(file, 36), 51);     // highest id
      EXPECT_EQ(file.substr(40, 4), "SUne");
      const AdbLayout layout = LayoutOf(magic, AdbKindAt(kind).layoutFlags);
      if (layout != AdbLayout::OffsetMap) {
        EXPECT_EQ(static_cast<uint32_t>(Field(file, 12)), AdbKindAt(kind).recordSize);
      }
      EXPECT_EQ(Field(file, 44), 0);
      if (magic == AdbMagic::WCH8 && layout != AdbLayout::OffsetMap) {
        EXPECT_EQ(Field(file, 48), 0);
      }
    }
  }
}

// Every layout written reads back through both of the client's walks with every id, and
// passes the upload's header validation.
TEST(FixtureAdb, EveryLayoutReadsBackThroughInventoryAndUpload) {
  for (AdbMagic magic : {AdbMagic::WCH8, AdbMagic::WCH2}) {
    for (int kind = 0; kind < kAdbKindCount; ++kind) {
      const uint32_t flags = AdbKindAt(kind).layoutFlags;
      for (int32_t count : {1, 2, 33}) {
        SCOPED_TRACE(std::string(MagicText(magic)) + " " + AdbKindAt(kind).fileName + " x" +
                     std::to_string(count));
        const std::string file = BuildAdbFile(Params(kind, magic, count, 7));
        EXPECT_EQ(ValidateAdbHeader(file, flags), "");
        EXPECT_EQ(UploadIds(UploadAdbRecords(file, flags)), Ids(7, count));
        if (LayoutOf(magic, flags) != AdbLayout::OffsetMap) {
          EXPECT_EQ(InventoryAdbIds(file, flags), Ids(7, count));
        }
      }
    }
  }
}

TEST(FixtureAdb, RecordsLayoutHasIdsInRecordsAndAStringBlock) {
  const std::string file = BuildAdbFile(Params(1, AdbMagic::WCH2, 3, 10));  // item-sparse, named
  const int32_t recordSize = Field(file, 12);
  const int32_t blockSize = Field(file, 16);
  EXPECT_EQ(file.size(), 48u + 3u * static_cast<uint32_t>(recordSize) + blockSize);
  const AdbUpload upload = UploadAdbRecords(file, ADB_OFFSET_MAP | ADB_ID_LIST);
  ASSERT_EQ(upload.records.size(), 3u);
  EXPECT_EQ(upload.stringBlock, file.substr(file.size() - blockSize));
  EXPECT_EQ(upload.stringBlock[0], '\0');
  for (const auto& record : upload.records) {
    EXPECT_EQ(Field(record.second, 0), record.first);
    // Field 1 points at the item's name in the string block.
    const int32_t nameAt = Field(record.second, 4);
    ASSERT_GT(nameAt, 0);
    ASSERT_LT(nameAt, blockSize);
    EXPECT_FALSE(std::string(upload.stringBlock.c_str() + nameAt).empty());
  }

  // Kinds without names still end with the one-byte string block.
  const std::string bonus = BuildAdbFile(Params(5, AdbMagic::WCH8, 4));
  EXPECT_EQ(Field(bonus, 16), 1);
  EXPECT_EQ(bonus.size(), 52u + 4u * 16u + 1u);
}

TEST(FixtureAdb, EmptyRecordsLayoutFileIsHeaderAndOneZeroByte) {
  const std::string wch2 = BuildAdbFile(Params(0, AdbMagic::WCH2, 0));
  EXPECT_EQ(wch2.size(), 49u);
  EXPECT_EQ(ValidateAdbHeader(wch2, ADB_ID_LIST), "\tFile Empty.");
  EXPECT_EQ(Field(wch2, 32), 0);
  EXPECT_EQ(Field(wch2, 36), 0);
  // The id list has its string block even without records.
  const std::string idList = BuildAdbFile(Params(0, AdbMagic::WCH8, 0));
  EXPECT_GT(Field(idList, 16), 1);
  EXPECT_EQ(idList.size(), 52u + static_cast<uint32_t>(Field(idList, 16)));
  EXPECT_EQ(BuildAdbFile(Params(5, AdbMagic::WCH8, 0)).size(), 53u);
}

TEST(FixtureAdb, IdListLayoutEndsWithTheIds) {
  const std::string file = BuildAdbFile(Params(3, AdbMagic::WCH8, 5, 100));  // itemcurrencycost
  EXPECT_EQ(Field(file, 12), 8);
  // A string block of the empty text and one name lies between the records and the ids.
  const uint32_t blockSize = static_cast<uint32_t>(Field(file, 16));
  ASSERT_GT(blockSize, 1u);
  ASSERT_EQ(file.size(), 52u + 5u * 8u + blockSize + 5u * 4u);
  const std::string block = file.substr(52 + 40, blockSize);
  EXPECT_EQ(block.front(), '\0');
  EXPECT_EQ(block.back(), '\0');
  EXPECT_EQ(block.find('\0', 1), blockSize - 1);
  for (int i = 0; i < 5; ++i) EXPECT_EQ(Field(file, 52 + 40 + blockSize + 4 * i), 100 + i);
  EXPECT_EQ(InventoryAdbIds(file, ADB_ID_LIST), Ids(100, 5));
  const AdbUpload upload = UploadAdbRecords(file, ADB_ID_LIST);
  ASSERT_EQ(upload.records.size(), 5u);
  EXPECT_EQ(upload.records[2].second, file.substr(52 + 16, 8));
  EXPECT_EQ(upload.stringBlock, block);
}

TEST(FixtureAdb, RecordSizeOption) {
  AdbFileParams params = Params(0, AdbMagic::WCH8, 10);
  params.recordSize = 12;
  const std::string idList = BuildAdbFile(params);
  EXPECT_EQ(idList.size(), 52u + 10u * 12u + static_cast<uint32_t>(Field(idList, 16)) + 10u * 4u);
  params.magic = AdbMagic::WCH2;
  EXPECT_EQ(BuildAdbFile(params).size(), 48u + 10u * 12u + 1u);
  params.recordSize = 3;  // below the 8 bytes a record needs
  EXPECT_EQ(Field(BuildAdbFile(params), 12), 8);
}

TEST(FixtureAdb, OffsetMapFollowsTheHeader) {
  AdbFileParams params = Params(1, AdbMagic::WCH8, 6, 20);
  params.sample.padding = 100;
  const std::string file = BuildAdbFile(params);
  EXPECT_EQ(Field(file, 16), 0);  // the texts are inline: no string block
  // Bytes 44 to 51 are zero: a walk that looks for the map at 44 finds no ids, not header values.
  EXPECT_EQ(file.substr(44, 8), std::string(8, '\0'));
  EXPECT_TRUE(InventoryAdbIds(file, ADB_OFFSET_MAP | ADB_ID_LIST).empty());
  // The first entry's data offset is where the map ends.
  EXPECT_EQ(Field(file, 56), 52 + 6 * 10);
  const AdbUpload upload = UploadAdbRecords(file, ADB_OFFSET_MAP | ADB_ID_LIST);
  ASSERT_EQ(upload.records.size(), 6u);
  uint64_t total = 0;
  for (size_t i = 0; i < upload.records.size(); ++i) {
    EXPECT_EQ(upload.records[i].first, 20 + static_cast<int32_t>(i));
    EXPECT_GE(upload.records[i].second.size(), 100u + 40u + 16u);
    total += upload.records[i].second.size();
  }
  EXPECT_EQ(file.size(), 52u + 60u + total);
  // No fixed record size: the header holds the mean length, so size checks hold.
  EXPECT_EQ(static_cast<uint64_t>(Field(file, 12)), total / 6);
  EXPECT_EQ(ValidateAdbHeader(file, ADB_OFFSET_MAP | ADB_ID_LIST), "");
  // The records are whole: the next one starts where this one ends.
  EXPECT_EQ(Field(file, 52 + 10 + 4),
            Field(file, 52 + 4) + static_cast<int32_t>(upload.records[0].second.size()));
}

TEST(FixtureAdb, OffsetMapAt44IsWhatTheInventoryWalkReads) {
  AdbFileParams params = Params(1, AdbMagic::WCH8, 9, 3);
  params.offsetMapStart = kOffsetMapInHeader;
  const std::string file = BuildAdbFile(params);
  EXPECT_EQ(InventoryAdbIds(file, ADB_OFFSET_MAP | ADB_ID_LIST), Ids(3, 9));
  EXPECT_EQ(Field(file, 48), 44 + 9 * 10);  // first entry's data offset
  const int32_t lastOffset = Field(file, 44 + 8 * 10 + 4);
  const int length = static_cast<unsigned char>(file[44 + 8 * 10 + 8]) |
                     (static_cast<unsigned char>(file[44 + 8 * 10 + 9]) << 8);
  EXPECT_EQ(static_cast<size_t>(lastOffset + length), file.size());
}

TEST(FixtureAdb, SameParamsSameBytes) {
  for (int kind = 0; kind < kAdbKindCount; ++kind) {
    AdbFileParams params = Params(kind, AdbMagic::WCH8, 30);
    params.sample.locale = "ruRU";
    EXPECT_EQ(BuildAdbFile(params), BuildAdbFile(params));
    AdbFileParams other = params;
    other.sample.seed = 99;
    EXPECT_NE(BuildAdbFile(other), BuildAdbFile(params)) << AdbKindAt(kind).fileName;
  }
}

TEST(FixtureAdb, MagicNames) {
  AdbMagic magic = AdbMagic::WCH8;
  EXPECT_TRUE(AdbMagicFromName("wch2", magic));
  EXPECT_EQ(magic, AdbMagic::WCH2);
  EXPECT_TRUE(AdbMagicFromName("WCH8", magic));
  EXPECT_EQ(magic, AdbMagic::WCH8);
  EXPECT_FALSE(AdbMagicFromName("WCH5", magic));
}

}  // namespace
}  // namespace drovane::fixture
