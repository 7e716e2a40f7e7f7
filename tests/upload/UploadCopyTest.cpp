// The upload copies of WDB and ADB cache files, byte for byte, and how damaged files are left
// out without a read outside them.
#include <gtest/gtest.h>

#include <map>

#include "UploadTestData.h"
#include "data/CacheHeader.h"
#include "data/CacheKind.h"
#include "upload/UploadCopy.h"
#ifdef _WIN32
#include "support/GameInstall.h"
#include "support/TempFolder.h"
#endif

namespace drovane {
namespace {

using test::AdbHeader;
using test::BareRecord;
using test::IdRecord;
using test::Le16;
using test::Le32;
using test::LogLines;
using test::Record;
using test::WdbFile;
using test::WdbHeader;
using test::WdbRecordBytes;

constexpr int kCreatures = 0;
constexpr int kItem = 0;        // ADB_ID_LIST
constexpr int kItemSparse = 1;  // ADB_OFFSET_MAP + ADB_ID_LIST
constexpr int kItemBonus = 5;   // no layout flags

// A reader over its own bytes that fails the test when asked for anything outside them.
class CheckedReader : public ByteReader {
 public:
  explicit CheckedReader(std::string bytes) : bytes_(std::move(bytes)) {}
  int64_t Size() const override { return static_cast<int64_t>(bytes_.size()); }
  const unsigned char* View(int64_t offset, size_t size, size_t* available) override {
    *available = 0;
    if (offset < 0 || static_cast<uint64_t>(offset) + size > bytes_.size()) {
      ADD_FAILURE() << "read of " << size << " bytes at " << offset << " in a file of "
                    << bytes_.size();
      return nullptr;
    }
    if (failAt >= 0 && offset <= failAt && failAt < offset + static_cast<int64_t>(size)) {
      return nullptr;
    }
    *available = bytes_.size() - static_cast<size_t>(offset);
    return reinterpret_cast<const unsigned char*>(bytes_.data()) + offset;
  }
  int64_t failAt = -1;  // a read covering this offset fails, as a disk error would

 private:
  std::string bytes_;
};

// Id sets that start with the given ids uploaded, per key, and count their loads.
struct Sets {
  std::map<std::string, std::vector<int32_t>> uploaded;  // "file_locale_build" -> ids
  int loads = 0;
  IdSetList list;
  Sets() {
    list.load = [this](UploadedIdSet& set) {
      ++loads;
      for (int32_t id : uploaded[set.StateFileName()]) set.Add(id);
    };
  }
};

// ---- WDB ------------------------------------------------------------------------------------

TEST(WdbUploadCopy, NewRecordsGoWholeInFileOrderAndTheSentOnesAreSkipped) {
  const Record a{5, "alpha"}, b{9, "bravo-bravo"}, c{2, "c"};
  CheckedReader file(WdbFile(22522, {a, b, c}));
  Sets sets;
  sets.uploaded["creaturecache.wdb_enUS_22522"] = {9};
  LogLines log;
  std::string copy = "stale";
  ASSERT_TRUE(
      PrepareWdbFile(kCreatures, file, "C:\\g\\creaturecache.wdb", "enUS", sets.list, copy));
  EXPECT_EQ(copy, WdbHeader(22522) + WdbRecordBytes(a) + WdbRecordBytes(c) + std::string(8, '\0'));
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"Preparing 'C:\\g\\creaturecache.wdb' (" +
                                                       std::to_string(file.Size()) + " bytes).",
                                                   "\t1 done + 2 = 3 row(s)"}));
  // The copied ids now count as sent, in the set of the file's key.
  ASSERT_EQ(sets.list.sets.size(), 1u);
  const UploadedIdSet& set = sets.list.sets[0];
  EXPECT_EQ(set.cacheFileName, "creaturecache.wdb");
  EXPECT_EQ(set.locale, "enUS");
  EXPECT_EQ(set.build, 22522);
  EXPECT_TRUE(set.Contains(5) && set.Contains(2) && set.Contains(9));
  EXPECT_FALSE(set.Contains(3));
}

