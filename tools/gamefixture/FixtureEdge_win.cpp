#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <memory>

#include "base/WideText.h"
#include "base/WinHandles.h"
#include "gamefixture/FixtureEdge.h"

namespace drovane::fixture {
namespace {

constexpr wchar_t kInstallPathValue[] = L"InstallPath";

REGSAM ViewFlag(bool view32) {
  return view32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY;
}

bool IsFolder(const std::wstring& path) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

std::vector<std::string> CommandLineUtf8() {
  std::vector<std::string> args;
  int count = 0;
  std::unique_ptr<LPWSTR, decltype(&LocalFree)> argv(CommandLineToArgvW(GetCommandLineW(), &count),
                                                     &LocalFree);
  if (!argv) return args;
  for (int i = 1; i < count; ++i) {
    args.push_back(Utf8(argv.get()[i], wcslen(argv.get()[i])));
  }
  return args;
}

std::string ModuleFolder() {
  // Long enough for any path the system accepts (32767 characters).
  std::wstring buffer(32768, L'\0');
  const DWORD length =
      GetModuleFileNameW(nullptr, &buffer[0], static_cast<DWORD>(buffer.size()));
  const std::string path = Utf8(buffer.data(), length);
  const size_t cut = path.find_last_of('\\');
  return cut == std::string::npos ? std::string(".") : path.substr(0, cut);
}

std::string FullPath(const std::string& path) {
  const std::wstring wide = Wide(path);
  std::wstring buffer(32768, L'\0');
  const DWORD length =
      GetFullPathNameW(wide.c_str(), static_cast<DWORD>(buffer.size()), &buffer[0], nullptr);
  std::string full =
      length > 0 && length < buffer.size() ? Utf8(buffer.data(), length) : path;
  while (full.size() > 3 && full.back() == '\\') full.pop_back();
  return full;
}

bool CreateFolderTree(const std::string& path) {
  std::wstring wide = Wide(path);
  while (wide.size() > 1 && (wide.back() == L'\\' || wide.back() == L'/')) wide.pop_back();
  if (wide.empty()) return false;
  // Every folder from the top down; one that is there already (a drive root, a share, an earlier
  // run's folder) just refuses.
  for (size_t cut = wide.find_first_of(L"\\/", 1); cut != std::wstring::npos;
       cut = wide.find_first_of(L"\\/", cut + 1)) {
    CreateDirectoryW(wide.substr(0, cut).c_str(), nullptr);
  }
  if (CreateDirectoryW(wide.c_str(), nullptr)) return true;
  const DWORD error = GetLastError();
  if (IsFolder(wide)) return true;
  SetLastError(error);  // for the caller's message
  return false;
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  KernelHandle file(CreateFileW(Wide(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return false;
  size_t done = 0;
  while (done < bytes.size()) {
    // WriteFile takes at most 4 GB a call; 1 GB pieces keep a benchmark's large files whole.
    const DWORD piece = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 30));
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes.data() + done, piece, &written, nullptr) || written == 0) {
      return false;
    }
    done += written;
  }
  return true;
}

bool ReadExecutableVersion(const std::string& path, uint16_t (&parts)[4]) {
  const std::wstring wide = Wide(path);
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(wide.c_str(), &ignored);
  if (size == 0) return false;
  std::unique_ptr<char[]> data(new char[size]);
  if (!GetFileVersionInfoW(wide.c_str(), 0, size, data.get())) return false;
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.get(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
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
  if (CopyFileW(Wide(source).c_str(), Wide(target).c_str(), FALSE)) return true;
  error = WithLastError("cannot copy " + source + " to " + target);
  return false;
}

bool WriteInstallPath(GameEdition edition, const std::string& value, bool view32,
                      std::string& error) {
  const char* keyName = InfoOf(edition).gameRegistryKey;
  RegistryKey key;
  LONG result = RegCreateKeyExW(HKEY_LOCAL_MACHINE, Wide(keyName).c_str(), 0, nullptr,
                                REG_OPTION_NON_VOLATILE, KEY_SET_VALUE | ViewFlag(view32), nullptr,
                                key.receive(), nullptr);
  if (result == ERROR_SUCCESS) {
    // Stored with its terminating NUL, as installers write text values.
    const std::wstring text = Wide(value);
    result = RegSetValueExW(key.get(), kInstallPathValue, 0, REG_SZ,
                            reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>((text.size() + 1) * sizeof(wchar_t)));
  }
  if (result == ERROR_SUCCESS) return true;
  SetLastError(static_cast<DWORD>(result));
  error = WithLastError(std::string("cannot write HKLM\\") + keyName + " InstallPath");
  return false;
}

bool DeleteInstallPath(GameEdition edition, bool view32, std::string& error) {
  const char* keyName = InfoOf(edition).gameRegistryKey;
  RegistryKey key;
  LONG result = RegOpenKeyExW(HKEY_LOCAL_MACHINE, Wide(keyName).c_str(), 0,
                              KEY_SET_VALUE | ViewFlag(view32), key.receive());
  if (result == ERROR_FILE_NOT_FOUND) return true;
  if (result == ERROR_SUCCESS) result = RegDeleteValueW(key.get(), kInstallPathValue);
  if (result == ERROR_SUCCESS || result == ERROR_FILE_NOT_FOUND) return true;
  SetLastError(static_cast<DWORD>(result));
  error = WithLastError(std::string("cannot delete HKLM\\") + keyName + " InstallPath");
  return false;
}

std::string WithLastError(const std::string& text) {
  const DWORD code = GetLastError();
  wchar_t message[512] = {};
  DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                code, 0, message, ARRAYSIZE(message), nullptr);
  while (length > 0 && (message[length - 1] == L'\r' || message[length - 1] == L'\n' ||
                        message[length - 1] == L' ' || message[length - 1] == L'.')) {
    message[--length] = L'\0';
  }
  return text + " (error " + std::to_string(code) +
         (length ? ": " + Utf8(message, length) : "") + ")";
}

}  // namespace drovane::fixture
