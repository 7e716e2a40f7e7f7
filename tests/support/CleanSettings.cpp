#include "support/CleanSettings.h"

#include <windows.h>
#include <shlwapi.h>

#include "app/FileSystem.h"
#include "app/Registry.h"
#include "app/WinHandles.h"
#include "support/TempFolder.h"

namespace drovane::test {

void RemoveClientSettings() {
  RegDeleteTreeA(HKEY_CURRENT_USER, "SOFTWARE\\Drovane");
  RegDeleteKeyA(HKEY_CURRENT_USER, "SOFTWARE\\Drovane");
  SHDeleteValueA(HKEY_CURRENT_USER, kRunKey, kRunValueName);
}

void RemoveClientDataFolder() {
  std::string folder = AppDataDir();
  if (folder.empty()) return;
  folder.pop_back();
  RemoveTree(folder);
}

void CleanSettingsTest::SetUp() {
  RemoveClientSettings();
  RemoveClientDataFolder();
}

void CleanSettingsTest::TearDown() {
  RemoveClientSettings();
  RemoveClientDataFolder();
}

bool ReadRawValue(const std::string& subKey, const std::string& name, std::string& bytes,
                  unsigned long& type) {
  // Read through the wide interface: the narrow one adds a terminator to texts stored without
  // one, which would hide exactly what the tests look at.
  RegistryKey key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, subKey.c_str(), 0, KEY_READ, key.receive()) !=
      ERROR_SUCCESS) {
    return false;
  }
  const std::wstring wideName(name.begin(), name.end());
  DWORD size = 0;
  DWORD valueType = 0;
  if (RegQueryValueExW(key.get(), wideName.c_str(), nullptr, &valueType, nullptr, &size) !=
      ERROR_SUCCESS) {
    return false;
  }
  std::string raw(size, '\0');
  if (RegQueryValueExW(key.get(), wideName.c_str(), nullptr, &valueType,
                       reinterpret_cast<BYTE*>(&raw[0]), &size) != ERROR_SUCCESS) {
    return false;
  }
  raw.resize(size);
  type = valueType;
  if (valueType == REG_SZ || valueType == REG_EXPAND_SZ) {
    const std::wstring wide(reinterpret_cast<const wchar_t*>(raw.data()), raw.size() / 2);
    bytes.assign(WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr,
                                     0, nullptr, nullptr),
                 '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), &bytes[0],
                        static_cast<int>(bytes.size()), nullptr, nullptr);
  } else {
    bytes = raw;
  }
  return true;
}

void WriteRawValue(const std::string& subKey, const std::string& name, const std::string& bytes,
                   unsigned long type) {
  ASSERT_TRUE(RegistryWrite(subKey.c_str(), name.c_str(), bytes.data(), type,
                            static_cast<DWORD>(bytes.size())));
}

}  // namespace drovane::test