TEST(WdbUploadCopy, AFileWhoseRecordsWereAllSentIsLeftOut) {
  CheckedReader file(WdbFile(100, {{1, "x"}, {2, "y"}, {3, "z"}}));
  Sets sets;
  sets.uploaded["creaturecache.wdb_enUS_100"] = {1, 2, 3};
  LogLines log;
  std::string copy;
  EXPECT_FALSE(PrepareWdbFile(kCreatures, file, "p", "enUS", sets.list, copy));
  EXPECT_EQ(log.Lines().back(), "\t3 done + 0 = 3 row(s)");
}

TEST(WdbUploadCopy, AFileWithoutRecordsIsItsHeaderAndEightZerosButNotSent) {
  CheckedReader file(WdbHeader(100));
  Sets sets;
  std::string copy;
  EXPECT_FALSE(PrepareWdbFile(kCreatures, file, "p", "enUS", sets.list, copy));
  EXPECT_EQ(copy, WdbHeader(100) + std::string(8, '\0'));
}

TEST(WdbUploadCopy, TheWalkEndsAtAnImplausibleRecord) {
  const Record a{4, "four"};
  struct Case {
    const char* what;
    std::string tail;
  } cases[] = {
      {"id 0", WdbRecordBytes({0, "zero"}) + WdbRecordBytes({6, "six"})},
      {"negative id", Le32(-3) + Le32(2) + "xx" + WdbRecordBytes({6, "six"})},
      {"length 0", Le32(6) + Le32(0) + WdbRecordBytes({7, "seven"})},
      {"negative length", Le32(6) + Le32(-8) + WdbRecordBytes({7, "seven"})},
      {"data cut off by the end", Le32(6) + Le32(100) + "only a little"},
      {"huge length", Le32(6) + Le32(0x7FFFFFFF) + "x"},
      {"a short frame", Le32(6) + "\x01\x00"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CheckedReader file(WdbHeader(1) + WdbRecordBytes(a) + c.tail);
    Sets sets;
    std::string copy;
    EXPECT_TRUE(PrepareWdbFile(kCreatures, file, "p", "enUS", sets.list, copy));
    EXPECT_EQ(copy, WdbHeader(1) + WdbRecordBytes(a) + std::string(8, '\0'));
    EXPECT_FALSE(sets.list.sets[0].Contains(6));
  }
}

TEST(WdbUploadCopy, IdsOutsideTheTrackedRangeCountAsSent) {
  const Record high{UploadedIdSet::kIdLimit, "high"}, normal{8, "eight"};
  CheckedReader file(WdbFile(1, {high, normal}));
  Sets sets;
  LogLines log;
  std::string copy;
  ASSERT_TRUE(PrepareWdbFile(kCreatures, file, "p", "enUS", sets.list, copy));
  EXPECT_EQ(copy, WdbHeader(1) + WdbRecordBytes(normal) + std::string(8, '\0'));
  EXPECT_EQ(log.Lines().back(), "\t1 done + 1 = 2 row(s)");
}

TEST(WdbUploadCopy, ARecordIsTakenOncePerKeyInOneUpload) {
  // The same records in two installations of the same build and locale (Live and PTR), and in
  // another locale.
  const std::string bytes = WdbFile(7, {{1, "one"}, {2, "two"}});
  Sets sets;
  std::string copy;
  CheckedReader live(bytes), ptr(WdbFile(7, {{1, "one"}, {2, "two"}, {3, "three"}})), german(bytes);
  EXPECT_TRUE(PrepareWdbFile(kCreatures, live, "live", "enUS", sets.list, copy));
  ASSERT_TRUE(PrepareWdbFile(kCreatures, ptr, "ptr", "enUS", sets.list, copy));
  EXPECT_EQ(copy, WdbHeader(7) + WdbRecordBytes({3, "three"}) + std::string(8, '\0'));
  EXPECT_TRUE(PrepareWdbFile(kCreatures, german, "de", "deDE", sets.list, copy));
  // Another kind with the same ids has its own set.
  CheckedReader objects(bytes);
  EXPECT_TRUE(PrepareWdbFile(1, objects, "objects", "enUS", sets.list, copy));
  EXPECT_EQ(sets.list.sets.size(), 3u);
  EXPECT_EQ(sets.loads, 3);
}

TEST(WdbUploadCopy, AFileThatCannotBeReadToTheEndIsLeftOutAndItsIdsStayNew) {
  const std::string bytes = WdbFile(1, {{1, "one"}, {2, std::string(3000, 'z')}});
  CheckedReader file(bytes);
  file.failAt = 24 + 11 + 8 + 100;  // inside the second record's data
  Sets sets;
  LogLines log;
  std::string copy;
  EXPECT_FALSE(PrepareWdbFile(kCreatures, file, "p", "enUS", sets.list, copy));
  EXPECT_EQ(copy, "");
  EXPECT_FALSE(sets.list.sets[0].Contains(1));
  EXPECT_FALSE(sets.list.sets[0].Contains(2));
  EXPECT_EQ(log.Lines().back(), "\tError: The file could not be read.");
}

// ---- ADB ------------------------------------------------------------------------------------

TEST(AdbUploadCopy, Wch2RecordsAndStringBlock) {
  // item.adb has an id list, but only "WCH8" files use it: a "WCH2" file holds its ids in its
  // records.
  const int32_t size = 12;
  const std::string strings = std::string("\0Sword\0Shield\0", 14);
  const std::string file = AdbHeader("WCH2", 3, size, 14, 22522) + IdRecord(5, size) +
                           IdRecord(6, size) + IdRecord(7, size) + strings;
  CheckedReader reader(file);
  Sets sets;
  sets.uploaded["item.adb_enUS_22522"] = {6};
  LogLines log;
  std::string copy;
  ASSERT_TRUE(PrepareAdbFile(kItem, reader, "item.adb", "enUS", sets.list, copy));
  EXPECT_EQ(copy, AdbHeader("WCH2", 2, size, 14, 22522) + IdRecord(5, size) + IdRecord(7, size) +
                      strings);
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{
                             "Preparing 'item.adb' (" + std::to_string(file.size()) + " bytes).",
                             "\t1 done + 2 = 3 row(s)"}));
}

