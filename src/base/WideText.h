#pragma once
// UTF-8 inside the program, UTF-16 at the Windows boundary: every path and every text handed to
// or taken from a Windows function goes through these two, so a name in any language survives
// whatever the system's ANSI code page is.
#include <string>

namespace drovane {

// Bytes that are not valid UTF-8 become U+FFFD; they never name an existing file.
std::wstring Wide(const std::string& utf8);
std::string Utf8(const wchar_t* text);
std::string Utf8(const wchar_t* text, size_t length);
inline std::string Utf8(const std::wstring& text) {
  return Utf8(text.data(), text.size());
}

}  // namespace drovane
