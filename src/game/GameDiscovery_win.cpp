// Where the game is installed: its registry record, its executables' version resources, the
// open-file dialog and the cache locale folders.
#include "game/GameDiscovery.h"

#include <windows.h>
#include <commdlg.h>

#include <cstdio>
#include <vector>

#include "base/DataFile.h"
#include "base/FileSystem.h"
#include "base/Registry.h"
#include "base/TextHelpers.h"
#include "base/WideText.h"

namespace drovane {
namespace {

constexpr char kInstallPathValue[] = "InstallPath";
constexpr unsigned kFixedFileInfoSignature = 0xFEEF04BD;

}  // namespace

bool HasEditionExecutable(GameEdition edition, const std::string& folder) {
  const EditionInfo& info = InfoOf(edition);
  return FileExists(folder + info.executables[0]) || FileExists(folder + info.executables[1]);
}

std::string InstallPathFor(GameEdition edition) {
  const char* key = InfoOf(edition).gameRegistryKey;
  std::string folder;
  if (!RegistryReadString(HKEY_LOCAL_MACHINE, key, kInstallPathValue, MAX_PATH, folder,
                          KEY_WOW64_64KEY) &&
      !RegistryReadString(HKEY_LOCAL_MACHINE, key, kInstallPathValue, MAX_PATH, folder,
                          KEY_WOW64_32KEY)) {
    return std::string();
  }
  folder = StripTrailingBackslashes(folder);
  return HasEditionExecutable(edition, folder) ? folder : std::string();
}

bool ReadExecutableInfo(const std::string& path, std::string* description, std::string* version) {
  DWORD ignored = 0;
  const std::wstring widePath = Wide(path);
  const DWORD size = GetFileVersionInfoSizeW(widePath.c_str(), &ignored);
  if (size == 0) return false;
  std::vector<char> data(size);
  if (!GetFileVersionInfoW(widePath.c_str(), 0, size, data.data())) return false;

  struct Translation {
    WORD language;
    WORD codePage;
  };
  Translation* translation = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translation), &length) ||
      length < sizeof(Translation)) {
    return false;
  }
  if (description) {
    wchar_t query[256];
    swprintf(query, sizeof query / sizeof query[0], L"\\StringFileInfo\\%04x%04x\\FileDescription",
             translation->language, translation->codePage);
    wchar_t* text = nullptr;
    if (!VerQueryValueW(data.data(), query, reinterpret_cast<void**>(&text), &length) || !text) {
      return false;
    }
    // The length counts characters and may include the terminator; the text is bounded by both.
    *description = Utf8(text, wcsnlen(text, length));
  }
  if (version) {
    VS_FIXEDFILEINFO* fixed = nullptr;
    if (!VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
        length < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != kFixedFileInfoSignature) {
      return false;
    }
    char text[32];
    std::snprintf(text, sizeof text, "%d.%d.%d.%d", HIWORD(fixed->dwFileVersionMS),
                  LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
                  LOWORD(fixed->dwFileVersionLS));
    *version = text;
  }
  return true;
}

bool GetGameExecutableInfo(const std::string& folder, GameEdition edition, std::string* description,
                           std::string* version) {
  const EditionInfo& info = InfoOf(edition);
  return ReadExecutableInfo(folder + info.executables[0], description, version) ||
         ReadExecutableInfo(folder + info.executables[1], description, version);
}

bool IsValidGameFolder(GameEdition edition, const std::string& folder) {
  if (edition < 0 || edition >= kEditionCount) return false;
  std::string description, version;
  if (!GetGameExecutableInfo(folder, edition, &description, &version)) return false;
  description = Utf8ToLower(description);
  if (description != InfoOf(edition).ownDescription && description != kCommonGameDescription) {
    return false;
  }
  return !version.empty() && version[0] == '7';
}

int ChooseFile(const std::string& title, std::string& path, const std::string& filter,
               void* owner) {
  wchar_t buffer[MAX_PATH] = {};
  // The filter's own NULs are kept: Wide converts every byte of the string.
  const std::wstring wideFilter = Wide(filter);
  const std::wstring wideTitle = Wide(title);
  OPENFILENAMEW dialog = {};
  dialog.lStructSize = OPENFILENAME_SIZE_VERSION_400W;
  dialog.hwndOwner = static_cast<HWND>(owner);
  // The filter ends with two NULs: the one inside the string and the one after it.
  dialog.lpstrFilter = wideFilter.c_str();
  dialog.lpstrFile = buffer;
  dialog.nMaxFile = MAX_PATH;
  dialog.lpstrTitle = wideTitle.c_str();
  dialog.Flags =
      OFN_HIDEREADONLY | OFN_NOCHANGEDIR | OFN_FILEMUSTEXIST | OFN_EXPLORER | OFN_DONTADDTORECENT;
  if (!GetOpenFileNameW(&dialog)) return -1;
  path = Utf8(buffer);
  // The offset counts UTF-16 units; the caller's is a byte offset into the UTF-8 path.
  return static_cast<int>(Utf8(buffer, dialog.nFileOffset).size());
}

void ListCacheLocales(const std::string& folder, CacheFolderKind kind,
                      std::vector<std::string>& out) {
  out.clear();
  const std::string cache =
      folder + (kind == CacheFolderKind::WDB ? "\\Cache\\WDB" : "\\Cache\\ADB");
  for (const FolderEntry& entry : ListFolder(cache, "*.*")) {
    if (entry.isDirectory && entry.name.size() == 4) out.push_back(entry.name);
  }
}

}  // namespace drovane