TEST(AdbUploadCopy, Wch8WithoutLayoutFlags) {
  const int32_t size = 9;
  const std::string strings = std::string("\0abc\0", 5);
  const std::string file =
      AdbHeader("WCH8", 2, size, 5, 300) + IdRecord(40, size) + IdRecord(41, size) + strings;
  CheckedReader reader(file);
  Sets sets;
  sets.uploaded["itembonus.adb_frFR_300"] = {40};
  std::string copy;
  ASSERT_TRUE(PrepareAdbFile(kItemBonus, reader, "itembonus.adb", "frFR", sets.list, copy));
  EXPECT_EQ(copy, AdbHeader("WCH8", 1, size, 5, 300) + IdRecord(41, size) + strings);
}

TEST(AdbUploadCopy, Wch8IdListPutsEachIdInFrontOfItsRecord) {
  // Records without ids, the string block, then the ids at the very end of the file.
  const int32_t size = 8;
  const std::string strings = std::string("\0xyz", 4);
  const std::string file = AdbHeader("WCH8", 3, size, 4, 500) + BareRecord(10, size) +
                           BareRecord(11, size) + BareRecord(12, size) + strings + Le32(10) +
                           Le32(11) + Le32(12);
  CheckedReader reader(file);
  Sets sets;
  sets.uploaded["item.adb_enUS_500"] = {11};
  std::string copy;
  ASSERT_TRUE(PrepareAdbFile(kItem, reader, "item.adb", "enUS", sets.list, copy));
  EXPECT_EQ(copy, AdbHeader("WCH8", 2, size + 4, 4, 500) + Le32(10) + BareRecord(10, size) +
                      Le32(12) + BareRecord(12, size) + strings);
}

