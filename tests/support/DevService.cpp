#include "support/DevService.h"

#include <windows.h>

#include <cstdio>

#include "base/DataFile.h"
#include "base/FileSystem.h"

#ifndef DROVANE_SOURCE_DIR
#error "DROVANE_SOURCE_DIR names the source tree (set by the build)"
#endif

namespace drovane::test {
namespace {

using WineUnixName = char*(CDECL*)(const WCHAR*);

// Wine's own export that maps a Windows path to the host's; absent on Windows.
WineUnixName WineUnixNameFunction() {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  return kernel ? reinterpret_cast<WineUnixName>(
                      reinterpret_cast<void*>(GetProcAddress(kernel, "wine_get_unix_file_name")))
                : nullptr;
}

}  // namespace

std::string HostArgument(const std::string& text) {
  return text.find_first_of(" \t\"") == std::string::npos ? text : "\"" + text + "\"";
}

bool StartHostProgram(const std::string& commandLine) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                      nullptr, &startup, &info)) {
    return false;
  }
  if (info.hThread) CloseHandle(info.hThread);
  if (info.hProcess) CloseHandle(info.hProcess);
  return true;
}

std::string HostPath(const std::string& windowsPath) {
  WineUnixName toUnix = WineUnixNameFunction();
  if (!toUnix) return windowsPath;
  std::wstring wide(windowsPath.begin(), windowsPath.end());
  char* unixPath = toUnix(wide.c_str());
  if (!unixPath) return windowsPath;
  std::string result = unixPath;
  HeapFree(GetProcessHeap(), 0, unixPath);
  return result;
}

DevService::DevService(const std::vector<std::string>& options) {
  const bool wine = WineUnixNameFunction() != nullptr;
  const std::string script = std::string(DROVANE_SOURCE_DIR) + "/tools/devservice/devservice.py";
  std::string command = wine ? "Z:\\usr\\bin\\python3 " : "python ";
  command += HostArgument(script) + " --port 0 --max-seconds 600";
  command += " --data " + HostArgument(HostPath(data()));
  command += " --port-file " + HostArgument(HostPath(folder_ / "port"));
  command += " --stop-file " + HostArgument(HostPath(folder_ / "stop"));
  for (const std::string& option : options) command += " " + HostArgument(option);
  if (!StartHostProgram(command)) return;
  // The port file says it listens.
  for (int i = 0; i < 200 && port_ == 0; ++i) {
    std::string text;
    if (ReadWholeFile(folder_ / "port", text) && !text.empty()) port_ = std::atoi(text.c_str());
    if (port_ == 0) Sleep(50);
  }
}

DevService::~DevService() {
  if (port_ == 0) return;
  DataFile stop;
  if (stop.Open(folder_ / "stop", FileMode::Write)) stop.Close();
  Sleep(300);  // the service looks for the file ten times a second
}

std::string DevService::url() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

std::string DevService::RawRequest(int number) const {
  char name[32];
  std::snprintf(name, sizeof name, "%06d.raw", number);
  std::string bytes;
  ReadWholeFile(data() + "\\requests\\" + name, bytes);
  return bytes;
}

int DevService::RequestCount() const {
  std::vector<std::string> found;
  return static_cast<int>(FindFiles(false, "*.raw", found, data() + "\\requests"));
}

bool DevService::WaitForRequests(int count, unsigned timeoutMs) const {
  for (unsigned waited = 0; waited < timeoutMs; waited += 50) {
    if (RequestCount() >= count) return true;
    Sleep(50);
  }
  return RequestCount() >= count;
}

}  // namespace drovane::test
