#include "gamefixture/SampleText.h"

namespace drovane::fixture {

struct LanguageTable {
  const char* adjectives[8];
  const char* creatures[8];
  const char* objects[8];
  const char* items[8];
  const char* questVerbs[4];
  const char* words[12];
};

namespace {

// Tables of words; the Russian and German ones hold two-byte UTF-8 letters on purpose.
const struct {
  const char* locale;
  LanguageTable language;
} kLanguages[] = {
    {"enUS",
     {{"Angry", "Ancient", "Frozen", "Savage", "Silent", "Burning", "Grey", "Lost"},
      {"Boar", "Wolf", "Kobold", "Murloc", "Gnoll", "Spider", "Drake", "Treant"},
      {"Chest", "Copper Vein", "Peacebloom", "Mailbox", "Campfire", "Crate", "Anvil", "Barrel"},
      {"Sword", "Shield", "Cloak", "Ring", "Staff", "Boots", "Helm", "Potion"},
      {"Slay", "Find", "Bring", "Protect"},
      {"the", "road", "north", "of", "the", "village", "is", "dark", "and", "long", "again",
       "today"}}},
    {"deDE",
     {{"Wütender", "Uralter", "Gefrorener", "Wilder", "Stiller", "Brennender", "Grauer",
       "Verlorener"},
      {"Eber", "Wolf", "Kobold", "Murloc", "Gnoll", "Spinnenkönig", "Drache", "Baumhüter"},
      {"Truhe", "Kupferader", "Friedensblume", "Briefkasten", "Lagerfeuer", "Kiste", "Amboss",
       "Fass"},
      {"Schwert", "Schild", "Umhang", "Ring", "Stab", "Stiefel", "Helm", "Trank"},
      {"Tötet", "Findet", "Bringt", "Schützt"},
      {"die", "Straße", "nördlich", "des", "Dorfes", "ist", "dunkel", "und", "lang", "über",
       "Brücken", "heute"}}},
    {"frFR",
     {{"Furieux", "Ancien", "Gelé", "Sauvage", "Silencieux", "Brûlant", "Gris", "Perdu"},
      {"Sanglier", "Loup", "Kobold", "Murloc", "Gnoll", "Araignée", "Drake", "Tréant"},
      {"Coffre", "Filon de cuivre", "Pacifique", "Boîte aux lettres", "Feu de camp", "Caisse",
       "Enclume", "Tonneau"},
      {"Épée", "Bouclier", "Cape", "Anneau", "Bâton", "Bottes", "Heaume", "Potion"},
      {"Tuez", "Trouvez", "Apportez", "Protégez"},
      {"la", "route", "au", "nord", "du", "village", "est", "sombre", "et", "très", "longue",
       "déjà"}}},
    {"ruRU",
     {{"Злой", "Древний", "Ледяной", "Дикий", "Тихий", "Горящий", "Серый", "Потерянный"},
      {"Кабан", "Волк", "Кобольд", "Мурлок", "Гнолл", "Паук", "Дракон", "Древень"},
      {"Сундук", "Медная жила", "Мироцвет", "Почтовый ящик", "Костёр", "Ящик", "Наковальня",
       "Бочка"},
      {"Меч", "Щит", "Плащ", "Кольцо", "Посох", "Сапоги", "Шлем", "Зелье"},
      {"Убейте", "Найдите", "Принесите", "Защитите"},
      {"дорога", "к", "северу", "от", "деревни", "темна", "и", "длинна", "сегодня", "снова", "ёж",
       "тут"}}},
};

const char* Pick(const char* const (&table)[8], Random& random) {
  return table[random.Below(8)];
}

}  // namespace

SampleText::SampleText(const std::string& locale) : language_(&kLanguages[0].language) {
  for (const auto& entry : kLanguages) {
    if (locale == entry.locale) language_ = &entry.language;
  }
}

std::string SampleText::CreatureName(Random& random) const {
  return std::string(Pick(language_->adjectives, random)) + " " +
         Pick(language_->creatures, random);
}

std::string SampleText::ObjectName(Random& random) const {
  return Pick(language_->objects, random);
}

std::string SampleText::ItemName(Random& random) const {
  return std::string(Pick(language_->adjectives, random)) + " " + Pick(language_->items, random);
}

std::string SampleText::QuestTitle(Random& random) const {
  return std::string(language_->questVerbs[random.Below(4)]) + ": " + CreatureName(random);
}

std::string SampleText::Sentence(Random& random, int words) const {
  std::string text;
  for (int i = 0; i < words; ++i) {
    if (i > 0) text += ' ';
    text += language_->words[random.Below(12)];
  }
  text += '.';
  return text;
}

}  // namespace drovane::fixture
