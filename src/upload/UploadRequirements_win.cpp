// The facts of the upload requirements that live in Windows: the game's window and the registry.
#include <windows.h>

#include "app/Registry.h"
#include "app/WinHandles.h"
#include "upload/UploadRequirements.h"

namespace drovane {

bool ReadLastUpload(int64_t& secondsSince1970) {
  unsigned char bytes[8] = {};
  RegistryKey key;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kStatisticsKey, 0, KEY_QUERY_VALUE, key.receive()) !=
      ERROR_SUCCESS) {
    return false;
  }
  DWORD type = 0;
  DWORD size = sizeof bytes;
  const LONG status = RegQueryValueExA(key.get(), "LastUpload", nullptr, &type, bytes, &size);
  // Anything but the 8 bytes the client writes is not a time it can trust.
  if (status != ERROR_SUCCESS || size != sizeof bytes) return false;
  uint64_t value = 0;
  for (int i = 7; i >= 0; --i) value = (value << 8) | bytes[i];
  secondsSince1970 = static_cast<int64_t>(value);
  return true;
}

bool GameWindowOpen() {
  return FindWindowA("GxWindowClass", nullptr) != nullptr;
}

}  // namespace drovane
