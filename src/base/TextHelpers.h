#pragma once
// Small text helpers shared by every subsystem. Pure: no Windows headers.
#include <string>

namespace drovane {

// "*" matches any run of characters, "?" any one character except '.', everything else
// matches without regard to ASCII case.
bool WildcardMatch(const std::string& name, const std::string& pattern);

// "1.5 KB", "1023 bytes", "1 byte"; without the word, a plain integer below 1024.
std::string FormatSize(double bytes, bool withWord);
// "%0.0f%% of %s" of a percentage and a size in words ("42% of 1.5 KB"): the progress texts of
// the upload and update windows.
std::string ProgressText(double percent, double bytes);

// True when every character is an ASCII letter or digit (the empty text passes).
bool IsAlphanumeric(const std::string& text);

// Case mapping of UTF-8 text: ASCII through the C library, Cyrillic and accented Latin letters
// through the client's case tables. Bytes that do not start a valid sequence are dropped.
std::string Utf8ToLower(const std::string& text);
std::string Utf8ToUpper(const std::string& text);
// First character and every character after an ASCII space upper-cased, all others lower-cased.
std::string Utf8TitleCase(const std::string& text);

// Removes every trailing backslash (game folders are stored without one).
std::string StripTrailingBackslashes(std::string path);

}  // namespace drovane