// The ids of an ADB file where the inventory reads them.
std::vector<int32_t> InventoryIds(const std::string& file, int kind) {
  CheckedReader reader(file);
  drovane::AdbHeader header;
  AdbIdPositions positions;
  std::vector<int32_t> ids;
  if (!ReadAdbHeader(reader, &header) ||
      !LocateAdbIds(header, kAdbKinds[kind], reader.Size(), &positions)) {
    ADD_FAILURE() << "the inventory finds no ids";
    return ids;
  }
  for (int64_t i = 0; i < positions.count; ++i) {
    int32_t id = 0;
    if (!ReadInt32At(reader, positions.first + positions.stride * i, &id)) break;
    ids.push_back(id);
  }
  return ids;
}

// The ids an id-list copy sends: after the header, each record is its id and then the record.
std::vector<int32_t> SentIds(const std::string& copy) {
  const int64_t count = static_cast<uint32_t>(
      LittleEndian32(reinterpret_cast<const unsigned char*>(copy.data()) + 4));
  const int64_t step = static_cast<uint32_t>(
      LittleEndian32(reinterpret_cast<const unsigned char*>(copy.data()) + 12));
  std::vector<int32_t> ids;
  for (int64_t i = 0; i < count && 52 + step * i + 4 <= static_cast<int64_t>(copy.size()); ++i) {
    ids.push_back(
        LittleEndian32(reinterpret_cast<const unsigned char*>(copy.data()) + 52 + step * i));
  }
  return ids;
}

// What the list shows as sent is what a package took: the inventory reads an id-list file's ids
// where the upload does, at the very end past the string block, not in the string block or the
// records.
TEST(AdbUploadCopy, TheInventoryOfAnIdListFileHoldsExactlyTheIdsItsCopySends) {
  struct Sample {
    int kind;
    std::string file;
    std::vector<int32_t> ids;
  };
  const int32_t size = 12;
  const std::string strings = std::string("\0Sword of a Thousand Truths\0", 29);
  const std::string file = AdbHeader("WCH8", 4, size, 29, 700) + BareRecord(31, size) +
                           BareRecord(32, size) + BareRecord(33, size) + BareRecord(34, size) +
                           strings + Le32(31) + Le32(32) + Le32(33) + Le32(34);
  std::vector<Sample> samples = {{kItem, file, {31, 32, 33, 34}}};
#ifdef _WIN32
  // And every id-list file of a sample installation.
  test::TempFolder game;
  ASSERT_TRUE(test::MakeInstallation(
      game.path(), "--records 25 --first-id 300 --build 700 --skip executables,addon,wdb,config"));
  std::vector<int32_t> fixtureIds;
  for (int32_t id = 300; id < 325; ++id) fixtureIds.push_back(id);
  for (int kind = 0; kind < kAdbKindCount; ++kind) {
    if (kAdbKinds[kind].layoutFlags != ADB_ID_LIST) continue;
    samples.push_back(
        {kind,
         test::ReadTestFile(game / (std::string("Cache\\ADB\\enUS\\") + kAdbKinds[kind].fileName)),
         fixtureIds});
  }
  ASSERT_EQ(samples.size(), 6u);
#endif
  for (const Sample& sample : samples) {
    const CacheKind& kind = kAdbKinds[sample.kind];
    SCOPED_TRACE(kind.fileName);
    ASSERT_GT(sample.file.size(), 20u);
    ASSERT_GT(LittleEndian32(reinterpret_cast<const unsigned char*>(sample.file.data()) + 16), 1);

    // Nothing sent yet: every id is new.
    CheckedReader before(sample.file);
    CacheFileEntry fresh;
    EXPECT_TRUE(WalkAdbInventory(before, kind, "enUS", nullptr, fresh));
    EXPECT_EQ(fresh.records, static_cast<int64_t>(sample.ids.size()));
    EXPECT_EQ(fresh.uploadedRecords, 0);

    CheckedReader reader(sample.file);
    Sets sets;
    std::string copy;
    ASSERT_TRUE(PrepareAdbFile(sample.kind, reader, kind.fileName, "enUS", sets.list, copy));
    EXPECT_EQ(SentIds(copy), sample.ids);
    EXPECT_EQ(InventoryIds(sample.file, sample.kind), sample.ids);

    // Once the package's ids are booked, the file has nothing left to send.
    const UploadedIdSet& sent = sets.list.sets.at(0);
    CheckedReader after(sample.file);
    CacheFileEntry booked;
    EXPECT_FALSE(WalkAdbInventory(
        after, kind, "enUS",
        [&sent](UploadedIdSet& set) {
          set.SetBytes(reinterpret_cast<const char*>(sent.Bytes().data()), sent.Bytes().size());
        },
        booked));
    EXPECT_EQ(booked.uploadedRecords, static_cast<int64_t>(sample.ids.size()));
  }
}

