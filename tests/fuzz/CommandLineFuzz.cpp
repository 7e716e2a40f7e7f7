// The command-line tokenizer and the text helpers that take any bytes: UTF-8 case mapping,
// wildcard matching, size texts and path trimming. The input is split at its first zero byte
// into a text and a pattern.
#include <cstring>

#include "FuzzSupport.h"
#include "base/CommandLine.h"
#include "base/TextHelpers.h"

using namespace drovane;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> arguments = SplitCommandLine(input);
  size_t total = 0;
  for (const std::string& argument : arguments) {
    total += argument.size();
    LaunchModeFromArgument(argument);
  }
  // Arguments are made of the line's bytes, never of more.
  FUZZ_CHECK(total <= input.size());

  const size_t cut = input.find('\0');
  const std::string text = input.substr(0, cut);
  const std::string pattern = cut == std::string::npos ? std::string() : input.substr(cut + 1);
  WildcardMatch(text, pattern);
  FUZZ_CHECK(WildcardMatch(text, "*"));
  if (text.find_first_of("*?") == std::string::npos) FUZZ_CHECK(WildcardMatch(text, text));
  Utf8ToLower(text);
  Utf8ToUpper(text);
  Utf8TitleCase(text);
  IsAlphanumeric(text);
  const std::string stripped = StripTrailingBackslashes(text);
  FUZZ_CHECK(text.compare(0, stripped.size(), stripped) == 0);

  // Sizes are byte counts of files and uploads: whole and not negative.
  if (size >= sizeof(uint64_t)) {
    uint64_t bytes;
    std::memcpy(&bytes, data, sizeof bytes);
    const std::string words = FormatSize(static_cast<double>(bytes), true);
    FUZZ_CHECK(!words.empty() && words.size() < 32);
    FormatSize(static_cast<double>(bytes), false);
  }
  return 0;
}
