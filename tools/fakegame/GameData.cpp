#include "fakegame/GameData.h"

#include <cstdint>

#include "gamefixture/Random.h"

namespace drovane::fakegame {

std::string AppendWdb(const std::string& existing, const WdbAppend& append,
                      const FakeGameOptions& options, uint32_t build, bool* restarted) {
  bool fresh = false;
  // The records go after what the game keeps; their ids follow the kept ones.
  const std::string kept = fixture::AppendToWdbFile(existing, append.kind, build, options.locale,
                                                    std::string(), false, &fresh);
  int32_t firstId = append.firstId;
  if (firstId == 0) firstId = fixture::HighestWdbId(kept) + 1;
  fixture::SampleSettings sample;
  sample.locale = options.locale;
  sample.seed = options.seed;
  sample.padding = options.padding;
  std::string records;
  fixture::AppendSampleWdbRecords(records, append.kind, firstId, append.count, sample);
  if (restarted) *restarted = fresh;
  return fixture::AppendToWdbFile(kept, append.kind, build, options.locale, records,
                                  options.wdbEndMarker);
}

std::string WriteAdb(const AdbWrite& write, const FakeGameOptions& options, uint32_t build) {
  fixture::AdbFileParams params;
  params.kindIndex = write.kindIndex;
  params.magic = options.adbFormat;
  params.build = build;
  params.firstId = write.firstId;
  params.recordCount = write.count;
  params.sample.locale = options.locale;
  params.sample.seed = options.seed;
  params.sample.padding = options.padding;
  return fixture::BuildAdbFile(params);
}

std::string ApplyAddonChange(const std::string& text, const AddonChange& change, uint64_t seed) {
  std::string result = text.empty() ? fixture::BuildAddonFile(fixture::AddonFileParams()) : text;
  switch (change.what) {
    case AddonChange::What::Collect: {
      // The new lines are numbered on from those already in the table, so each one is new.
      result = fixture::AddLootEntries(result, change.value,
                                       fixture::MixSeed(seed, fixture::TextHash(change.account)));
      int32_t stats[fixture::kStatCount] = {};
      if (fixture::ReadAddonStats(result, stats)) {
        const int64_t loots = static_cast<int64_t>(stats[3]) + change.value;
        stats[3] = static_cast<int32_t>(loots > INT32_MAX ? INT32_MAX : loots);
        result = fixture::SetAddonStats(result, stats);
      }
      return fixture::SetAddonUploaded(result, 0);
    }
    case AddonChange::What::Stats:
      return fixture::SetAddonStats(result, change.stats);
    case AddonChange::What::Uploaded:
      return fixture::SetAddonUploaded(result, change.value);
  }
  return result;
}

}  // namespace drovane::fakegame
