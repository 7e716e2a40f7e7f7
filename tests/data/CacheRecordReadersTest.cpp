// The cache viewer's decoding of the four WDB files: signatures, the record walk, the payload
// layouts, the name tables and the columns, and damaged files of every kind. Reads outside a
// file are caught by placing its bytes right before a page that may not be read.
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "base/DataFile.h"
#include "data/CacheRecordReader.h"
#ifdef _WIN32
#include "support/Process.h"
#include "support/TempFolder.h"
#endif

namespace drovane {
namespace {

using ::testing::ElementsAre;

std::string Le32(int32_t value) {
  const uint32_t bits = static_cast<uint32_t>(value);
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
  return bytes;
}

std::string Header(const char* signature) {
  return std::string(signature, 4) + Le32(22522) + std::string(16, '\x11');
}

std::string Record(int32_t id, const std::string& payload) {
  return Le32(id) + Le32(static_cast<int32_t>(payload.size())) + payload;
}

const std::string kEndMarker(8, '\0');

// Laid out as the game writes them; the bytes around the displayed values are filler that would
// show if a value were read from the wrong place.
std::string CreaturePayload(const std::string& name, int32_t type, int32_t classification) {
  return std::string(15, '\x7F') + name + '\0' + Le32(0x01010101) + Le32(0x02020202) + Le32(type) +
         Le32(0x03030303) + Le32(classification) + std::string(24, '\x04') + '\0';
}

std::string ObjectPayload(const std::string& name, int32_t category) {
  return Le32(category) + Le32(0x05050505) + name + '\0' + std::string(3, '\0') +
         std::string(40, '\x06');
}

std::string PagePayload(const std::string& text, int32_t nextPage) {
  return text + '\0' + Le32(nextPage);
}

std::string QuestPayload(const std::string& title, int32_t level) {
  std::string payload = Le32(0x08080808) + Le32(2) + Le32(level) + Le32(level - 2);
  payload.resize(296, '\x09');
  return payload + title + '\0' + "Objectives" + '\0';
}

// The bytes end right before a page that may not be read, so a read past them fails at once.
class GuardedBytes {
 public:
  explicit GuardedBytes(const std::string& content) {
    const size_t page = PageSize();
    const size_t dataPages = (content.size() + page - 1) / page;
    total_ = (dataPages + 1) * page;
    base_ = Reserve(total_);
    ForbidAccess(base_ + dataPages * page, page);
    data_ = base_ + dataPages * page - content.size();
    if (!content.empty()) std::memcpy(data_, content.data(), content.size());
    size_ = content.size();
  }
  ~GuardedBytes() { Release(base_, total_); }
  GuardedBytes(const GuardedBytes&) = delete;
  GuardedBytes& operator=(const GuardedBytes&) = delete;
  const unsigned char* data() const { return data_; }
  size_t size() const { return size_; }

