#include "base/Registry.h"

#include <vector>

#include "base/WideText.h"
#include "base/WinHandles.h"

namespace drovane {

const char kClientKey[] = "SOFTWARE\\Drovane\\Drovane Client";
const char kOptionsKey[] = "SOFTWARE\\Drovane\\Drovane Client\\Options";
const char kStatisticsKey[] = "SOFTWARE\\Drovane\\Drovane Client\\Statistics";
const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunValueName[] = "Drovane_Client";

namespace {

// Only the right to read values: a standard user may read keys under HKEY_LOCAL_MACHINE (the
// game's install path) but not open them for anything more.
bool OpenForReading(HKEY root, const char* subKey, REGSAM extraAccess, RegistryKey& key) {
  return RegOpenKeyExW(root, Wide(subKey).c_str(), 0, KEY_QUERY_VALUE | extraAccess,
                       key.receive()) == ERROR_SUCCESS;
}

}  // namespace

bool RegistryRead(HKEY root, const char* subKey, const char* valueName, void* buffer, DWORD size,
                  REGSAM extraAccess) {
  RegistryKey key;
  if (!OpenForReading(root, subKey, extraAccess, key)) return false;
  DWORD returned = buffer ? size : 0;
  const LONG result = RegQueryValueExW(key.get(), Wide(valueName).c_str(), nullptr, nullptr,
                                       static_cast<BYTE*>(buffer), buffer ? &returned : nullptr);
  return result == ERROR_SUCCESS && (buffer == nullptr || returned <= MAX_PATH);
}

bool RegistryWrite(const char* subKey, const char* valueName, const void* data, DWORD type,
                   DWORD size) {
  RegistryKey key;
  if (RegCreateKeyExW(HKEY_CURRENT_USER, Wide(subKey).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_SET_VALUE, nullptr, key.receive(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return RegSetValueExW(key.get(), Wide(valueName).c_str(), 0, type, static_cast<const BYTE*>(data),
                        size) == ERROR_SUCCESS;
}

bool RegistryReadString(HKEY root, const char* subKey, const char* valueName, DWORD bufferSize,
                        std::string& out, REGSAM extraAccess) {
  // Text values are read as UTF-16 and kept as UTF-8, so a folder name outside the ANSI code page
  // survives. bufferSize counts characters with the terminator, and no text is longer than
  // MAX_PATH - 1 characters, as when values were read through the ANSI functions.
  RegistryKey key;
  if (!OpenForReading(root, subKey, extraAccess, key)) return false;
  std::vector<wchar_t> buffer(static_cast<size_t>(bufferSize) + 1, L'\0');
  DWORD returned = bufferSize * static_cast<DWORD>(sizeof(wchar_t));
  if (RegQueryValueExW(key.get(), Wide(valueName).c_str(), nullptr, nullptr,
                       reinterpret_cast<BYTE*>(buffer.data()), &returned) != ERROR_SUCCESS) {
    return false;
  }
  size_t count = returned / sizeof(wchar_t);
  if (count > 0 && buffer[count - 1] == L'\0') --count;
  if (count >= bufferSize || count >= MAX_PATH) return false;
  out = Utf8(buffer.data());
  return true;
}

bool RegistryReadDword(const char* subKey, const char* valueName, uint32_t& out) {
  DWORD value = 0;
  if (!RegistryRead(HKEY_CURRENT_USER, subKey, valueName, &value, sizeof value)) return false;
  out = value;
  return true;
}

bool RegistryValueExists(HKEY root, const char* subKey, const char* valueName) {
  return RegistryRead(root, subKey, valueName, nullptr, 0);
}

bool RegistryWriteString(const char* subKey, const char* valueName, const std::string& text) {
  const std::wstring wide = Wide(text);
  return RegistryWrite(subKey, valueName, wide.data(), REG_SZ,
                       static_cast<DWORD>(wide.size() * sizeof(wchar_t)));
}

bool RegistryWriteDword(const char* subKey, const char* valueName, uint32_t value) {
  const DWORD data = value;
  return RegistryWrite(subKey, valueName, &data, REG_DWORD, sizeof data);
}

}  // namespace drovane