// "WCH8" item-sparse: 10-byte entries (id, data offset, 16-bit length) right after the header,
// ending where the first record's data begins; then the variable-length records.
std::string OffsetMapFile(int32_t build, int32_t recordSize,
                          const std::vector<std::pair<int32_t, std::string>>& records) {
  const int64_t entriesEnd = 52 + 10 * static_cast<int64_t>(records.size());
  std::string entries, data;
  for (const auto& record : records) {
    entries += Le32(record.first) + Le32(entriesEnd + static_cast<int64_t>(data.size())) +
               Le16(static_cast<int>(record.second.size()));
    data += record.second;
  }
  return AdbHeader("WCH8", static_cast<int64_t>(records.size()), recordSize, 0, build) + entries +
         data;
}

TEST(AdbUploadCopy, Wch8OffsetMapTakesEachRecordFromItsOffset) {
  const std::vector<std::pair<int32_t, std::string>> records = {
      {100, "first record"}, {101, "second"}, {102, ""}, {103, "fourth, longer than the rest"}};
  const std::string file = OffsetMapFile(26000, 4, records);
  CheckedReader reader(file);
  Sets sets;
  sets.uploaded["item-sparse.adb_enUS_26000"] = {101};
  LogLines log;
  std::string copy;
  ASSERT_TRUE(PrepareAdbFile(kItemSparse, reader, "item-sparse.adb", "enUS", sets.list, copy));
  EXPECT_EQ(copy, AdbHeader("WCH8", 3, 8, 0, 26000) + Le32(100) + "first record" + Le32(102) +
                      Le32(103) + "fourth, longer than the rest");
  EXPECT_EQ(log.Lines().back(), "\t1 done + 3 = 4 row(s)");
}

TEST(AdbUploadCopy, OffsetMapEntriesPointingOutsideTheFileEndTheWalk) {
  std::string file = OffsetMapFile(1, 0, {{7, "seven"}, {8, "eight"}, {9, "nine"}});
  // The second entry's data offset points far past the end.
  file.replace(52 + 10 + 4, 4, Le32(0x7FFFFFF0));
  CheckedReader reader(file);
  Sets sets;
  std::string copy;
  ASSERT_TRUE(PrepareAdbFile(kItemSparse, reader, "p", "enUS", sets.list, copy));
  EXPECT_EQ(copy, AdbHeader("WCH8", 1, 4, 0, 1) + Le32(7) + "seven");
  EXPECT_FALSE(sets.list.sets[0].Contains(8));
}

TEST(AdbUploadCopy, TheEntriesEndWhereTheFirstRecordBegins) {
  // The first record's data looks like a second entry; it is data all the same.
  const std::string data = Le32(8) + Le32(52) + Le16(4);
  const std::string file = AdbHeader("WCH8", 1, 0, 0, 1) + Le32(7) + Le32(62) + Le16(10) + data;
  CheckedReader reader(file);
  Sets sets;
  std::string copy;
  ASSERT_TRUE(PrepareAdbFile(kItemSparse, reader, "p", "enUS", sets.list, copy));
  EXPECT_EQ(copy, AdbHeader("WCH8", 1, 4, 0, 1) + Le32(7) + data);
  EXPECT_FALSE(sets.list.sets[0].Contains(8));
}

