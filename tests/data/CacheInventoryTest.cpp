#include "data/CacheInventory.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>

#include "CacheSamples.h"
#include "data/CacheHeader.h"

namespace drovane {
namespace {

using test::AdbHeaderBytes;
using test::AdbIdListFile;
using test::AdbOffsetMapFile;
using test::AdbRecordFile;
using test::CheckedReader;
using test::Le32;
using test::LogCapture;
using test::WdbFile;

const CacheKind& kCreatures = kWdbKinds[0];
const CacheKind& kItem = kAdbKinds[0];        // id list
const CacheKind& kItemSparse = kAdbKinds[1];  // offset map + id list
const CacheKind& kItemBonus = kAdbKinds[5];   // no flags

// Remembers the keys asked for and marks the given ids as uploaded in every set.
struct FakeStates {
  std::set<int32_t> uploaded;
  std::vector<std::string> keys;
  IdSetLoader Loader() {
    return [this](UploadedIdSet& set) {
      keys.push_back(set.StateFileName());
      for (int32_t id : uploaded) set.Add(id);
    };
  }
};

bool WalkWdb(const std::string& bytes, FakeStates& states, CacheFileEntry& entry,
             const std::string& locale = "enUS") {
  CheckedReader reader(bytes);
  const bool result = WalkWdbInventory(reader, kCreatures, locale, states.Loader(), entry);
  EXPECT_EQ(reader.outside, 0);
  return result;
}

bool WalkAdb(const std::string& bytes, const CacheKind& kind, FakeStates& states,
             CacheFileEntry& entry) {
  CheckedReader reader(bytes);
  const bool result = WalkAdbInventory(reader, kind, "enUS", states.Loader(), entry);
  EXPECT_EQ(reader.outside, 0);
  return result;
}

TEST(WdbInventory, HeaderOnlyFileHasNoRecordsAndNothingNew) {
  FakeStates states;
  CacheFileEntry entry;
  EXPECT_FALSE(WalkWdb(WdbFile(22810, {}), states, entry));
  EXPECT_EQ(entry.records, 0);
  EXPECT_EQ(entry.uploadedRecords, 0);
  EXPECT_EQ(entry.bytes, 24);
  EXPECT_EQ(states.keys, std::vector<std::string>{"creaturecache.wdb_enUS_22810"});
}

TEST(WdbInventory, CountsRecordsAndUploadedOnesAndAddsUpAcrossFiles) {
  FakeStates states;
  states.uploaded = {5, 7};
  CacheFileEntry entry;
  EXPECT_TRUE(
      WalkWdb(WdbFile(1, {{5, "aaaa"}, {6, "bb"}, {7, std::string(300, 'c')}}), states, entry));
  EXPECT_EQ(entry.records, 3);
  EXPECT_EQ(entry.uploadedRecords, 2);
  EXPECT_FALSE(WalkWdb(WdbFile(1, {{5, "x"}}), states, entry, "enGB"));
  EXPECT_EQ(entry.records, 4);
  EXPECT_EQ(entry.uploadedRecords, 3);
  EXPECT_EQ(entry.bytes, (24 + 3 * 8 + 4 + 2 + 300) + (24 + 8 + 1));
  EXPECT_EQ(states.keys[1], "creaturecache.wdb_enGB_1");
}

TEST(WdbInventory, IdOrLengthBelowOneEndsTheWalk) {
  for (const std::string& tail : {Le32(0) + Le32(4) + "dddd", Le32(-3) + Le32(4) + "dddd",
                                  Le32(9) + Le32(0) + "dddd", Le32(9) + Le32(-1) + "dddd"}) {
    FakeStates states;
    CacheFileEntry entry;
    const std::string file = WdbFile(1, {{1, "a"}}) + tail + Le32(8) + Le32(1) + "e";
    EXPECT_TRUE(WalkWdb(file, states, entry));
    EXPECT_EQ(entry.records, 1) << "the records after the stop are not walked";
    EXPECT_EQ(entry.bytes, static_cast<int64_t>(file.size()));
  }
}

TEST(WdbInventory, IdsFromTheLimitUpCountAsUploaded) {
  FakeStates states;
  CacheFileEntry entry;
  EXPECT_FALSE(
      WalkWdb(WdbFile(1, {{327680, "a"}, {327681, "b"}, {0x7FFFFFFF, "c"}}), states, entry));
  EXPECT_EQ(entry.records, 3);
  EXPECT_EQ(entry.uploadedRecords, 3);
  EXPECT_TRUE(WalkWdb(WdbFile(1, {{327679, "a"}}), states, entry));
  EXPECT_EQ(entry.uploadedRecords, 3);
}

TEST(WdbInventory, HugeLengthOrCutRecordStopsWithTheRecordsBefore) {
  FakeStates states;
  CacheFileEntry entry;
  const std::string huge = WdbFile(1, {{1, "a"}, {2, "b"}}) + Le32(3) + Le32(0x7FFFFFFF) + "xyz";
  EXPECT_TRUE(WalkWdb(huge, states, entry));
  EXPECT_EQ(entry.records, 2);
}

// A cut at any length: no read outside the file, and exactly the whole records before the cut.
TEST(WdbInventory, FileCutAtEveryLength) {
  const std::vector<test::WdbRecord> records = {
      {3, "one"}, {4, std::string(17, 'x')}, {5, "z"}, {6, std::string(40, 'y')}};
  const std::string file = WdbFile(7, records);
  for (size_t length = 0; length <= file.size(); ++length) {
    FakeStates states;
    states.uploaded = {4};
    CacheFileEntry entry;
    const std::string cut = file.substr(0, length);
    const bool result = WalkWdb(cut, states, entry);
    int whole = 0, uploaded = 0;
    size_t end = 24;
    for (const auto& record : records) {
      end += 8 + record.data.size();
      if (end > length) break;
      ++whole;
      if (record.id == 4) ++uploaded;
    }
    EXPECT_EQ(entry.records, whole) << "cut at " << length;
    EXPECT_EQ(entry.uploadedRecords, uploaded) << "cut at " << length;
    EXPECT_EQ(result, whole > uploaded) << "cut at " << length;
    EXPECT_EQ(entry.bytes, static_cast<int64_t>(length));
    EXPECT_EQ(states.keys[0],
              length >= 8 ? "creaturecache.wdb_enUS_7" : "creaturecache.wdb_enUS_-1");
  }
}

TEST(AdbInventory, ShortFilesLogHeaderNotFoundAnd49BytesFileEmpty) {
  struct Case {
    size_t size;
    const char* line;
  };
  for (const Case& c : {Case{0, "\tError: Header not found.\n"},
                        Case{47, "\tError: Header not found.\n"}, Case{49, "\tFile Empty.\n"}}) {
    std::string file = AdbHeaderBytes("WCH2", 0, 4, 0, 1);
    file.resize(c.size, '\0');
    FakeStates states;
    CacheFileEntry entry;
    LogCapture log;
    EXPECT_FALSE(WalkAdb(file, kItem, states, entry));
    EXPECT_EQ(log.Lines(), c.line);
    EXPECT_EQ(entry.bytes, 0);
    EXPECT_EQ(entry.records, 0);
    EXPECT_TRUE(states.keys.empty());
  }
}

TEST(AdbInventory, A48ByteFileIsWalked) {
  FakeStates states;
  CacheFileEntry entry;
  LogCapture log;
  EXPECT_FALSE(WalkAdb(AdbHeaderBytes("WCH2", 0, 8, 0, 20000), kItem, states, entry));
  EXPECT_EQ(log.Lines(), "");
  EXPECT_EQ(entry.bytes, 48);
  EXPECT_EQ(states.keys, std::vector<std::string>{"item.adb_enUS_20000"});
}

TEST(AdbInventory, Wch2ItemFileIsWalkedByRecordsDespiteItsIdListFlag) {
  FakeStates states;
  states.uploaded = {11};
  CacheFileEntry entry;
  // Read as an id list, the ids would be taken from the last record bytes (0x55...).
  const std::string file = AdbRecordFile("WCH2", 3, 12, {10, 11, 12}, "strings\0");
  EXPECT_TRUE(WalkAdb(file, kItem, states, entry));
  EXPECT_EQ(entry.records, 3);
  EXPECT_EQ(entry.uploadedRecords, 1);
  EXPECT_EQ(entry.bytes, static_cast<int64_t>(file.size()));
}

TEST(AdbInventory, Wch8LayoutsFindTheirIds) {
  FakeStates states;
  states.uploaded = {21, 22, 23};
  CacheFileEntry entry;
  EXPECT_FALSE(WalkAdb(AdbIdListFile(1, 9, {21, 22, 23}, "abc"), kItem, states, entry));
  EXPECT_EQ(entry.records, 3);
  EXPECT_EQ(entry.uploadedRecords, 3);

  CacheFileEntry sparse;
  EXPECT_TRUE(WalkAdb(AdbOffsetMapFile(1, {21, 30, 22}), kItemSparse, states, sparse));
  EXPECT_EQ(sparse.records, 3);
  EXPECT_EQ(sparse.uploadedRecords, 2);

  CacheFileEntry bonus;
  EXPECT_TRUE(WalkAdb(AdbRecordFile("WCH8", 1, 8, {40, 23}, ""), kItemBonus, states, bonus));
  EXPECT_EQ(bonus.records, 2);
  EXPECT_EQ(bonus.uploadedRecords, 1);
}

TEST(AdbInventory, IdBelowOneStopsTheWalkButTheHeaderCountStands) {
  FakeStates states;
  states.uploaded = {1, 3};
  CacheFileEntry entry;
  EXPECT_FALSE(WalkAdb(AdbRecordFile("WCH2", 1, 4, {1, 0, 2, 3}, ""), kItem, states, entry));
  EXPECT_EQ(entry.records, 4);
  EXPECT_EQ(entry.uploadedRecords, 1);
}

TEST(AdbInventory, HeadersThatPlaceIdsOutsideTheFileAreRejected) {
  struct Case {
    const char* what;
    std::string file;
    const CacheKind* kind;
  };
  std::vector<Case> cases = {
      {"negative count", AdbHeaderBytes("WCH2", -1, 8, 0, 1) + std::string(64, '\1'), &kItem},
      // 0x10000 x 0x10000 wraps to 0 in 32 bits, which would place the records at the end.
      {"size x count overflows 32 bits", AdbHeaderBytes("WCH2", 0x10000, 0x10000, 0, 1) + "abcd",
       &kItem},
      {"huge count", AdbHeaderBytes("WCH8", 0x7FFFFFFF, 8, 0, 1) + std::string(16, '\1'),
       &kItemBonus},
      {"record too short for an id", AdbHeaderBytes("WCH2", 2, 2, 0, 1) + "abcd", &kItem},
      {"string block larger than the file", AdbRecordFile("WCH8", 1, 8, {5}, "") + "", &kItemBonus},
      {"negative string block", AdbRecordFile("WCH2", 1, 8, {5}, ""), &kItem},
      {"ids inside the header", AdbHeaderBytes("WCH2", 1, 4, 0, 1) + "abcd", &kItem},
  };
  cases[4].file.replace(16, 4, Le32(1000));
  cases[5].file.replace(16, 4, Le32(-4));
  cases[6].file.resize(48);  // the one record would be the header's last 4 bytes
  for (const Case& c : cases) {
    FakeStates states;
    CacheFileEntry entry;
    LogCapture log;
    EXPECT_FALSE(WalkAdb(c.file, *c.kind, states, entry)) << c.what;
    EXPECT_EQ(log.Lines(), "\tError: Invalid header values. First values.\n") << c.what;
    EXPECT_EQ(entry.records, 0) << c.what;
    EXPECT_EQ(entry.bytes, static_cast<int64_t>(c.file.size())) << c.what;
  }
}

TEST(AdbInventory, OffsetMapWithHugeCountKeepsTheEntriesInsideTheFile) {
  std::string file = AdbOffsetMapFile(1, {5, 6, 7});
  file.replace(4, 4, Le32(0x7FFFFFFF));
  FakeStates states;
  CacheFileEntry entry;
  EXPECT_TRUE(WalkAdb(file, kItemSparse, states, entry));
  // The table ends where the first record's data begins: the data is never read as entries, so
  // the list counts the 3 records the upload would send.
  EXPECT_EQ(entry.records, 3);
}

// Cuts at any length: nothing read outside the file, and never more records than the header's.
TEST(AdbInventory, FilesCutAtEveryLength) {
  struct Sample {
    std::string file;
    const CacheKind* kind;
  };
  const std::vector<Sample> samples = {
      {AdbRecordFile("WCH2", 1, 8, {1, 2, 3}, "str\0ing"), &kItem},
      {AdbIdListFile(1, 6, {1, 2, 3}, "strings"), &kItem},
      {AdbOffsetMapFile(1, {1, 2, 3, 4}), &kItemSparse},
      {AdbRecordFile("WCH8", 1, 8, {1, 2, 3}, "s"), &kItemBonus},
  };
  for (const Sample& sample : samples) {
    for (size_t length = 0; length <= sample.file.size(); ++length) {
      FakeStates states;
      CacheFileEntry entry;
      WalkAdb(sample.file.substr(0, length), *sample.kind, states, entry);
      EXPECT_LE(entry.records, sample.kind == &kItemSparse ? 4 : 3) << length;
      EXPECT_GE(entry.records, 0) << length;
      if (sample.kind == &kItemSparse) {
        // As in the upload: the records whose data the cut file still holds whole, 16 bytes
        // each after the table's 92.
        const int64_t whole = length >= 92 ? static_cast<int64_t>(length - 92) / 16 : 0;
        EXPECT_EQ(entry.records, std::min<int64_t>(4, whole)) << length;
      }
    }
  }
}

TEST(AdbLocate, LayoutPositions) {
  AdbHeader header;
  std::memcpy(header.magic, "WCH8", 4);
  header.recordCount = 3;
  header.recordSize = 10;
  header.stringBlockSize = 7;
  AdbIdPositions ids;
  // Records, string block, then the ids closing the file.
  ASSERT_TRUE(LocateAdbIds(header, kItem, 52 + 30 + 7 + 12, &ids));
  EXPECT_EQ(ids.first, 52 + 30 + 7);
  EXPECT_EQ(ids.stride, 4);
  // No room for the string block between the header and the ids.
  EXPECT_FALSE(LocateAdbIds(header, kItem, 52 + 6 + 12, &ids));
  ASSERT_TRUE(LocateAdbIds(header, kItemBonus, 52 + 30 + 7, &ids));
  EXPECT_EQ(ids.first, 52);
  EXPECT_EQ(ids.stride, 10);
  ASSERT_TRUE(LocateAdbIds(header, kItemSparse, 200, &ids));
  EXPECT_EQ(ids.first, 52);
  EXPECT_EQ(ids.stride, 10);
  EXPECT_EQ(ids.count, 3);
}

TEST(AdbUploadValidation, FailureLinesInOrder) {
  CheckedReader none(std::string(47, '\0'));
  EXPECT_EQ(ValidateAdbForUpload(none, kItem), "\tError: Header not found.");
  CheckedReader empty(AdbHeaderBytes("WCH2", 0, 4, 0, 1) + std::string(1, '\0'));
  EXPECT_EQ(ValidateAdbForUpload(empty, kItem), "\tFile Empty.");
  CheckedReader magic(AdbRecordFile("WCH3", 1, 8, {1}, ""));
  EXPECT_EQ(ValidateAdbForUpload(magic, kItem), "\tError: Invalid header values. First values.");
  std::string shortFile = AdbRecordFile("WCH2", 1, 8, {1, 2}, "ab");
  shortFile.pop_back();
  CheckedReader cut(shortFile);
  EXPECT_EQ(ValidateAdbForUpload(cut, kItem), "\tError: Invalid header values. First values.");
  // Records fit, but the id list of a "WCH8" id-list kind does not.
  CheckedReader noIdList(AdbRecordFile("WCH8", 1, 8, {1, 2}, "ab"));
  EXPECT_EQ(ValidateAdbForUpload(noIdList, kItem), "\tError: Invalid header values. Validation: 1");
  CheckedReader noIdListNeeded(AdbRecordFile("WCH8", 1, 8, {1, 2}, "ab"));
  EXPECT_EQ(ValidateAdbForUpload(noIdListNeeded, kItemBonus), "");
  CheckedReader idList(AdbIdListFile(1, 8, {1, 2}, "ab"));
  EXPECT_EQ(ValidateAdbForUpload(idList, kItem), "");
  CheckedReader negative(AdbHeaderBytes("WCH2", -1, 8, 0, 1) + "abcdabcd");
  EXPECT_EQ(ValidateAdbForUpload(negative, kItem), "\tError: Invalid header values. First values.");
}

}  // namespace
}  // namespace drovane