 private:
#ifdef _WIN32
  static size_t PageSize() {
    SYSTEM_INFO system = {};
    GetSystemInfo(&system);
    return system.dwPageSize;
  }
  static unsigned char* Reserve(size_t size) {
    return static_cast<unsigned char*>(
        VirtualAlloc(nullptr, size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
  }
  static void ForbidAccess(unsigned char* at, size_t size) {
    DWORD old = 0;
    VirtualProtect(at, size, PAGE_NOACCESS, &old);
  }
  static void Release(unsigned char* base, size_t) {
    VirtualFree(base, 0, MEM_RELEASE);
  }
#else
  // The native sanitizer build: the same guard page through mmap.
  static size_t PageSize() {
    return static_cast<size_t>(sysconf(_SC_PAGESIZE));
  }
  static unsigned char* Reserve(size_t size) {
    return static_cast<unsigned char*>(
        mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  }
  static void ForbidAccess(unsigned char* at, size_t size) {
    mprotect(at, size, PROT_NONE);
  }
  static void Release(unsigned char* base, size_t size) {
    munmap(base, size);
  }
#endif

  unsigned char* base_ = nullptr;
  unsigned char* data_ = nullptr;
  size_t total_ = 0;
  size_t size_ = 0;
};

struct Decoded {
  WdbReadResult result;
  std::vector<WdbRecordRow> rows;
};

Decoded Decode(int kind, const std::string& file) {
  GuardedBytes bytes(file);
  Decoded decoded;
  decoded.result = ReadWdbRecords(kind, bytes.data(), bytes.size(),
                                  [&](const WdbRecordRow& row) { decoded.rows.push_back(row); });
  return decoded;
}

// A row as "id|cell|cell|cell", cells up to the kind's column count.
std::string Text(int kind, const WdbRecordRow& row) {
  std::string text = std::to_string(row.id);
  for (int i = 1; i < WdbRecordFormatOf(kind)->columnCount; ++i) text += "|" + row.cells[i - 1];
  return text;
}

std::vector<std::string> Texts(int kind, const std::string& file) {
  const Decoded decoded = Decode(kind, file);
  EXPECT_EQ(decoded.result, WdbReadResult::Read);
  std::vector<std::string> texts;
  for (const WdbRecordRow& row : decoded.rows) texts.push_back(Text(kind, row));
  return texts;
}

TEST(CacheRecordReaders, NameTablesAndTheirFallbacks) {
  const char* types[] = {"None",      "Beast",  "Dragonkin", "Demon",   "Giant",
                         "Elemental", "Undead", "Humanoid",  "Critter", "Mechanical"};
  for (int32_t i = 0; i < 10; ++i) EXPECT_STREQ(CreatureTypeText(i), types[i]);
  EXPECT_STREQ(CreatureTypeText(10), "None");
  EXPECT_STREQ(CreatureTypeText(12), "None");
  EXPECT_STREQ(CreatureTypeText(-1), "None");
  EXPECT_STREQ(CreatureTypeText(INT32_MIN), "None");

  const char* classes[] = {"Normal", "Elite", "Rare Elite", "Boss", "Rare"};
  for (int32_t i = 0; i < 5; ++i) EXPECT_STREQ(ClassificationText(i), classes[i]);
  EXPECT_STREQ(ClassificationText(5), "Normal");
  EXPECT_STREQ(ClassificationText(7), "Normal");
  EXPECT_STREQ(ClassificationText(-3), "Normal");
  EXPECT_STREQ(ClassificationText(INT32_MAX), "Normal");
}

TEST(CacheRecordReaders, SignaturesAndColumnsPerKind) {
  struct Expected {
    const char* signature;
    std::vector<std::string> columns;  // "title width L|R"
  } expected[] = {
      {"BOMW", {"ID 45 R", "Name 150 L", "Type 70 L", "Classification  80 L"}},
      {"BOGW", {"ID 50 R", "Name 225 L", "Category 70 R"}},
      {"XTPW", {"ID 45 R", "Text 220 L", "Next Page ID 85 R"}},
      {"TSQW", {"ID 45 R", "Title 160 L", "Level 50 R"}},
  };
  for (int kind = 0; kind < 4; ++kind) {
    const WdbRecordFormat* format = WdbRecordFormatOf(kind);
    ASSERT_NE(format, nullptr);
    EXPECT_EQ(std::string(format->signature, 4), expected[kind].signature);
    std::vector<std::string> columns;
    for (int i = 0; i < format->columnCount; ++i) {
      const WdbColumn& column = format->columns[i];
      columns.push_back(std::string(column.title) + " " + std::to_string(column.width) +
                        (column.alignRight ? " R" : " L"));
    }
    EXPECT_EQ(columns, expected[kind].columns) << kind;
  }
  EXPECT_EQ(WdbRecordFormatOf(-1), nullptr);
  EXPECT_EQ(WdbRecordFormatOf(4), nullptr);
}

TEST(CacheRecordReaders, EachKindTakesOnlyItsOwnSignature) {
  const char* signatures[] = {"BOMW", "BOGW", "XTPW", "TSQW"};
  for (int kind = 0; kind < 4; ++kind) {
    for (int file = 0; file < 4; ++file) {
      const std::string bytes = Header(signatures[file]) + kEndMarker;
      EXPECT_EQ(Decode(kind, bytes).result,
                kind == file ? WdbReadResult::Read : WdbReadResult::WrongSignature)
          << kind << " " << file;
    }
  }
  // Stored as these bytes, not as a number: the reversed text is wrong.
  EXPECT_EQ(Decode(kViewCreatures, Header("WMOB") + kEndMarker).result,
            WdbReadResult::WrongSignature);
  EXPECT_EQ(Decode(kViewCreatures, "BOMW" + std::string(20, '\0') + "\x01").result,
            WdbReadResult::Read);
}

TEST(CacheRecordReaders, CreaturesShowNameTypeAndClassification) {
  const std::string file = Header("BOMW") + Record(46, CreaturePayload("Kobold Vermin", 7, 0)) +
                           Record(3, CreaturePayload("Odd Beast", 12, 7)) +
                           Record(99, CreaturePayload("Rare One", 1, 2)) +
                           Record(100, CreaturePayload("Боец", 9, 3)) + kEndMarker;
  EXPECT_THAT(Texts(kViewCreatures, file),
              ElementsAre("46|Kobold Vermin|Humanoid|Normal", "3|Odd Beast|None|Normal",
                          "99|Rare One|Beast|Rare Elite", "100|Боец|Mechanical|Boss"));
}

TEST(CacheRecordReaders, ObjectsShowNameAndCategory) {
  const std::string file = Header("BOGW") + Record(1617, ObjectPayload("Silverleaf", 3)) +
                           Record(2, ObjectPayload("", -4)) + kEndMarker;
  EXPECT_THAT(Texts(kViewObjects, file), ElementsAre("1617|Silverleaf|3", "2||-4"));
}

TEST(CacheRecordReaders, PagesShowTextAndNextPageEvenWhenTheTextIsEmpty) {
  const std::string file = Header("XTPW") + Record(1, PagePayload("Dear friend,\nhello.", 2)) +
                           Record(2, PagePayload("", 5)) + Record(5, PagePayload("The end", 0)) +
                           kEndMarker;
  EXPECT_THAT(Texts(kViewPages, file),
              ElementsAre("1|Dear friend,\nhello.|2", "2||5", "5|The end|0"));
}

TEST(CacheRecordReaders, QuestsShowTitleAndLevel) {
  const std::string file = Header("TSQW") + Record(40000, QuestPayload("The Last Stand", 110)) +
                           Record(7, QuestPayload("Beginnings", 1)) + kEndMarker;
  EXPECT_THAT(Texts(kViewQuests, file), ElementsAre("40000|The Last Stand|110", "7|Beginnings|1"));
}

TEST(CacheRecordReaders, FilesOfTwentyFourBytesOrFewerAreTooShort) {
  for (size_t size = 0; size <= 24; ++size) {
    const std::string file = (Header("BOMW") + kEndMarker).substr(0, size);
    EXPECT_EQ(Decode(kViewCreatures, file).result, WdbReadResult::TooShort) << size;
  }
  EXPECT_EQ(ReadWdbRecords(kViewCreatures, nullptr, 100, [](const WdbRecordRow&) {}),
            WdbReadResult::TooShort);
}

TEST(CacheRecordReaders, NoRecordsGivesTheColumnsAndNoRows) {
  for (const std::string& tail : {kEndMarker, std::string("\x01"), std::string(7, '\x05')}) {
    const Decoded decoded = Decode(kViewQuests, Header("TSQW") + tail);
    EXPECT_EQ(decoded.result, WdbReadResult::Read);
    EXPECT_TRUE(decoded.rows.empty());
  }
}

TEST(CacheRecordReaders, TheLastRecordIsShownWithAndWithoutTheClosingRecord) {
  const std::string records = Record(1, PagePayload("one", 0)) + Record(2, PagePayload("two", 0));
  // The game closes the list with an id 0 / size 0 record.
  EXPECT_THAT(Texts(kViewPages, Header("XTPW") + records + kEndMarker),
              ElementsAre("1|one|0", "2|two|0"));
  // Ending exactly at the end of the file, the last record is whole: it is shown too, as the
  // main window's inventory counts it.
  EXPECT_THAT(Texts(kViewPages, Header("XTPW") + records), ElementsAre("1|one|0", "2|two|0"));
  // Cut short by one byte it is not.
  const std::string cut = Header("XTPW") + records;
  EXPECT_THAT(Texts(kViewPages, cut.substr(0, cut.size() - 1)), ElementsAre("1|one|0"));
}

TEST(CacheRecordReaders, ARecordWithIdOrSizeBelowOneEndsTheList) {
  const std::string first = Record(1, PagePayload("one", 0));
  const std::string after = Record(3, PagePayload("three", 0));
  const std::string stoppers[] = {
      Le32(0) + Le32(4) + "abcd",  Le32(-5) + Le32(4) + "abcd", Le32(2) + Le32(0),
      Le32(2) + Le32(-1) + "abcd", Le32(2) + Le32(INT32_MIN),
  };
  for (const std::string& stopper : stoppers) {
    EXPECT_THAT(Texts(kViewPages, Header("XTPW") + first + stopper + after),
                ElementsAre("1|one|0"));
  }
}

TEST(CacheRecordReaders, HugeSizesEndTheListWithoutReadingOn) {
  const std::string first = Record(1, PagePayload("one", 0));
  for (int32_t size : {INT32_MAX, 1 << 30, 4096}) {
    const std::string file = Header("XTPW") + first + Le32(2) + Le32(size) + "short payload";
    EXPECT_THAT(Texts(kViewPages, file), ElementsAre("1|one|0")) << size;
  }
  // A frame cut inside its id or size.
  for (size_t keep = 1; keep < 8; ++keep) {
    const std::string file = Header("XTPW") + first + (Le32(2) + Le32(9)).substr(0, keep);
    EXPECT_THAT(Texts(kViewPages, file), ElementsAre("1|one|0")) << keep;
  }
}

TEST(CacheRecordReaders, StringsWithoutTerminatorEndWithTheirPayload) {
  // The name runs to the end of the payload; the next record's bytes are not part of it, and the
  // fields placed after the name's terminator are not there at all.
  const std::string creature = std::string(15, '\x7F') + "Abcde";
  const std::string file =
      Header("BOMW") + Record(1, creature) + Record(2, CreaturePayload("Next", 4, 1)) + kEndMarker;
  EXPECT_THAT(Texts(kViewCreatures, file), ElementsAre("1|Abcde||", "2|Next|Giant|Elite"));

  const std::string page =
      Header("XTPW") + Record(1, "no terminator") + Record(2, "xy") + kEndMarker;
  EXPECT_THAT(Texts(kViewPages, page), ElementsAre("1|no terminator|", "2|xy|"));

  std::string quest = QuestPayload("", 30).substr(0, 296) + "Unended title";
  EXPECT_THAT(Texts(kViewQuests, Header("TSQW") + Record(5, quest) + kEndMarker),
              ElementsAre("5|Unended title|30"));

  const std::string object = Le32(12) + Le32(0) + "Unended";
  EXPECT_THAT(Texts(kViewObjects, Header("BOGW") + Record(6, object) + kEndMarker),
              ElementsAre("6|Unended|12"));
}

TEST(CacheRecordReaders, FieldsBeyondTheirPayloadLeaveTheirCellsEmpty) {
  const std::string full = CreaturePayload("Wolf", 1, 4);
  const size_t terminator = 15 + 4;
  // The type ends at terminator + 13, the classification at terminator + 21.
  EXPECT_THAT(Texts(kViewCreatures,
                    Header("BOMW") + Record(1, full.substr(0, terminator + 13)) + kEndMarker),
              ElementsAre("1|Wolf|Beast|"));
  EXPECT_THAT(Texts(kViewCreatures,
                    Header("BOMW") + Record(1, full.substr(0, terminator + 12)) + kEndMarker),
              ElementsAre("1|Wolf||"));
  EXPECT_THAT(Texts(kViewCreatures,
                    Header("BOMW") + Record(1, full.substr(0, terminator + 21)) + kEndMarker),
              ElementsAre("1|Wolf|Beast|Rare"));
  // A payload too short for the name.
  EXPECT_THAT(Texts(kViewCreatures, Header("BOMW") + Record(1, std::string(15, 'x')) + kEndMarker),
              ElementsAre("1|||"));

  // The next page id needs four bytes after the text's terminator.
  EXPECT_THAT(Texts(kViewPages, Header("XTPW") + Record(1, std::string("ab\0\x01\x02\x03", 6))),
              ElementsAre("1|ab|"));
  // The level needs the bytes 8 to 11; the title starts at 296.
  const std::string quest = QuestPayload("Title", 60);
  EXPECT_THAT(Texts(kViewQuests, Header("TSQW") + Record(1, quest.substr(0, 11))),
              ElementsAre("1||"));
  EXPECT_THAT(Texts(kViewQuests, Header("TSQW") + Record(1, quest.substr(0, 296))),
              ElementsAre("1||60"));
  // The category needs the first four bytes, the name starts at 8.
  EXPECT_THAT(Texts(kViewObjects, Header("BOGW") + Record(1, "abc")), ElementsAre("1||"));
  EXPECT_THAT(Texts(kViewObjects, Header("BOGW") + Record(1, Le32(9) + "abcd")),
              ElementsAre("1||9"));
}

TEST(CacheRecordReaders, PayloadHelpersStayInside) {
  const unsigned char bytes[] = {'a', 'b', 0, 'c', 1, 0, 0, 0};
  int64_t terminator = 0;
  EXPECT_EQ(PayloadString(bytes, sizeof bytes, 0, &terminator), "ab");
  EXPECT_EQ(terminator, 2);
  EXPECT_EQ(PayloadString(bytes, sizeof bytes, 2, &terminator), "");
  EXPECT_EQ(terminator, 2);
  EXPECT_EQ(PayloadString(bytes, 4, 3, &terminator), "c");
  EXPECT_EQ(terminator, -1);
  EXPECT_EQ(PayloadString(bytes, sizeof bytes, 8, &terminator), "");
  EXPECT_EQ(terminator, -1);
  int32_t value = 0;
  EXPECT_TRUE(PayloadInt32(bytes, sizeof bytes, 4, &value));
  EXPECT_EQ(value, 1);
  EXPECT_FALSE(PayloadInt32(bytes, sizeof bytes, 5, &value));
  EXPECT_FALSE(PayloadInt32(bytes, sizeof bytes, -1, &value));
  EXPECT_FALSE(PayloadInt32(bytes, sizeof bytes, INT64_MAX - 2, &value));
}

// A sample of each kind with ordinary, empty and damaged records, cut at every length: a record
// is shown exactly when it lies whole before the cut, and shows then what the whole file shows.
TEST(CacheRecordReaders, SamplesCutAtEveryLength) {
  const std::string samples[] = {
      Header("BOMW") + Record(1, CreaturePayload("Kobold", 7, 1)) +
          Record(2, std::string(15, '\x7F') + "Unended") + Record(3, CreaturePayload("", 0, 0)) +
          Record(4, CreaturePayload("Боец", 3, 2)) + kEndMarker,
      Header("BOGW") + Record(1, ObjectPayload("Copper Vein", 38)) + Record(2, "ab") +
          Record(3, ObjectPayload("Chest", 3)) + kEndMarker,
      Header("XTPW") + Record(1, PagePayload("Page one", 2)) + Record(2, PagePayload("", 0)) +
          Record(3, "x") + Record(4, PagePayload("Last", 0)) + kEndMarker,
      Header("TSQW") + Record(1, QuestPayload("A quest", 110)) + Record(2, "short") +
          Record(3, QuestPayload("Another", 5)) + kEndMarker,
  };
  for (int kind = 0; kind < 4; ++kind) {
    const std::string& sample = samples[kind];
    const Decoded whole = Decode(kind, sample);
    ASSERT_EQ(whole.result, WdbReadResult::Read);
    ASSERT_EQ(whole.rows.size(), 4u - (kind == 1 || kind == 3 ? 1 : 0)) << kind;
    // Where each record ends.
    std::vector<size_t> ends;
    for (size_t at = 24; at + 8 <= sample.size();) {
      int32_t id = 0, length = 0;
      std::memcpy(&id, sample.data() + at, 4);
      std::memcpy(&length, sample.data() + at + 4, 4);
      if (id < 1) break;
      at += 8 + static_cast<size_t>(length);
      ends.push_back(at);
    }
    for (size_t size = 0; size <= sample.size(); ++size) {
      const Decoded cut = Decode(kind, sample.substr(0, size));
      if (size <= 24) {
        EXPECT_EQ(cut.result, WdbReadResult::TooShort);
        continue;
      }
      ASSERT_EQ(cut.result, WdbReadResult::Read);
      size_t whole_records = 0;
      while (whole_records < ends.size() && ends[whole_records] <= size) ++whole_records;
      ASSERT_EQ(cut.rows.size(), whole_records) << kind << " cut at " << size;
      for (size_t i = 0; i < cut.rows.size(); ++i) {
        EXPECT_EQ(Text(kind, cut.rows[i]), Text(kind, whole.rows[i]));
      }
    }
  }
}

// Frames of every shape (plausible, zero, negative and huge sizes, payloads of random bytes with
// or without terminators), the file cut anywhere, over a guard page: the walk never crashes nor
// reads outside the file, and shows only whole records.
TEST(CacheRecordReaders, RandomFramesAndPayloads) {
  uint32_t state = 12345;
  auto next = [&state] {
    state = state * 1103515245u + 12345u;
    return (state >> 8) & 0xFFFF;
  };
  const char* signatures[] = {"BOMW", "BOGW", "XTPW", "TSQW"};
  size_t found = 0;
  for (int round = 0; round < 400; ++round) {
    const int kind = round % 4;
    std::string file = Header(signatures[kind]);
    const int frames = 1 + static_cast<int>(next() % 12);
    for (int frame = 0; frame < frames; ++frame) {
      const uint32_t shape = next() % 20;
      const int32_t id =
          shape == 0 ? -static_cast<int32_t>(next()) : 1 + static_cast<int32_t>(next());
      int32_t size = 1 + static_cast<int32_t>(next() % 400);
      if (shape == 1) size = 0;
      if (shape == 2) size = -static_cast<int32_t>(next());
      if (shape == 3) size = INT32_MAX - static_cast<int32_t>(next());
      std::string payload;
      for (int32_t i = 0; i < size && i < 400; ++i) {
        payload += static_cast<char>(next() % 7 == 0 ? 0 : next() & 0xFF);
      }
      file += Le32(id) + Le32(size) + payload;
    }
    if (next() % 2) file.resize(24 + next() % (file.size() - 23));
    const Decoded decoded = Decode(kind, file);
    if (file.size() <= 24) {
      EXPECT_EQ(decoded.result, WdbReadResult::TooShort);
      continue;
    }
    EXPECT_EQ(decoded.result, WdbReadResult::Read);
    // Every row shown is a whole record of at least 9 bytes with a positive id.
    EXPECT_LE(decoded.rows.size(), (file.size() - 24) / 9);
    for (const WdbRecordRow& row : decoded.rows) EXPECT_GE(row.id, 1);
    found += decoded.rows.size();
  }
  // The frames were made so that records are found and decoded, not only rejected.
  EXPECT_GT(found, 400u);
}

#ifdef _WIN32
// What gamefixture writes decodes with the sample values it documents (the program runs in the
// Wine build; the native build has no gamefixture.exe).
TEST(CacheRecordReaders, GameFixtureFilesDecodeToTheirSampleValues) {
  test::TempFolder folder;
  for (const char* marker : {"", "--no-wdb-end-marker "}) {
    test::ChildProcess fixture(test::Quoted(test::ProgramFolder() + "\\gamefixture.exe") +
                               " --records 30 --first-id 100 --skip executables,addon,adb,config " +
                               marker + test::Quoted(folder.path()));
    ASSERT_TRUE(fixture.WaitForExit(60000));
    ASSERT_EQ(fixture.exitCode(), 0);
    const char* files[] = {"creaturecache.wdb", "gameobjectcache.wdb", "pagetextcache.wdb",
                           "questcache.wdb"};
    for (int kind = 0; kind < 4; ++kind) {
      std::string bytes;
      ASSERT_TRUE(ReadWholeFile(folder / (std::string("Cache\\WDB\\enUS\\") + files[kind]), bytes));
      const Decoded decoded = Decode(kind, bytes);
      ASSERT_EQ(decoded.result, WdbReadResult::Read);
      ASSERT_EQ(decoded.rows.size(), 30u) << kind << " " << marker;
      for (int32_t i = 0; i < 30; ++i) {
        const WdbRecordRow& row = decoded.rows[i];
        const int32_t id = 100 + i;
        EXPECT_EQ(row.id, id);
        switch (kind) {
          case kViewCreatures:
            EXPECT_FALSE(row.cells[0].empty());
            EXPECT_EQ(row.cells[1], CreatureTypeText(id % 10));
            EXPECT_EQ(row.cells[2], ClassificationText(id % 5));
            break;
          case kViewObjects:
            EXPECT_FALSE(row.cells[0].empty());
            EXPECT_EQ(row.cells[1], std::to_string(id % 50));
            break;
          case kViewPages:
            EXPECT_FALSE(row.cells[0].empty());
            EXPECT_EQ(row.cells[1], id % 3 == 1 ? std::to_string(id + 1) : "0");
            break;
          case kViewQuests:
            EXPECT_FALSE(row.cells[0].empty());
            EXPECT_EQ(row.cells[1], std::to_string(1 + id % 110));
            break;
        }
      }
    }
  }
}

#endif

}  // namespace
}  // namespace drovane
