#include "app/Registry.h"

#include <vector>

#include "app/WinHandles.h"

namespace drovane {

const char kClientKey[] = "SOFTWARE\\Drovane\\Drovane Client";
const char kOptionsKey[] = "SOFTWARE\\Drovane\\Drovane Client\\Options";
const char kStatisticsKey[] = "SOFTWARE\\Drovane\\Drovane Client\\Statistics";
const char kRunKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunValueName[] = "Drovane_Client";

bool RegistryRead(HKEY root, const char* subKey, const char* valueName, void* buffer, DWORD size,
                  REGSAM extraAccess) {
  // Only the right to read values: a standard user may read keys under HKEY_LOCAL_MACHINE (the
  // game's install path) but not open them for anything more.
  RegistryKey key;
  if (RegOpenKeyExA(root, subKey, 0, KEY_QUERY_VALUE | extraAccess, key.receive()) !=
      ERROR_SUCCESS) {
    return false;
  }
  DWORD returned = buffer ? size : 0;
  const LONG result = RegQueryValueExA(key.get(), valueName, nullptr, nullptr,
                                       static_cast<BYTE*>(buffer), buffer ? &returned : nullptr);
  return result == ERROR_SUCCESS && (buffer == nullptr || returned <= MAX_PATH);
}

bool RegistryWrite(const char* subKey, const char* valueName, const void* data, DWORD type,
                   DWORD size) {
  RegistryKey key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, subKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_SET_VALUE, nullptr, key.receive(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return RegSetValueExA(key.get(), valueName, 0, type, static_cast<const BYTE*>(data), size) ==
         ERROR_SUCCESS;
}

bool RegistryReadString(HKEY root, const char* subKey, const char* valueName, DWORD bufferSize,
                        std::string& out, REGSAM extraAccess) {
  // One spare zero byte past the buffer, so a value that fills the buffer still ends in a NUL.
  std::vector<char> buffer(bufferSize + 1, '\0');
  if (!RegistryRead(root, subKey, valueName, buffer.data(), bufferSize, extraAccess)) return false;
  out = buffer.data();
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
  return RegistryWrite(subKey, valueName, text.data(), REG_SZ, static_cast<DWORD>(text.size()));
}

bool RegistryWriteDword(const char* subKey, const char* valueName, uint32_t value) {
  const DWORD data = value;
  return RegistryWrite(subKey, valueName, &data, REG_DWORD, sizeof data);
}

}  // namespace drovane
