// Whether the game runs: the running processes of the game's executables, compared with the
// executables in the configured game folders. The process list is read directly, every two
// seconds; WMI, which wakes its provider host at every query and fails outright when its service
// is broken, is asked only when the direct way cannot read a game process's path.
#include "game/GameProcesses.h"

#include <windows.h>
#include <tlhelp32.h>
#include <wbemidl.h>

#include <string>
#include <vector>

#include "base/ComHandles.h"
#include "base/FileLog.h"
#include "base/TextHelpers.h"
#include "base/WideText.h"
#include "base/WinHandles.h"
#include "game/GameEdition.h"

namespace drovane {
namespace {

const char* const kGameExecutableNames[] = {"\\wow.exe",     "\\wow-64.exe", "\\wowt.exe",
                                            "\\wowt-64.exe", "\\wowb.exe",   "\\wowb-64.exe"};

const wchar_t kGameProcessQuery[] =
    L"SELECT ExecutablePath FROM Win32_Process WHERE Name = 'wow-64.exe' OR Name = 'wow.exe' OR "
    L"Name = 'wowt.exe' OR Name = 'wowt-64.exe' OR Name = 'wowb.exe' OR Name = 'wowb-64.exe'";

// An HRESULT as lower-case hexadecimal without leading zeros.
struct Hex {
  HRESULT code;
};
std::ostream& operator<<(std::ostream& out, Hex hex) {
  return out << std::hex << static_cast<unsigned long>(hex.code) << std::dec;
}

bool IsGameExecutableOfFolders(const std::string (&gameFolders)[kEditionCount],
                               const std::string& path) {
  const std::string lowerPath = Utf8ToLower(path);
  for (GameEdition edition : kEditions) {
    const std::string folder = Utf8ToLower(gameFolders[edition]);
    for (const char* name : kGameExecutableNames) {
      if (folder + name == lowerPath) return true;
    }
  }
  return false;
}

// Full paths of the running processes with one of the game's executable names, taken from the
// process list. PROCESS_QUERY_LIMITED_INFORMATION is granted to a standard user even for an
// elevated game. False when the list could not be read or a game process's path was refused:
// the answer is then incomplete.
bool GameProcessPathsFromSystem(std::vector<std::string>& paths) {
  KernelHandle snapshot(CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
  if (!snapshot.valid()) return false;
  bool complete = true;
  PROCESSENTRY32W entry = {};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot.get(), &entry); more;
       more = Process32NextW(snapshot.get(), &entry)) {
    const std::string name = "\\" + Utf8ToLower(Utf8(entry.szExeFile));
    bool isGame = false;
    for (const char* gameName : kGameExecutableNames) isGame = isGame || name == gameName;
    if (!isGame) continue;
    KernelHandle process(
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, entry.th32ProcessID));
    // A process that ended since the snapshot is no game that runs.
    if (!process.valid()) {
      complete = complete && GetLastError() != ERROR_ACCESS_DENIED;
      continue;
    }
    std::wstring path(32768, L'\0');
    DWORD size = static_cast<DWORD>(path.size());
    if (QueryFullProcessImageNameW(process.get(), 0, &path[0], &size)) {
      path.resize(size);
      paths.push_back(Utf8(path));
    } else {
      complete = false;
    }
  }
  return complete;
}

// The same question asked of WMI.
bool IsGameRunningByWmi(const std::string (&gameFolders)[kEditionCount]) {
  ComApartment com(COINIT_MULTITHREADED);
  if (FAILED(com.result())) {
    LogLine() << "Failed to initialize COM library. Error code = 0x" << Hex{com.result()};
    return false;
  }
  HRESULT result = CoInitializeSecurity(nullptr, -1, nullptr, nullptr, RPC_C_AUTHN_LEVEL_DEFAULT,
                                        RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE, nullptr);
  if (FAILED(result) && result != RPC_E_TOO_LATE) {
    LogLine() << "Failed to initialize security. Error code = 0x" << Hex{result};
    return false;
  }
  ComPtr<IWbemLocator> locator;
  result = CoCreateInstance(CLSID_WbemLocator, nullptr, CLSCTX_INPROC_SERVER, IID_IWbemLocator,
                            locator.receiveVoid());
  if (FAILED(result)) {
    LogLine() << "Failed to create IWbemLocator object. Error code = 0x" << Hex{result};
    return false;
  }
  ComPtr<IWbemServices> services;
  OwnedBstr rootNamespace(L"ROOT\\CIMV2");
  result = locator->ConnectServer(rootNamespace.get(), nullptr, nullptr, nullptr, 0, nullptr,
                                  nullptr, services.receive());
  if (FAILED(result)) {
    LogLine() << "Could not connect. Error code = 0x" << Hex{result};
    return false;
  }
  result =
      CoSetProxyBlanket(services.get(), RPC_C_AUTHN_WINNT, RPC_C_AUTHZ_NONE, nullptr,
                        RPC_C_AUTHN_LEVEL_CALL, RPC_C_IMP_LEVEL_IMPERSONATE, nullptr, EOAC_NONE);
  if (FAILED(result)) {
    LogLine() << "Could not set proxy blanket. Error code = 0x" << Hex{result};
    return false;
  }
  ComPtr<IEnumWbemClassObject> rows;
  OwnedBstr language(L"WQL");
  OwnedBstr query(kGameProcessQuery);
  result = services->ExecQuery(language.get(), query.get(),
                               WBEM_FLAG_FORWARD_ONLY | WBEM_FLAG_RETURN_IMMEDIATELY, nullptr,
                               rows.receive());
  if (FAILED(result)) {
    LogLine() << "Query for operating system name failed." << Hex{result};
    return false;
  }

  bool running = false;
  for (;;) {
    ComPtr<IWbemClassObject> row;
    ULONG returned = 0;
    if (FAILED(rows->Next(WBEM_INFINITE, 1, row.receive(), &returned)) || returned == 0) break;
    VARIANT value;
    VariantInit(&value);
    if (SUCCEEDED(row->Get(L"ExecutablePath", 0, &value, nullptr, nullptr)) &&
        value.vt == VT_BSTR && value.bstrVal && value.bstrVal[0]) {
      running = running || IsGameExecutableOfFolders(gameFolders, Utf8(value.bstrVal));
    }
    VariantClear(&value);
  }
  return running;
}

}  // namespace

bool IsGameRunning(const std::string (&gameFolders)[kEditionCount]) {
  std::vector<std::string> paths;
  const bool complete = GameProcessPathsFromSystem(paths);
  for (const std::string& path : paths) {
    if (IsGameExecutableOfFolders(gameFolders, path)) return true;
  }
  if (complete) return false;
  return IsGameRunningByWmi(gameFolders);
}

}  // namespace drovane
