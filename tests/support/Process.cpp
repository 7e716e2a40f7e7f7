#include "support/Process.h"

#include <windows.h>

#include <vector>

#include "base/FileSystem.h"

namespace drovane::test {

std::string ProgramFolder() {
  std::string path;
  GetModulePath(path);
  return path.substr(0, path.find_last_of('\\'));
}

std::string Quoted(const std::string& text) {
  return "\"" + text + "\"";
}

ChildProcess::ChildProcess(const std::string& commandLine) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info = {};
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  const std::string folder = ProgramFolder();
  if (CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(),
                     &startup, &info)) {
    CloseHandle(info.hThread);
    process_ = info.hProcess;
    id_ = info.dwProcessId;
  }
}

ChildProcess::~ChildProcess() {
  if (!process_) return;
  if (WaitForSingleObject(process_, 0) == WAIT_TIMEOUT) {
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 5000);
  }
  CloseHandle(process_);
}

bool ChildProcess::WaitForExit(unsigned timeoutMs) {
  if (!process_ || WaitForSingleObject(process_, timeoutMs) != WAIT_OBJECT_0) return false;
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  exitCode_ = static_cast<int>(code);
  return true;
}

}  // namespace drovane::test
