#pragma once
// The client's registry keys and the helpers that read and write its values.
#include <windows.h>

#include <cstdint>
#include <string>

namespace drovane {

// Keys under HKEY_CURRENT_USER.
extern const char kClientKey[];      // "SOFTWARE\\Drovane\\Drovane Client"
extern const char kOptionsKey[];     // kClientKey + "\\Options"
extern const char kStatisticsKey[];  // kClientKey + "\\Statistics"
extern const char kRunKey[];         // "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Run"
extern const char kRunValueName[];   // "Drovane_Client"

// Reads a value into buffer (type not checked). Succeeds when the value was read and its size is
// at most 260 bytes; with a null buffer it only tests that the value exists.
bool RegistryRead(HKEY root, const char* subKey, const char* valueName, void* buffer, DWORD size,
                  REGSAM extraAccess = 0);
// Creates or opens HKEY_CURRENT_USER\subKey and sets the value.
bool RegistryWrite(const char* subKey, const char* valueName, const void* data, DWORD type,
                   DWORD size);

// A text value read through a zero-filled buffer of bufferSize UTF-16 characters: a value that
// does not fit counts as absent. The text ends at the first NUL and comes back as UTF-8.
bool RegistryReadString(HKEY root, const char* subKey, const char* valueName, DWORD bufferSize,
                        std::string& out, REGSAM extraAccess = 0);
bool RegistryReadDword(const char* subKey, const char* valueName, uint32_t& out);
bool RegistryValueExists(HKEY root, const char* subKey, const char* valueName);

// REG_SZ written as the UTF-16 form of the UTF-8 text only, without a terminating NUL.
bool RegistryWriteString(const char* subKey, const char* valueName, const std::string& text);
bool RegistryWriteDword(const char* subKey, const char* valueName, uint32_t value);

}  // namespace drovane
