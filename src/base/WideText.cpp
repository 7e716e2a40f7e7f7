// Part of the pure core although it calls Windows: the core's C library file opens need it on
// Windows (DataFile), and a pure library cannot call into the Windows edge one. Natively, where
// paths are bytes, there is nothing to convert.
#ifdef _WIN32
#include "base/WideText.h"

#include <windows.h>

#include <climits>
#include <cwchar>

namespace drovane {

std::wstring Wide(const std::string& utf8) {
  if (utf8.empty() || utf8.size() > static_cast<size_t>(INT_MAX)) return std::wstring();
  const int length = static_cast<int>(utf8.size());
  const int needed = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, nullptr, 0);
  if (needed <= 0) return std::wstring();
  std::wstring wide(static_cast<size_t>(needed), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), length, &wide[0], needed);
  return wide;
}

std::string Utf8(const wchar_t* text, size_t length) {
  if (!text || length == 0 || length > static_cast<size_t>(INT_MAX)) return std::string();
  const int count = static_cast<int>(length);
  const int needed = WideCharToMultiByte(CP_UTF8, 0, text, count, nullptr, 0, nullptr, nullptr);
  if (needed <= 0) return std::string();
  std::string utf8(static_cast<size_t>(needed), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, count, &utf8[0], needed, nullptr, nullptr);
  return utf8;
}

std::string Utf8(const wchar_t* text) {
  return text ? Utf8(text, std::wcslen(text)) : std::string();
}

}  // namespace drovane

#endif  // _WIN32
