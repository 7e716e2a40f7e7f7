#include <gtest/gtest.h>

#include "gamefixture/Random.h"
#include "gamefixture/WdbWriter.h"
#include "CacheWalks.h"

namespace drovane::fixture {
namespace {

using test::Field;
using test::IsUtf8;
using test::PayloadInt;
using test::PayloadString;
using test::WalkWdb;

std::string Bytes(std::initializer_list<int> values) {
  std::string bytes;
  for (int v : values) bytes.push_back(static_cast<char>(v));
  return bytes;
}

WdbFileParams Params(WdbKind kind, int32_t count, const std::string& locale = "enUS") {
  WdbFileParams params;
  params.kind = kind;
  params.build = 22522;
  params.recordCount = count;
  params.sample.locale = locale;
  return params;
}

TEST(FixtureWdb, HeaderBytes) {
  EXPECT_EQ(
      WdbHeader(WdbKind::Creatures, 22522, "enUS"),
      "BOMW" + Bytes({0xFA, 0x57, 0, 0}) + "SUne" + Bytes({1, 0, 0, 0}) + std::string(8, '\0'));
  EXPECT_EQ(WdbHeader(WdbKind::Objects, 1, "deDE").substr(0, 12),
            "BOGW" + Bytes({1, 0, 0, 0}) + "EDed");
  EXPECT_EQ(WdbHeader(WdbKind::Pages, 0, "enGB").substr(0, 4), "XTPW");
  EXPECT_EQ(WdbHeader(WdbKind::Quests, 0, "enGB").substr(0, 4), "TSQW");
  EXPECT_EQ(WdbHeader(WdbKind::Quests, 0, "enGB").size(), kWdbHeaderSize);
}

TEST(FixtureWdb, KindTableAndNames) {
  const char* files[] = {"creaturecache.wdb", "gameobjectcache.wdb", "pagetextcache.wdb",
                         "questcache.wdb"};
  for (int i = 0; i < kWdbKindCount; ++i) {
    EXPECT_STREQ(InfoOf(kWdbKinds[i]).fileName, files[i]);
    WdbKind kind = WdbKind::Creatures;
    ASSERT_TRUE(WdbKindFromName(files[i], kind));
    EXPECT_EQ(kind, kWdbKinds[i]);
  }
  WdbKind kind = WdbKind::Creatures;
  EXPECT_TRUE(WdbKindFromName("quest", kind));
  EXPECT_EQ(kind, WdbKind::Quests);
  EXPECT_TRUE(WdbKindFromName("objects", kind));
  EXPECT_EQ(kind, WdbKind::Objects);
  EXPECT_FALSE(WdbKindFromName("items", kind));
}

TEST(FixtureWdb, FileWalksToEveryRecordAndEndsWithTheEndMarker) {
  for (WdbKind kind : kWdbKinds) {
    WdbFileParams params = Params(kind, 25);
    params.firstId = 100;
    const std::string file = BuildWdbFile(params);
    EXPECT_EQ(file.substr(0, 4), InfoOf(kind).magic);
    EXPECT_EQ(Field(file, 4), 22522);
    const auto records = WalkWdb(file);
    ASSERT_EQ(records.size(), 25u) << InfoOf(kind).fileName;
    for (size_t i = 0; i < records.size(); ++i) EXPECT_EQ(records[i].id, 100 + static_cast<int>(i));
    EXPECT_EQ(file.substr(file.size() - 8), std::string(8, '\0'));
    EXPECT_EQ(WdbRecordListEnd(file), file.size() - 8);

    params.endMarker = false;
    const std::string open = BuildWdbFile(params);
    EXPECT_EQ(open, file.substr(0, file.size() - 8));
    EXPECT_EQ(WdbRecordListEnd(open), open.size());
  }
}

TEST(FixtureWdb, EmptyFileIsHeaderAndEndMarker) {
  EXPECT_EQ(BuildWdbFile(Params(WdbKind::Pages, 0)).size(), kWdbHeaderSize + 8);
  WdbFileParams params = Params(WdbKind::Pages, 0);
  params.endMarker = false;
  EXPECT_EQ(BuildWdbFile(params), WdbHeader(WdbKind::Pages, 22522, "enUS"));
}

// The viewer reads these exact offsets; each payload must hold them within its own bytes.
TEST(FixtureWdb, PayloadsPutValuesWhereTheViewerReadsThem) {
  Random random(5);
  std::string text;
  size_t end = 0;
  int32_t value = 0;

  const std::string creature = CreaturePayload("Boar", 12, 7, random, 0);
  ASSERT_TRUE(PayloadString(creature, 15, text, end));
  EXPECT_EQ(text, "Boar");
  EXPECT_EQ(end, 19u);
  ASSERT_TRUE(PayloadInt(creature, end + 9, value));
  EXPECT_EQ(value, 12);
  ASSERT_TRUE(PayloadInt(creature, end + 17, value));
  EXPECT_EQ(value, 7);

  const std::string object = ObjectPayload("Chest", 3, random, 0);
  ASSERT_TRUE(PayloadInt(object, 0, value));
  EXPECT_EQ(value, 3);
  ASSERT_TRUE(PayloadString(object, 8, text, end));
  EXPECT_EQ(text, "Chest");

  const std::string page = PagePayload("", 42, random, 0);
  EXPECT_EQ(page, Bytes({0, 42, 0, 0, 0}));

  const std::string quest = QuestPayload("Slay: Boar", 110, random, 0);
  ASSERT_TRUE(PayloadInt(quest, 8, value));
  EXPECT_EQ(value, 110);
  ASSERT_TRUE(PayloadString(quest, 296, text, end));
  EXPECT_EQ(text, "Slay: Boar");
  EXPECT_EQ(quest.size(), 296u + 11u);
}

TEST(FixtureWdb, PaddingLengthensEachPayload) {
  SampleSettings plain;
  SampleSettings padded;
  padded.padding = 333;
  for (WdbKind kind : kWdbKinds) {
    const std::string a = SampleWdbPayload(kind, 7, plain);
    const std::string b = SampleWdbPayload(kind, 7, padded);
    EXPECT_EQ(b.size(), a.size() + 333) << InfoOf(kind).fileName;
    EXPECT_EQ(b.substr(0, a.size()), a);
  }
}

struct Decoded {
  std::string text;
  int32_t number1 = 0;
  int32_t number2 = 0;
};

// Decodes a sample record as the viewer would, failing the test when a value lies outside
// the payload.
Decoded Decode(WdbKind kind, const std::string& payload) {
  Decoded out;
  size_t end = 0;
  switch (kind) {
    case WdbKind::Creatures:
      EXPECT_TRUE(PayloadString(payload, 15, out.text, end));
      EXPECT_TRUE(PayloadInt(payload, end + 9, out.number1));
      EXPECT_TRUE(PayloadInt(payload, end + 17, out.number2));
      break;
    case WdbKind::Objects:
      EXPECT_TRUE(PayloadInt(payload, 0, out.number1));
      EXPECT_TRUE(PayloadString(payload, 8, out.text, end));
      break;
    case WdbKind::Pages:
      EXPECT_TRUE(PayloadString(payload, 0, out.text, end));
      EXPECT_TRUE(PayloadInt(payload, end + 1, out.number1));
      break;
    case WdbKind::Quests:
      EXPECT_TRUE(PayloadInt(payload, 8, out.number1));
      EXPECT_TRUE(PayloadString(payload, 296, out.text, end));
      break;
  }
  return out;
}

TEST(FixtureWdb, SampleRecordsDecodeInEveryLanguage) {
  for (const char* locale : {"enUS", "deDE", "frFR", "ruRU", "xxXX"}) {
    bool multiByte = false;
    for (WdbKind kind : kWdbKinds) {
      WdbFileParams params = Params(kind, 40, locale);
      params.sample.padding = 16;
      for (const auto& record : WalkWdb(BuildWdbFile(params))) {
        const Decoded value = Decode(kind, record.payload);
        const int32_t id = record.id;
        EXPECT_FALSE(value.text.empty()) << locale << " " << id;
        EXPECT_TRUE(IsUtf8(value.text)) << value.text;
        for (unsigned char c : value.text) multiByte |= c >= 0x80;
        switch (kind) {
          case WdbKind::Creatures:
            EXPECT_EQ(value.number1, id % 10);
            EXPECT_EQ(value.number2, id % 5);
            break;
          case WdbKind::Objects:
            EXPECT_EQ(value.number1, id % 50);
            break;
          case WdbKind::Pages:
            EXPECT_EQ(value.number1, id % 3 == 1 ? id + 1 : 0);
            break;
          case WdbKind::Quests:
            EXPECT_EQ(value.number1, 1 + id % 110);
            break;
        }
      }
    }
    const std::string name = locale;
    EXPECT_EQ(multiByte, name == "deDE" || name == "frFR" || name == "ruRU") << locale;
  }
}

TEST(FixtureWdb, RecordOfAnIdIsTheSameWhereverItIsWritten) {
  WdbFileParams from1 = Params(WdbKind::Creatures, 10);
  WdbFileParams from5 = Params(WdbKind::Creatures, 10);
  from5.firstId = 5;
  const auto a = WalkWdb(BuildWdbFile(from1));
  const auto b = WalkWdb(BuildWdbFile(from5));
  EXPECT_EQ(a[6].id, b[2].id);
  EXPECT_EQ(a[6].payload, b[2].payload);
  EXPECT_EQ(BuildWdbFile(from1), BuildWdbFile(from1));
  WdbFileParams otherSeed = from1;
  otherSeed.sample.seed = 2;
  EXPECT_NE(BuildWdbFile(otherSeed), BuildWdbFile(from1));
}

TEST(FixtureWdb, RecordListEndStopsAtImplausibleFrames) {
  std::string file = WdbHeader(WdbKind::Pages, 1, "enUS");
  AppendWdbRecord(file, 3, "abc");
  const size_t afterFirst = file.size();
  AppendWdbRecord(file, 0, "zz");  // id 0 ends the list
  AppendWdbRecord(file, 4, "def");
  EXPECT_EQ(WdbRecordListEnd(file), afterFirst);
  EXPECT_EQ(HighestWdbId(file), 3);

  std::string cut = WdbHeader(WdbKind::Pages, 1, "enUS");
  AppendWdbRecord(cut, 9, "abcdef");
  AppendWdbRecord(cut, 12, "ghijkl");
  EXPECT_EQ(HighestWdbId(cut), 12);
  cut.resize(cut.size() - 2);  // the last record runs past the end
  EXPECT_EQ(WdbRecordListEnd(cut), kWdbHeaderSize + 14);
  EXPECT_EQ(HighestWdbId(cut), 9);
  EXPECT_EQ(WdbRecordListEnd("BOMW"), 4u);
  EXPECT_EQ(HighestWdbId(WdbHeader(WdbKind::Pages, 1, "enUS")), 0);
}

TEST(FixtureWdb, AppendKeepsRecordsOfTheSameBuildAndRestartsOtherwise) {
  std::string records;
  AppendWdbRecord(records, 20, "new");
  std::string file = WdbHeader(WdbKind::Quests, 7, "enUS");
  AppendWdbRecord(file, 10, "old");
  const std::string kept = file;
  file.append(8, '\0');
  file += "trailing junk";

  bool restarted = true;
  EXPECT_EQ(AppendToWdbFile(file, WdbKind::Quests, 7, "enUS", records, true, &restarted),
            kept + records + std::string(8, '\0'));
  EXPECT_FALSE(restarted);
  EXPECT_EQ(AppendToWdbFile(file, WdbKind::Quests, 7, "enUS", records, false), kept + records);

  const std::string fresh = WdbHeader(WdbKind::Quests, 8, "enUS") + records + std::string(8, '\0');
  EXPECT_EQ(AppendToWdbFile(file, WdbKind::Quests, 8, "enUS", records, true, &restarted), fresh);
  EXPECT_TRUE(restarted);
  EXPECT_EQ(AppendToWdbFile(file, WdbKind::Pages, 7, "enUS", records, false),
            WdbHeader(WdbKind::Pages, 7, "enUS") + records);
  EXPECT_EQ(AppendToWdbFile("TSQW", WdbKind::Quests, 8, "enUS", records, true), fresh);
  EXPECT_EQ(AppendToWdbFile("", WdbKind::Quests, 8, "enUS", records, true), fresh);
}

}  // namespace
}  // namespace drovane::fixture
