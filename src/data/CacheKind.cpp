#include "data/CacheKind.h"

namespace drovane {

const CacheKind kWdbKinds[kWdbKindCount] = {
    {"Creatures", "creaturecache.wdb", "Monsters and NPCs", 0},
    {"Objects", "gameobjectcache.wdb", "Chests, minerals, herbs, etc.", 0},
    {"Pages", "pagetextcache.wdb", "Readable items/objects text", 0},
    {"Quests", "questcache.wdb", "Quests description and objectives", 0},
};

const CacheKind kAdbKinds[kAdbKindCount] = {
    {"", "item.adb", "", ADB_ID_LIST},
    {"Items", "item-sparse.adb", "Items", ADB_OFFSET_MAP | ADB_ID_LIST},
    {"", "keychain.adb", "", ADB_ID_LIST},
    {"", "itemcurrencycost.adb", "", ADB_ID_LIST},
    {"", "itemextendedcost.adb", "", ADB_ID_LIST},
    {"", "itembonus.adb", "", 0},
    {"", "spellreagents.adb", "", ADB_ID_LIST},
};

}  // namespace drovane
