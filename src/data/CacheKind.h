#pragma once
// The game cache files the client inventories and uploads: four WDB kinds and seven ADB kinds,
// with the texts the main window shows for them. Pure: constant tables.
#include <cstdint>

namespace drovane {

// How a "WCH8" ADB file places its ids; other magics ignore these bits.
constexpr uint32_t ADB_OFFSET_MAP = 1;
constexpr uint32_t ADB_ID_LIST = 4;

struct CacheKind {
  const char* displayName;  // empty: no list row of its own (still counted in the ADB total)
  const char* fileName;
  const char* description;
  uint32_t layoutFlags;  // ADB kinds only
};

constexpr int kWdbKindCount = 4;
constexpr int kAdbKindCount = 7;

// Table order is the order of the scan, of the list rows and of the viewer's kind index.
extern const CacheKind kWdbKinds[kWdbKindCount];
extern const CacheKind kAdbKinds[kAdbKindCount];

}  // namespace drovane
