#include "data/SavedVariables.h"

#include <cstring>
#include <limits>

namespace drovane {
namespace {

bool IsCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'z') return c - 'a' + 10;
  if (c >= 'A' && c <= 'Z') return c - 'A' + 10;
  return 99;
}

constexpr char kUploadedMarker[] = "dlUploaded = ";
constexpr char kStatsWord[] = "dlStats";
// The counters begin after: dlStats, blank, equals sign, blank, double quote.
constexpr size_t kStatsValueOffset = 11;

}  // namespace

size_t ParseCInteger(const std::string& text, size_t position, int base, int32_t* value) {
  size_t at = position;
  while (at < text.size() && IsCSpace(text[at])) ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
    negative = text[at] == '-';
    ++at;
  }
  if (base == 0) {
    if (at < text.size() && text[at] == '0') {
      // "0x" counts only when a hexadecimal digit follows; otherwise the number is the 0.
      if (at + 2 < text.size() && (text[at + 1] == 'x' || text[at + 1] == 'X') &&
          DigitValue(text[at + 2]) < 16) {
        base = 16;
        at += 2;
      } else {
        base = 8;
      }
    } else {
      base = 10;
    }
  }
  const size_t digitsStart = at;
  // Accumulated as a magnitude; beyond 32 bits it stays clamped, as strtol does with a 32-bit
  // long.
  const uint64_t limit = negative ? uint64_t{1} << 31 : (uint64_t{1} << 31) - 1;
  uint64_t magnitude = 0;
  while (at < text.size() && DigitValue(text[at]) < base) {
    magnitude =
        magnitude * static_cast<unsigned>(base) + static_cast<unsigned>(DigitValue(text[at]));
    if (magnitude > limit) magnitude = limit + 1;  // saturated; further digits change nothing
    ++at;
  }
  if (at == digitsStart) return std::string::npos;
  if (magnitude > limit) magnitude = limit;
  *value = negative ? static_cast<int32_t>(-static_cast<int64_t>(magnitude))
                    : static_cast<int32_t>(magnitude);
  return at;
}

int ParseUploadedState(const std::string& text) {
  const size_t found = text.find(kUploadedMarker);
  if (found == std::string::npos) return 0;
  int32_t value;
  // The number is read from right after "dlUploaded =", its blank being leading white space.
  if (ParseCInteger(text, found + std::strlen(kUploadedMarker) - 1, 10, &value) ==
      std::string::npos) {
    return 0;
  }
  return value;
}

bool ParseStats(const std::string& text, int32_t (&stats)[6]) {
  const size_t found = text.find(kStatsWord);
  if (found == std::string::npos || found + kStatsValueOffset >= text.size()) return false;
  size_t at = found + kStatsValueOffset;
  int32_t parsed[6];
  for (int i = 0; i < 6; ++i) {
    at = ParseCInteger(text, at, 0, &parsed[i]);
    if (at == std::string::npos) return false;
    if (i < 5) {
      if (at >= text.size() || text[at] != '^') return false;
      ++at;
    }
  }
  std::memcpy(stats, parsed, sizeof parsed);
  return true;
}

SavedVariablesScan ScanSavedVariablesText(const std::string& text) {
  SavedVariablesScan scan;
  scan.uploadState = ParseUploadedState(text);
  if ((scan.uploadState & UPLOADED_ALL) == UPLOADED_ALL) {
    scan.outcome = SavedVariablesOutcome::AlreadyUploaded;
  } else if (!ParseStats(text, scan.stats)) {
    scan.outcome = SavedVariablesOutcome::ErrorInFile;
  } else {
    scan.outcome = SavedVariablesOutcome::NotUploaded;
  }
  return scan;
}

const char* OutcomeText(SavedVariablesOutcome outcome) {
  switch (outcome) {
    case SavedVariablesOutcome::AlreadyUploaded:
      return "Already uploaded.";
    case SavedVariablesOutcome::NotUploaded:
      return "Not uploaded.";
    case SavedVariablesOutcome::ErrorInFile:
      break;
  }
  return "Error in file.";
}

bool HasPendingUpload(int uploadState, bool accountExcluded, bool noCharacterData) {
  if (!(uploadState & UPLOADED_BASE)) return true;
  return !accountExcluded && !noCharacterData;
}

}  // namespace drovane
