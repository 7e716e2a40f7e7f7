#pragma once
// The game's WDB cache files as bytes: a 24-byte header and records framed as 32-bit id,
// 32-bit length and payload. Each kind's payload puts its displayed values where the cache
// viewer looks for them; the rest of a payload is filler of plausible size.
#include <cstdint>
#include <string>

#include "gamefixture/Random.h"

namespace drovane::fixture {

enum class WdbKind : int { Creatures = 0, Objects = 1, Pages = 2, Quests = 3 };
constexpr int kWdbKindCount = 4;
constexpr WdbKind kWdbKinds[kWdbKindCount] = {WdbKind::Creatures, WdbKind::Objects, WdbKind::Pages,
                                              WdbKind::Quests};

struct WdbKindInfo {
  const char* fileName;   // "creaturecache.wdb"
  const char* magic;      // the four header bytes as stored: "BOMW"
  const char* shortName;  // "creatures": how the command lines name the kind
};
const WdbKindInfo& InfoOf(WdbKind kind);
// Accepts the short name (also without its final "s") or the file name.
bool WdbKindFromName(const std::string& name, WdbKind& out);

constexpr size_t kWdbHeaderSize = 24;
constexpr size_t kWdbRecordFrameSize = 8;
// The game closes the record list with an id 0 / length 0 frame.
constexpr size_t kWdbEndMarkerSize = 8;

// Offset 0 magic, 4 build, 8 the locale's four characters reversed (as the game stores them),
// 12 the cache format version 1, 16 and 20 zero.
std::string WdbHeader(WdbKind kind, uint32_t build, const std::string& locale);

// Payloads with given values, laid out as the viewer reads them (offsets within the payload):
// creatures: name at 15, creature type at name's terminator + 9, classification at terminator
// + 17; objects: category at 0, name at 8; pages: text at 0, next page id right after the
// text's terminator; quests: level at 8, title at 296. padding bytes of noise end each payload.
std::string CreaturePayload(const std::string& name, int32_t creatureType, int32_t classification,
                            Random& random, uint32_t padding);
std::string ObjectPayload(const std::string& name, int32_t category, Random& random,
                          uint32_t padding);
std::string PagePayload(const std::string& text, int32_t nextPageId, Random& random,
                        uint32_t padding);
std::string QuestPayload(const std::string& title, int32_t level, Random& random, uint32_t padding);

// What sample records are made of: the record of one id is the same bytes whatever file or
// position it is written in.
struct SampleSettings {
  std::string locale = "enUS";
  uint64_t seed = 1;
  uint32_t padding = 0;  // extra payload bytes per record
};

// The sample payload of one id: creature type id % 10, classification id % 5, object category
// id % 50, next page id + 1 for every third page (ids 1, 4, 7, ...) else 0, quest level
// 1 + id % 110; names and texts in the locale's language.
std::string SampleWdbPayload(WdbKind kind, int32_t id, const SampleSettings& settings);

// Appends id, length and payload.
void AppendWdbRecord(std::string& out, int32_t id, const std::string& payload);
// Appends the sample records of ids firstId .. firstId + count - 1.
void AppendSampleWdbRecords(std::string& out, WdbKind kind, int32_t firstId, int32_t count,
                            const SampleSettings& settings);

struct WdbFileParams {
  WdbKind kind = WdbKind::Creatures;
  uint32_t build = 0;
  int32_t firstId = 1;
  int32_t recordCount = 0;
  bool endMarker = true;  // close the list with 8 zero bytes, as the game does
  SampleSettings sample;
};
std::string BuildWdbFile(const WdbFileParams& params);

// Where the record list of a WDB file ends: the offset of the first frame whose id or length
// is below 1, that is cut short, or whose data would run past the end; the file size when
// every record is whole.
size_t WdbRecordListEnd(const std::string& file);

// The highest id among the records before WdbRecordListEnd; 0 when there are none.
int32_t HighestWdbId(const std::string& file);

// The game's way of adding records to its cache: a file of another kind or build (or too
// short for a header) is started afresh, otherwise the records stay, whatever follows them is
// dropped, and the new records (framed) follow, closed by the end marker when asked.
// restarted tells whether the old content was dropped.
std::string AppendToWdbFile(const std::string& existing, WdbKind kind, uint32_t build,
                            const std::string& locale, const std::string& newRecords,
                            bool endMarker, bool* restarted = nullptr);

}  // namespace drovane::fixture