// A damaged table: entries that point back into the table, into a record already taken or past
// the end of the file, and many more entries than the header's record count, most of them
// naming the same 60000 bytes. Only the records each with bytes of their own go, in file order,
// and the copy stays within twice the file; the list counts just those.
TEST(AdbUploadCopy, ADamagedOffsetMapGivesOnlyItsValidRecordsInABoundedCopy) {
  constexpr int kEntries = 1000;
  constexpr int64_t kHeader = 52;
  const int64_t data = kHeader + 10 * kEntries;  // where the table ends and the records begin
  const std::string a(40, 'a'), b(30, 'b'), c(60000, 'c'), d(20, 'd'), e(16, 'e');
  const int64_t atA = data, atB = atA + 40, atC = atB + 30, atD = atC + 60000, atE = atD + 20;
  const int64_t fileSize = atE + 16;
  std::vector<std::string> entries = {
      Le32(100) + Le32(atA) + Le16(40),       // a
      Le32(101) + Le32(atA + 10) + Le16(40),  // inside a
      Le32(102) + Le32(atB) + Le16(30),       // b
      Le32(103) + Le32(60) + Le16(30),        // back into the table
      Le32(104) + Le32(atC) + Le16(60000),    // c
      Le32(105) + Le32(atC) + Le16(60000),    // c again
      Le32(106) + Le32(atD) + Le16(20),       // d, the last record the header counts
      Le32(107) + Le32(atE) + Le16(16),       // e: sound, but past the record count
  };
  for (int32_t id = 108; entries.size() < kEntries; ++id) {
    entries.push_back(Le32(id) + Le32(atC) + Le16(60000));
  }
  std::string file = AdbHeader("WCH8", 7, 8, 0, 1);
  for (const std::string& entry : entries) file += entry;
  file += a + b + c + d + e;
  ASSERT_EQ(static_cast<int64_t>(file.size()), fileSize);

  CheckedReader reader(file);
  Sets sets;
  LogLines log;
  std::string copy;
  ASSERT_TRUE(PrepareAdbFile(kItemSparse, reader, "item-sparse.adb", "enUS", sets.list, copy));
  ASSERT_LE(copy.size(), 2 * file.size() + kHeader);
  EXPECT_EQ(copy, AdbHeader("WCH8", 4, 12, 0, 1) + Le32(100) + a + Le32(102) + b + Le32(104) + c +
                      Le32(106) + d);
  EXPECT_EQ(log.Lines().back(), "\t0 done + 4 = 4 row(s)");
  const UploadedIdSet& set = sets.list.sets.at(0);
  for (int32_t id : {100, 102, 104, 106}) EXPECT_TRUE(set.Contains(id)) << id;
  for (int32_t id : {101, 103, 105, 107, 108, 999}) EXPECT_FALSE(set.Contains(id)) << id;

  // The list counts the records the copy takes: four new ones before, none left after.
  CheckedReader listed(file);
  CacheFileEntry fresh;
  EXPECT_TRUE(WalkAdbInventory(listed, kAdbKinds[kItemSparse], "enUS", nullptr, fresh));
  EXPECT_EQ(fresh.records, 4);
  EXPECT_EQ(fresh.uploadedRecords, 0);
  CheckedReader relisted(file);
  CacheFileEntry booked;
  EXPECT_FALSE(WalkAdbInventory(
      relisted, kAdbKinds[kItemSparse], "enUS",
      [&set](UploadedIdSet& loaded) {
        loaded.SetBytes(reinterpret_cast<const char*>(set.Bytes().data()), set.Bytes().size());
      },
      booked));
  EXPECT_EQ(booked.uploadedRecords, 4);

  // Data past the end of the file ends the walk: the records before it still go.
  file.replace(kHeader + 6 * 10 + 4, 4, Le32(fileSize - 10));
  CheckedReader cut(file);
  Sets again;
  ASSERT_TRUE(PrepareAdbFile(kItemSparse, cut, "item-sparse.adb", "enUS", again.list, copy));
  EXPECT_EQ(copy, AdbHeader("WCH8", 3, 12, 0, 1) + Le32(100) + a + Le32(102) + b + Le32(104) + c);
  EXPECT_FALSE(again.list.sets.at(0).Contains(106));
}

