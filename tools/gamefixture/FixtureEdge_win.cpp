#include <windows.h>
#include <shellapi.h>

#include <memory>

#include "app/WinHandles.h"
#include "gamefixture/FixtureEdge.h"

namespace drovane::fixture {
namespace {

constexpr char kInstallPathValue[] = "InstallPath";

std::string WideToCodePage(const wchar_t* text, int length, UINT codePage) {
  if (length == 0) return std::string();
  const int size = WideCharToMultiByte(codePage, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<size_t>(size > 0 ? size : 0), '\0');
  if (size > 0) WideCharToMultiByte(codePage, 0, text, length, &out[0], size, nullptr, nullptr);
  return out;
}

REGSAM ViewFlag(bool view32) {
  return view32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}

}  // namespace

std::vector<std::string> CommandLineUtf8() {
  std::vector<std::string> args;
  int count = 0;
  std::unique_ptr<LPWSTR, decltype(&LocalFree)> argv(CommandLineToArgvW(GetCommandLineW(), &count),
                                                     &LocalFree);
  if (!argv) return args;
  for (int i = 1; i < count; ++i) {
    args.push_back(WideToCodePage(argv.get()[i], static_cast<int>(wcslen(argv.get()[i])), CP_UTF8));
  }
  return args;
}

std::string Utf8ToAnsi(const std::string& text) {
  if (text.empty()) return text;
  const int size =
      MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  if (size <= 0) return text;
  std::wstring wide(static_cast<size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &wide[0], size);
  return WideToCodePage(wide.data(), size, CP_ACP);
}

std::string ModuleFolder() {
  char buffer[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, buffer, MAX_PATH);
  std::string path(buffer, length);
  const size_t cut = path.find_last_of('\\');
  return cut == std::string::npos ? std::string(".") : path.substr(0, cut);
}

std::string FullPath(const std::string& path) {
  char buffer[MAX_PATH * 2] = {};
  const DWORD length = GetFullPathNameA(path.c_str(), sizeof buffer, buffer, nullptr);
  std::string full = length > 0 && length < sizeof buffer ? std::string(buffer, length) : path;
  while (full.size() > 3 && full.back() == '\\') full.pop_back();
  return full;
}

bool ReadExecutableVersion(const std::string& path, uint16_t (&parts)[4]) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return false;
  std::unique_ptr<char[]> data(new char[size]);
  if (!GetFileVersionInfoA(path.c_str(), 0, size, data.get())) return false;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(data.get(), "\\", reinterpret_cast<void**>(&fixed), &length) ||
      length < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != 0xFEEF04BD) {
    return false;
  }
  parts[0] = HIWORD(fixed->dwFileVersionMS);
  parts[1] = LOWORD(fixed->dwFileVersionMS);
  parts[2] = HIWORD(fixed->dwFileVersionLS);
  parts[3] = LOWORD(fixed->dwFileVersionLS);
  return true;
}

bool CopyExecutable(const std::string& source, const std::string& target, std::string& error) {
  if (CopyFileA(source.c_str(), target.c_str(), FALSE)) return true;
  error = WithLastError("cannot copy " + source + " to " + target);
  return false;
}

bool WriteInstallPath(GameEdition edition, const std::string& value, bool view32,
                      std::string& error) {
  const char* keyName = InfoOf(edition).gameRegistryKey;
  RegistryKey key;
  LONG result = RegCreateKeyExA(HKEY_LOCAL_MACHINE, keyName, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                KEY_SET_VALUE | ViewFlag(view32), nullptr, key.receive(), nullptr);
  if (result == ERROR_SUCCESS) {
    // Stored with its terminating NUL, as installers write text values.
    result = RegSetValueExA(key.get(), kInstallPathValue, 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>(value.size() + 1));
  }
  if (result == ERROR_SUCCESS) return true;
  SetLastError(static_cast<DWORD>(result));
  error = WithLastError(std::string("cannot write HKLM\\") + keyName + " InstallPath");
  return false;
}

bool DeleteInstallPath(GameEdition edition, bool view32, std::string& error) {
  const char* keyName = InfoOf(edition).gameRegistryKey;
  RegistryKey key;
  LONG result = RegOpenKeyExA(HKEY_LOCAL_MACHINE, keyName, 0, KEY_SET_VALUE | ViewFlag(view32),
                              key.receive());
  if (result == ERROR_FILE_NOT_FOUND) return true;
  if (result == ERROR_SUCCESS) result = RegDeleteValueA(key.get(), kInstallPathValue);
  if (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND) return true;
  SetLastError(static_cast<DWORD>(result));
  error = WithLastError(std::string("cannot delete HKLM\\") + keyName + " InstallPath");
  return false;
}

std::string WithLastError(const std::string& text) {
  const DWORD code = GetLastError();
  char message[512] = {};
  DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                code, 0, message, sizeof message, nullptr);
  while (length > 0 && (message[length - 1] == '\r' || message[length - 1] == '\n' ||
                        message[length - 1] == ' ' || message[length - 1] == '.')) {
    message[--length] = '\0';
  }
  return text + " (error " + std::to_string(code) + (length ? ": " + std::string(message) : "") +
         ")";
}

}  // namespace drovane::fixture
