#include "base/TextHelpers.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace drovane {
namespace {

unsigned char AsciiLower(unsigned char c) {
  return static_cast<unsigned char>(std::tolower(c));
}

// Pairs of capital and small letters, position by position.
const char* const kCapitals[] = {
    "А", "Б", "В", "Г", "Д", "Е", "Ё", "Ж", "З", "И", "Й", "К", "Л", "М", "Н", "О", "П", "Р", "С",
    "Т", "У", "Ф", "Х", "Ц", "Ч", "Ш", "Щ", "Ь", "Ы", "Ъ", "Э", "Ю", "Я", "Á", "À", "Â", "Ä", "Ç",
    "É", "È", "Ê", "Ë", "Í", "Ì", "Î", "Ï", "Ñ", "Ó", "Ò", "Ô", "Ö", "Ú", "Ù", "Û", "Ü", "Æ", "Œ"};
const char* const kSmalls[] = {
    "а", "б", "в", "г", "д", "е", "ё", "ж", "з", "и", "й", "к", "л", "м", "н", "о", "п", "р", "с",
    "т", "у", "ф", "х", "ц", "ч", "ш", "щ", "ь", "ы", "ъ", "э", "ю", "я", "á", "à", "â", "ä", "ç",
    "é", "è", "ê", "ë", "í", "ì", "î", "ï", "ñ", "ó", "ò", "ô", "ö", "ú", "ù", "û", "ü", "æ", "œ"};
static_assert(sizeof(kCapitals) == sizeof(kSmalls), "case tables pair position by position");
constexpr size_t kCaseTableSize = sizeof(kCapitals) / sizeof(kCapitals[0]);

// Length of the UTF-8 sequence that starts at text[pos], or 0 when the byte does not start a
// valid sequence (a stray continuation byte, an invalid lead byte, or a sequence cut short).
size_t SequenceLength(const std::string& text, size_t pos) {
  const unsigned char lead = static_cast<unsigned char>(text[pos]);
  size_t length;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
  } else {
    return 0;
  }
  if (pos + length > text.size()) return 0;
  for (size_t i = 1; i < length; ++i) {
    if ((static_cast<unsigned char>(text[pos + i]) & 0xC0) != 0x80) return 0;
  }
  return length;
}

enum class CaseTarget { Lower, Upper };

void AppendMapped(std::string& out, const std::string& text, size_t pos, size_t length,
                  CaseTarget target) {
  if (length == 1) {
    const unsigned char c = static_cast<unsigned char>(text[pos]);
    out += static_cast<char>(target == CaseTarget::Lower ? std::tolower(c) : std::toupper(c));
    return;
  }
  const char* const* from = target == CaseTarget::Lower ? kCapitals : kSmalls;
  const char* const* to = target == CaseTarget::Lower ? kSmalls : kCapitals;
  for (size_t i = 0; i < kCaseTableSize; ++i) {
    if (std::strlen(from[i]) == length && text.compare(pos, length, from[i]) == 0) {
      out += to[i];
      return;
    }
  }
  out.append(text, pos, length);
}

template <typename ChooseTarget>
std::string MapCase(const std::string& text, ChooseTarget choose) {
  std::string out;
  out.reserve(text.size());
  bool previousWasSpace = true;  // the first character counts as following a space
  for (size_t pos = 0; pos < text.size();) {
    const size_t length = SequenceLength(text, pos);
    if (length == 0) {
      ++pos;
      continue;
    }
    AppendMapped(out, text, pos, length, choose(previousWasSpace));
    previousWasSpace = length == 1 && text[pos] == ' ';
    pos += length;
  }
  return out;
}

}  // namespace

bool WildcardMatch(const std::string& name, const std::string& pattern) {
  size_t n = 0, p = 0;
  size_t starPattern = std::string::npos, starName = 0;
  while (n < name.size()) {
    if (p < pattern.size() && pattern[p] == '*') {
      starPattern = p++;
      starName = n;
    } else if (p < pattern.size() &&
               ((pattern[p] == '?' && name[n] != '.') ||
                (pattern[p] != '?' && AsciiLower(static_cast<unsigned char>(pattern[p])) ==
                                          AsciiLower(static_cast<unsigned char>(name[n]))))) {
      ++p;
      ++n;
    } else if (starPattern != std::string::npos) {
      p = starPattern + 1;  // back to the latest star, which swallows one more character
      n = ++starName;
    } else {
      return false;
    }
  }
  if (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

std::string FormatSize(double bytes, bool withWord) {
  static const char kUnits[] = "KMGTPEZY";
  int divisions = 0;
  while (bytes >= 1024.0 && divisions < 8) {
    bytes /= 1024.0;
    ++divisions;
  }
  char out[32];
  if (divisions > 0) {
    std::snprintf(out, sizeof out, "%.1f %cB", static_cast<double>(static_cast<float>(bytes)),
                  kUnits[divisions - 1]);
  } else if (withWord) {
    const int whole = static_cast<int>(bytes);
    std::snprintf(out, sizeof out, "%i byte%s", whole, whole == 1 ? "" : "s");
  } else {
    std::snprintf(out, sizeof out, "%i", static_cast<int>(bytes));
  }
  return out;
}

std::string ProgressText(double percent, double bytes) {
  char text[128];
  std::snprintf(text, sizeof text, "%0.0f%% of %s", percent, FormatSize(bytes, true).c_str());
  return text;
}

bool IsAlphanumeric(const std::string& text) {
  for (unsigned char c : text) {
    if (!(c < 0x80 && std::isalnum(c))) return false;
  }
  return true;
}

std::string Utf8ToLower(const std::string& text) {
  return MapCase(text, [](bool) { return CaseTarget::Lower; });
}

std::string Utf8ToUpper(const std::string& text) {
  return MapCase(text, [](bool) { return CaseTarget::Upper; });
}

std::string Utf8TitleCase(const std::string& text) {
  return MapCase(
      text, [](bool afterSpace) { return afterSpace ? CaseTarget::Upper : CaseTarget::Lower; });
}

std::string StripTrailingBackslashes(std::string path) {
  while (!path.empty() && path.back() == '\\') path.pop_back();
  return path;
}

}  // namespace drovane
