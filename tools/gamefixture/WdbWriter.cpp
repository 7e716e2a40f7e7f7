#include "gamefixture/WdbWriter.h"

#include "gamefixture/ByteWriter.h"
#include "gamefixture/SampleText.h"

namespace drovane::fixture {
namespace {

const WdbKindInfo kWdbKindTable[kWdbKindCount] = {
    {"creaturecache.wdb", "BOMW", "creatures"},
    {"gameobjectcache.wdb", "BOGW", "objects"},
    {"pagetextcache.wdb", "XTPW", "pages"},
    {"questcache.wdb", "TSQW", "quests"},
};

constexpr uint32_t kFloatOne = 0x3F800000;  // 1.0f: the game's default scale factors

uint32_t Small(Random& random, uint32_t bound) {
  return random.Below(bound);
}

}  // namespace

const WdbKindInfo& InfoOf(WdbKind kind) {
  const int index = static_cast<int>(kind);
  return kWdbKindTable[index >= 0 && index < kWdbKindCount ? index : 0];
}

bool WdbKindFromName(const std::string& name, WdbKind& out) {
  for (WdbKind kind : kWdbKinds) {
    const std::string shortName = InfoOf(kind).shortName;
    if (name == shortName || name == shortName.substr(0, shortName.size() - 1) ||
        name == InfoOf(kind).fileName) {
      out = kind;
      return true;
    }
  }
  return false;
}

std::string WdbHeader(WdbKind kind, uint32_t build, const std::string& locale) {
  std::string header(InfoOf(kind).magic, 4);
  PutU32(header, build);
  std::string code = locale.substr(0, 4);
  code.resize(4, '\0');
  header.append(code.rbegin(), code.rend());
  PutU32(header, 1);
  PutU32(header, 0);
  PutU32(header, 0);
  return header;
}

std::string CreaturePayload(const std::string& name, int32_t creatureType, int32_t classification,
                            Random& random, uint32_t padding) {
  std::string payload;
  PutU32(payload, Small(random, 0x100));                       // type flags
  PutU32(payload, 0);                                          // more type flags
  PutU32(payload, Small(random, 50));                          // family
  PutU16(payload, static_cast<uint16_t>(Small(random, 200)));  // movement
  payload.push_back('\0');                                     // racial leader
  PutCString(payload, name);                                   // at 15
  PutU32(payload, 0);  // kill credits: name terminator + 1 and + 5
  PutU32(payload, 0);
  PutI32(payload, creatureType);      // terminator + 9
  PutU32(payload, Small(random, 8));  // expansion: terminator + 13
  PutI32(payload, classification);    // terminator + 17
  for (int i = 0; i < 4; ++i) PutU32(payload, 1000 + Small(random, 60000));  // display ids
  PutU32(payload, kFloatOne);                                                // health modifier
  PutU32(payload, kFloatOne);                                                // mana modifier
  PutCString(payload, "");                                                   // sub-name
  random.AppendBytes(payload, padding);
  return payload;
}

std::string ObjectPayload(const std::string& name, int32_t category, Random& random,
                          uint32_t padding) {
  std::string payload;
  PutI32(payload, category);                   // at 0
  PutU32(payload, 100 + Small(random, 9000));  // display id
  PutCString(payload, name);                   // at 8
  payload.append(3, '\0');                     // three further names, empty
  PutCString(payload, "");                     // icon
  PutCString(payload, "");                     // cast bar caption
  for (int i = 0; i < 24; ++i) PutU32(payload, Small(random, 4) == 0 ? Small(random, 5000) : 0);
  PutU32(payload, kFloatOne);  // size
  random.AppendBytes(payload, padding);
  return payload;
}

std::string PagePayload(const std::string& text, int32_t nextPageId, Random& random,
                        uint32_t padding) {
  std::string payload;
  PutCString(payload, text);    // at 0
  PutI32(payload, nextPageId);  // right after the terminator
  random.AppendBytes(payload, padding);
  return payload;
}

std::string QuestPayload(const std::string& title, int32_t level, Random& random,
                         uint32_t padding) {
  constexpr size_t kTitleOffset = 296;
  std::string payload;
  PutU32(payload, 0);                          // quest flags
  PutU32(payload, 2);                          // quest type
  PutI32(payload, level);                      // at 8
  PutI32(payload, level > 5 ? level - 5 : 1);  // minimum level
  while (payload.size() < kTitleOffset) {
    PutU32(payload, Small(random, 3) == 0 ? Small(random, 100000) : 0);  // rewards, zones, flags
  }
  PutCString(payload, title);  // at 296
  random.AppendBytes(payload, padding);
  return payload;
}

std::string SampleWdbPayload(WdbKind kind, int32_t id, const SampleSettings& settings) {
  Random random(MixSeed(MixSeed(settings.seed, TextHash(settings.locale)),
                        (static_cast<uint64_t>(kind) << 32) | static_cast<uint32_t>(id)));
  const SampleText text(settings.locale);
  switch (kind) {
    case WdbKind::Creatures:
      return CreaturePayload(text.CreatureName(random), id % 10, id % 5, random, settings.padding);
    case WdbKind::Objects:
      return ObjectPayload(text.ObjectName(random), id % 50, random, settings.padding);
    case WdbKind::Pages:
      return PagePayload(text.Sentence(random, 6 + static_cast<int>(random.Below(20))),
                         id % 3 == 1 ? id + 1 : 0, random, settings.padding);
    case WdbKind::Quests: {
      std::string payload = QuestPayload(text.QuestTitle(random), 1 + id % 110, random, 0);
      // Objectives, description and completion text follow the title.
      PutCString(payload, text.Sentence(random, 8));
      PutCString(payload, text.Sentence(random, 20));
      PutCString(payload, text.Sentence(random, 5));
      random.AppendBytes(payload, settings.padding);
      return payload;
    }
  }
  return std::string();
}

void AppendWdbRecord(std::string& out, int32_t id, const std::string& payload) {
  PutI32(out, id);
  PutI32(out, static_cast<int32_t>(payload.size()));
  out.append(payload);
}

void AppendSampleWdbRecords(std::string& out, WdbKind kind, int32_t firstId, int32_t count,
                            const SampleSettings& settings) {
  for (int32_t i = 0; i < count; ++i) {
    AppendWdbRecord(out, firstId + i, SampleWdbPayload(kind, firstId + i, settings));
  }
}

std::string BuildWdbFile(const WdbFileParams& params) {
  std::string file = WdbHeader(params.kind, params.build, params.sample.locale);
  // Most sample payloads are 60 to 400 bytes; reserving avoids regrowing large files.
  file.reserve(kWdbHeaderSize +
               static_cast<size_t>(params.recordCount > 0 ? params.recordCount : 0) *
                   (200 + params.sample.padding));
  AppendSampleWdbRecords(file, params.kind, params.firstId, params.recordCount, params.sample);
  if (params.endMarker) file.append(kWdbEndMarkerSize, '\0');
  return file;
}

size_t WdbRecordListEnd(const std::string& file) {
  if (file.size() < kWdbHeaderSize) return file.size();
  size_t position = kWdbHeaderSize;
  while (file.size() - position >= kWdbRecordFrameSize) {
    const int32_t id = PeekI32(file, position);
    const int32_t length = PeekI32(file, position + 4);
    if (id < 1 || length < 1) return position;
    if (static_cast<uint64_t>(length) > file.size() - position - kWdbRecordFrameSize) {
      return position;
    }
    position += kWdbRecordFrameSize + static_cast<size_t>(length);
  }
  return position;
}

int32_t HighestWdbId(const std::string& file) {
  const size_t end = WdbRecordListEnd(file);
  int32_t highest = 0;
  for (size_t position = kWdbHeaderSize; position < end;
       position += kWdbRecordFrameSize + static_cast<size_t>(PeekI32(file, position + 4))) {
    if (PeekI32(file, position) > highest) highest = PeekI32(file, position);
  }
  return highest;
}

std::string AppendToWdbFile(const std::string& existing, WdbKind kind, uint32_t build,
                            const std::string& locale, const std::string& newRecords,
                            bool endMarker, bool* restarted) {
  const bool keep = existing.size() >= kWdbHeaderSize &&
                    existing.compare(0, 4, InfoOf(kind).magic, 4) == 0 &&
                    PeekU32(existing, 4) == build;
  if (restarted) *restarted = !keep;
  std::string file =
      keep ? existing.substr(0, WdbRecordListEnd(existing)) : WdbHeader(kind, build, locale);
  file += newRecords;
  if (endMarker) file.append(kWdbEndMarkerSize, '\0');
  return file;
}

}  // namespace drovane::fixture
