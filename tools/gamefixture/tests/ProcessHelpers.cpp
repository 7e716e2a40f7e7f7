#include "ProcessHelpers.h"

#include <algorithm>
#include <cstdio>

#include "base/WideText.h"
#include "base/DataFile.h"
#include "base/FileSystem.h"
#include "base/WinHandles.h"

namespace drovane::fixture::test {

std::string BinFolder() {
  char path[MAX_PATH] = {};
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length);
  return folder.substr(0, folder.find_last_of('\\'));
}

namespace {

// Quoting as CommandLineToArgvW undoes it: backslashes before a quote are doubled.
std::wstring Quote(const std::wstring& arg) {
  std::wstring quoted = L"\"";
  size_t backslashes = 0;
  for (wchar_t c : arg) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == L'"' ? backslashes * 2 + 1 : backslashes, L'\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(backslashes * 2, L'\\');
  return quoted + L"\"";
}

}  // namespace

ChildProcess::~ChildProcess() {
  if (process_) {
    if (Running()) {
      TerminateProcess(process_, 1);
      WaitForSingleObject(process_, 5000);
    }
    CloseHandle(process_);
  }
}

bool ChildProcess::Start(const std::string& program, const std::vector<std::string>& args,
                         const std::string& outputFile) {
  const std::wstring path = Wide(program);
  std::wstring commandLine = Quote(path);
  for (const std::string& arg : args) commandLine += L" " + Quote(Wide(arg));
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  KernelHandle output;
  if (!outputFile.empty()) {
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    output.reset(CreateFileA(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                             CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!output.valid()) return false;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output.get();
    startup.hStdError = output.get();
  }
  PROCESS_INFORMATION info = {};
  if (!CreateProcessW(path.c_str(), &commandLine[0], nullptr, nullptr, !outputFile.empty(), 0,
                      nullptr, nullptr, &startup, &info)) {
    return false;
  }
  CloseHandle(info.hThread);
  process_ = info.hProcess;
  id_ = info.dwProcessId;
  return true;
}

bool ChildProcess::Wait(DWORD timeoutMs, DWORD& exitCode) {
  if (!process_ || WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return false;
  return GetExitCodeProcess(process_, &exitCode) != 0;
}

bool ChildProcess::Running() const {
  return process_ && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

int RunProgram(const std::string& program, const std::vector<std::string>& args, DWORD timeoutMs,
               std::string* output) {
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  const std::string outputFile =
      std::string(temp) + "drovane-run-" + std::to_string(GetCurrentProcessId()) + ".txt";
  DWORD exitCode = 0;
  bool ended = false;
  {
    ChildProcess child;
    if (!child.Start(program, args, outputFile)) return -1;
    ended = child.Wait(timeoutMs, exitCode);
  }
  if (output) ReadWholeFile(outputFile, *output);
  DeleteFileA(outputFile.c_str());
  return ended ? static_cast<int>(exitCode) : -1;
}

namespace {

struct WindowSearch {
  DWORD processId;  // 0: any
  const char* className;
  HWND found;
  DWORD foundProcess;
};

BOOL CALLBACK MatchWindow(HWND window, LPARAM parameter) {
  auto* search = reinterpret_cast<WindowSearch*>(parameter);
  char className[64] = {};
  GetClassNameA(window, className, sizeof className);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (std::string(className) == search->className &&
      (search->processId == 0 || owner == search->processId)) {
    search->found = window;
    search->foundProcess = owner;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

HWND WaitForProcessWindow(DWORD processId, const char* className, DWORD timeoutMs) {
  const ULONGLONG deadline = GetTickCount64() + timeoutMs;
  do {
    WindowSearch search{processId, className, nullptr, 0};
    EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
    if (search.found && IsWindowVisible(search.found)) return search.found;
    Sleep(50);
  } while (GetTickCount64() < deadline);
  return nullptr;
}

HWND FindWindowOfClass(const char* className, DWORD* processId) {
  WindowSearch search{0, className, nullptr, 0};
  EnumWindows(MatchWindow, reinterpret_cast<LPARAM>(&search));
  if (processId) *processId = search.foundProcess;
  return search.found;
}

namespace {

void CollectTree(const std::string& root, const std::string& relative,
                 std::vector<std::pair<std::string, std::string>>& out) {
  const std::string folder = relative.empty() ? root : root + "\\" + relative;
  for (const FolderEntry& entry : ListFolder(folder)) {
    const std::string child = relative.empty() ? entry.name : relative + "\\" + entry.name;
    if (entry.isDirectory) {
      out.emplace_back(child + "\\", std::string());
      CollectTree(root, child, out);
    } else {
      std::string content;
      ReadWholeFile(root + "\\" + child, content);
      out.emplace_back(child, content);
    }
  }
}

}  // namespace

std::vector<std::pair<std::string, std::string>> ReadTree(const std::string& folder) {
  std::vector<std::pair<std::string, std::string>> tree;
  CollectTree(folder, std::string(), tree);
  std::sort(tree.begin(), tree.end());
  return tree;
}

bool ReadMachineValue(const std::string& key, const std::string& name, bool view32,
                      std::string& value) {
  RegistryKey handle;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0,
                    KEY_QUERY_VALUE | (view32 ? KEY_WOW64_32KEY : KEY_WOW64_64KEY),
                    handle.receive()) != ERROR_SUCCESS) {
    return false;
  }
  char buffer[1024] = {};
  DWORD size = sizeof buffer - 1;
  DWORD type = 0;
  if (RegQueryValueExA(handle.get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buffer),
                       &size) != ERROR_SUCCESS ||
      type != REG_SZ) {
    return false;
  }
  value.assign(buffer, size);
  while (!value.empty() && value.back() == '\0') value.pop_back();
  return true;
}

std::string VersionInfo::Describe(WORD language, WORD codePage) const {
  char query[64];
  std::snprintf(query, sizeof query, "\\StringFileInfo\\%04x%04x\\FileDescription", language,
                codePage);
  char* text = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(data.data(), query, reinterpret_cast<void**>(&text), &length) || !text) {
    return std::string();
  }
  return std::string(text);
}

bool ReadVersionInfo(const std::string& path, VersionInfo& info) {
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  if (size == 0) return false;
  info.data.assign(size, '\0');
  if (!GetFileVersionInfoA(path.c_str(), 0, size, &info.data[0])) return false;
  WORD* translations = nullptr;
  UINT length = 0;
  if (!VerQueryValueA(info.data.data(), "\\VarFileInfo\\Translation",
                      reinterpret_cast<void**>(&translations), &length) ||
      length < 4) {
    return false;
  }
  info.translations.clear();
  for (UINT i = 0; i + 1 < length / 2; i += 2) {
    info.translations.emplace_back(translations[i], translations[i + 1]);
  }
  info.description = info.Describe(info.translations[0].first, info.translations[0].second);
  VS_FIXEDFILEINFO* fixed = nullptr;
  if (!VerQueryValueA(info.data.data(), "\\", reinterpret_cast<void**>(&fixed), &length) ||
      fixed->dwSignature != 0xFEEF04BD) {
    return false;
  }
  char version[32];
  std::snprintf(version, sizeof version, "%d.%d.%d.%d", HIWORD(fixed->dwFileVersionMS),
                LOWORD(fixed->dwFileVersionMS), HIWORD(fixed->dwFileVersionLS),
                LOWORD(fixed->dwFileVersionLS));
  info.version = version;
  return true;
}

}  // namespace drovane::fixture::test
