#pragma once
// Names and sentences for sample records, in the language of a locale folder, so that records
// of a German or Russian cache carry multi-byte UTF-8 text as the game's do.
#include <string>

#include "gamefixture/Random.h"

namespace drovane::fixture {

struct LanguageTable;

class SampleText {
 public:
  // enUS and enGB (and any unknown locale) give English, deDE German, frFR French, ruRU Russian.
  explicit SampleText(const std::string& locale);

  std::string CreatureName(Random& random) const;
  std::string ObjectName(Random& random) const;
  std::string ItemName(Random& random) const;
  std::string QuestTitle(Random& random) const;
  // words words, the first one capitalised only when the table's word is; ends with a full stop.
  std::string Sentence(Random& random, int words) const;

 private:
  const LanguageTable* language_;
};

}  // namespace drovane::fixture
