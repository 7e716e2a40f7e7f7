#include "support/CleanSettings.h"

#include <windows.h>
#include <shlwapi.h>

#include "base/FileSystem.h"
#include "base/Registry.h"
#include "base/WideText.h"
#include "base/WinHandles.h"
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

void RemoveGameRecords() {
  for (REGSAM view : {KEY_WOW64_64KEY, KEY_WOW64_32KEY}) {
    RegistryKey software;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_ALL_ACCESS | view,
                      software.receive()) == ERROR_SUCCESS) {
      RegDeleteTreeA(software.get(), "Blizzard Entertainment");
    }
  }
}

void WriteGameRecord(const std::string& key, const std::string& folder, unsigned long view) {
  RegistryKey opened;
  ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                            KEY_ALL_ACCESS | view, nullptr, opened.receive(), nullptr),
            ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(opened.get(), "InstallPath", 0, REG_SZ,
                           reinterpret_cast<const BYTE*>(folder.c_str()),
                           static_cast<DWORD>(folder.size() + 1)),
            ERROR_SUCCESS);
}

void CleanSettingsTest::SetUp() {
  RemoveClientSettings();
  RemoveClientDataFolder();
  RemoveGameRecords();
  if (storeLiveFolder_) {
    liveFolder_ = std::make_unique<TempFolder>();
    WriteTestFile(*liveFolder_ / "Wow.exe", "MZ");
    WriteRawValue(kOptionsKey, "WoW Folder", liveFolder_->path(), REG_SZ);
  }
}

void CleanSettingsTest::TearDown() {
  RemoveClientSettings();
  RemoveClientDataFolder();
  RemoveGameRecords();
  liveFolder_.reset();
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
    // Texts are UTF-8 in the client, as they are here.
    bytes = Utf8(wide);
  } else {
    bytes = raw;
  }
  return true;
}

void WriteRawValue(const std::string& subKey, const std::string& name, const std::string& bytes,
                   unsigned long type) {
  if (type == REG_SZ || type == REG_EXPAND_SZ) {
    // A text is given as UTF-8 and stored as the UTF-16 the registry keeps, without a terminator.
    const std::wstring wide = Wide(bytes);
    ASSERT_TRUE(RegistryWrite(subKey.c_str(), name.c_str(), wide.data(), type,
                              static_cast<DWORD>(wide.size() * sizeof(wchar_t))));
    return;
  }
  ASSERT_TRUE(RegistryWrite(subKey.c_str(), name.c_str(), bytes.data(), type,
                            static_cast<DWORD>(bytes.size())));
}

}  // namespace drovane::test
