#include "base/TextHelpers.h"

#include <gtest/gtest.h>

namespace drovane {
namespace {

TEST(FormatSize, WordsBelowOneKilobyteAndUnitsAbove) {
  EXPECT_EQ(FormatSize(0, true), "0 bytes");
  EXPECT_EQ(FormatSize(1, true), "1 byte");
  EXPECT_EQ(FormatSize(2, true), "2 bytes");
  EXPECT_EQ(FormatSize(1023, true), "1023 bytes");
  EXPECT_EQ(FormatSize(1024, true), "1.0 KB");
  EXPECT_EQ(FormatSize(1536, true), "1.5 KB");
  EXPECT_EQ(FormatSize(1048576, true), "1.0 MB");
  EXPECT_EQ(FormatSize(1073741824, true), "1.0 GB");
  EXPECT_EQ(FormatSize(1023, false), "1023");
  EXPECT_EQ(FormatSize(1536, false), "1.5 KB");
}

}  // namespace
}  // namespace drovane

namespace drovane {
namespace {

TEST(WildcardMatch, StarsQuestionMarksAndCase) {
  EXPECT_TRUE(WildcardMatch("Wow.exe", "w?w.*"));
  EXPECT_FALSE(WildcardMatch("a.b", "a?b"));  // '?' never stands for a dot
  EXPECT_TRUE(WildcardMatch("b.DAT", "*.dat"));
  EXPECT_TRUE(WildcardMatch("x.dat.dat", "*.dat"));  // backtracks to the latest star
  EXPECT_FALSE(WildcardMatch("x.dat.txt", "*.dat"));
  EXPECT_TRUE(WildcardMatch("abc", "abc*"));  // a trailing star may match nothing
  EXPECT_TRUE(WildcardMatch("", "*"));
  EXPECT_FALSE(WildcardMatch("abc", "ab"));
  EXPECT_FALSE(WildcardMatch("ab", "abc"));
  EXPECT_TRUE(WildcardMatch("a-long-name.adb", "a*n*.adb"));
}

TEST(IsAlphanumeric, AsciiLettersAndDigitsOnly) {
  EXPECT_TRUE(IsAlphanumeric(""));
  EXPECT_TRUE(IsAlphanumeric("Abc123"));
  EXPECT_FALSE(IsAlphanumeric("abc_123"));
  EXPECT_FALSE(IsAlphanumeric("a b"));
  EXPECT_FALSE(IsAlphanumeric("\xd0\x92"));  // В
}

TEST(Utf8Case, CyrillicAndAccentedLatinLettersThroughTheTables) {
  EXPECT_EQ(Utf8ToLower("ВОИН Ёж"), "воин ёж");
  EXPECT_EQ(Utf8ToUpper("воин ёж"), "ВОИН ЁЖ");
  EXPECT_EQ(Utf8ToUpper("àéîöüçñæœ"), "ÀÉÎÖÜÇÑÆŒ");
  EXPECT_EQ(Utf8ToLower("WORLD OF WARCRAFT"), "world of warcraft");
  EXPECT_EQ(Utf8ToUpper("straße"), "STRAßE");  // ß has no capital: copied
  EXPECT_EQ(Utf8ToUpper("日本"), "日本");      // no table entry: copied
}

TEST(Utf8Case, InvalidBytesAreDropped) {
  EXPECT_EQ(Utf8ToLower("A\x80"
                        "B"),
            "ab");                       // stray continuation byte
  EXPECT_EQ(Utf8ToLower("A\xd0"), "a");  // sequence cut short at the end
  EXPECT_EQ(Utf8ToLower("\xd0"
                        "A"),
            "a");  // lead byte without continuation
  EXPECT_EQ(Utf8ToUpper("\xff\xfe"
                        "x"),
            "X");  // bytes that never start a sequence
}

TEST(Utf8TitleCase, FirstLetterAndLettersAfterSpacesUpperOthersLower) {
  EXPECT_EQ(Utf8TitleCase("MY MAIN"), "My Main");
  EXPECT_EQ(Utf8TitleCase("ВОИН"), "Воин");
  EXPECT_EQ(Utf8TitleCase("воин  ВТОРОЙ"), "Воин  Второй");
  EXPECT_EQ(Utf8TitleCase("éLAN"), "Élan");
  EXPECT_EQ(Utf8TitleCase(""), "");
}

TEST(StripTrailingBackslashes, RemovesEveryTrailingBackslashOnly) {
  EXPECT_EQ(StripTrailingBackslashes("C:\\Games\\WoW\\\\"), "C:\\Games\\WoW");
  EXPECT_EQ(StripTrailingBackslashes("C:\\Games\\WoW"), "C:\\Games\\WoW");
  EXPECT_EQ(StripTrailingBackslashes("\\"), "");
}

}  // namespace
}  // namespace drovane