TEST(AdbUploadCopy, DamagedHeadersAreLeftOutWithTheirLogLine) {
  const int32_t size = 8;
  const std::string good = AdbHeader("WCH8", 2, size, 0, 1) + BareRecord(1, size) +
                           BareRecord(2, size) + Le32(1) + Le32(2);
  struct Case {
    const char* what;
    int kind;
    std::string file;
    const char* line;
  } cases[] = {
      {"shorter than a header", kItem, good.substr(0, 47), "\tError: Header not found."},
      {"49 bytes", kItem, good.substr(0, 49), "\tFile Empty."},
      {"unknown magic", kItem, "WCH5" + good.substr(4),
       "\tError: Invalid header values. First values."},
      {"records past the end", kItem, AdbHeader("WCH8", 5, size, 0, 1) + good.substr(52),
       "\tError: Invalid header values. First values."},
      {"no room for the id list", kItem, AdbHeader("WCH8", 2, size, 8, 1) + good.substr(52),
       "\tError: Invalid header values. Validation: 1"},
      // record count x record size is far beyond 32 bits.
      {"overflowing sizes", kItemBonus, AdbHeader("WCH8", 0x7FFFFFFF, 0x7FFFFFFF, 0, 1) + "tail",
       "\tError: Invalid header values. First values."},
      {"negative string block", kItemBonus, AdbHeader("WCH2", 1, 4, -8, 1) + Le32(1) + "1234",
       "\tError: Invalid header values. First values."},
      {"negative record count", kItemBonus, AdbHeader("WCH2", -1, 4, 0, 1) + Le32(1),
       "\tError: Invalid header values. First values."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CheckedReader reader(c.file);
    Sets sets;
    LogLines log;
    std::string copy;
    EXPECT_FALSE(PrepareAdbFile(c.kind, reader, "p", "enUS", sets.list, copy));
    EXPECT_EQ(log.Lines().back(), c.line);
    EXPECT_TRUE(sets.list.sets.empty());
  }
}

TEST(AdbUploadCopy, AnIdBelowOneEndsTheWalk) {
  const int32_t size = 8;
  const std::string strings = std::string("\0s", 2);
  const std::string file = AdbHeader("WCH2", 3, size, 2, 1) + IdRecord(3, size) +
                           IdRecord(0, size) + IdRecord(5, size) + strings;
  CheckedReader reader(file);
  Sets sets;
  std::string copy;
  ASSERT_TRUE(PrepareAdbFile(kItem, reader, "p", "enUS", sets.list, copy));
  EXPECT_EQ(copy, AdbHeader("WCH2", 1, size, 2, 1) + IdRecord(3, size) + strings);
}

TEST(AdbUploadCopy, RecordsTooShortForTheirIdAreNeverReadPastTheFile) {
  // Record size 0: every record "starts" at the string block.
  const std::string file = AdbHeader("WCH2", 3, 0, 0, 1);
  CheckedReader reader(file);
  Sets sets;
  std::string copy;
  EXPECT_FALSE(PrepareAdbFile(kItemBonus, reader, "p", "enUS", sets.list, copy));
}

TEST(AdbUploadCopy, AllRecordsSentLeavesTheFileOut) {
  const int32_t size = 8;
  const std::string file = AdbHeader("WCH8", 1, size, 0, 9) + IdRecord(3, size);
  CheckedReader reader(file);
  Sets sets;
  sets.uploaded["itembonus.adb_enUS_9"] = {3};
  LogLines log;
  std::string copy;
  EXPECT_FALSE(PrepareAdbFile(kItemBonus, reader, "p", "enUS", sets.list, copy));
  EXPECT_EQ(log.Lines().back(), "\t1 done + 0 = 1 row(s)");
}

}  // namespace
}  // namespace drovane
