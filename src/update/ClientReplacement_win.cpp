#include "update/ClientReplacement.h"

#include <vector>

#include "base/DataFile.h"
#include "base/WideText.h"
#include "base/WinHandles.h"
#include "update/InstalledFiles.h"

namespace drovane {
namespace {

constexpr char kNewSuffix[] = ".new";

// The executable's path, 32 lowercase hexadecimal characters and the suffix.
bool IsNameBeside(const std::string& candidate, const std::string& executable,
                  const std::string& suffix) {
  if (executable.empty() || candidate.size() != executable.size() + 32 + suffix.size() ||
      lstrcmpiA(candidate.substr(0, executable.size()).c_str(), executable.c_str()) != 0 ||
      candidate.compare(candidate.size() - suffix.size(), suffix.size(), suffix) != 0) {
    return false;
  }
  for (size_t i = executable.size(); i < executable.size() + 32; ++i) {
    const char c = candidate[i];
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

}  // namespace

BOOL WINAPI RenameReplacing(LPCSTR existing, LPCSTR target) {
  return MoveFileExW(Wide(existing).c_str(), Wide(target).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
}

bool StartProgram(const std::string& program, const std::string& parameters) {
  // CreateProcess, not ShellExecute: a ".new" file is no ".exe" to the shell.
  // CreateProcessW may write into the command line, so it gets a copy of its own.
  std::wstring line = Wide("\"" + program + "\" " + parameters);
  std::vector<wchar_t> buffer(line.begin(), line.end());
  buffer.push_back(L'\0');
  STARTUPINFOW startup = {};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process = {};
  if (!CreateProcessW(Wide(program).c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      nullptr, &startup, &process)) {
    return false;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return true;
}

bool CanReplaceExecutable(const std::string& executable) {
  // The probe is created and, through FILE_FLAG_DELETE_ON_CLOSE, gone with its handle.
  const std::string probe = FreeNameBeside(executable, ".probe");
  KernelHandle created(CreateFileW(Wide(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                   FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr));
  if (!created.valid() && GetLastError() == ERROR_ACCESS_DENIED) return false;
  // Renaming the running executable needs DELETE on it (or the right to delete in its folder).
  KernelHandle running(CreateFileW(Wide(executable).c_str(), DELETE,
                                   FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                   OPEN_EXISTING, 0, nullptr));
  return running.valid() || GetLastError() != ERROR_ACCESS_DENIED;
}

bool WriteNewClientBeside(const std::string& executable, const std::string& content,
                          std::string& newFile) {
  newFile = FreeNameBeside(executable, kNewSuffix);
  if (WriteWholeFile(newFile, content)) return true;
  DeleteFileW(Wide(newFile).c_str());
  return false;
}

bool ExecutableOfNewClient(const std::string& newFile, std::string& executable) {
  const size_t tail = 32 + std::string(kNewSuffix).size();
  if (newFile.size() <= tail) return false;
  executable = newFile.substr(0, newFile.size() - tail);
  return IsNameBeside(newFile, executable, kNewSuffix);
}

bool TakeExecutablePlace(const std::string& newFile, const std::string& executable,
                         MoveFunction move, int attempts, DWORD pauseMs) {
  // A read-only old client would refuse to be replaced.
  SetFileAttributesW(Wide(executable).c_str(), FILE_ATTRIBUTE_NORMAL);
  for (int attempt = 0; attempt < attempts; ++attempt) {
    if (attempt > 0) Sleep(pauseMs);
    if (move(newFile.c_str(), executable.c_str())) return true;
  }
  return false;
}

bool IsRenamedAsideClient(const std::string& candidate, const std::string& executable) {
  return IsNameBeside(candidate, executable, ".delete");
}

std::string InstallParameters(bool mainWindowVisible) {
  return std::string("selfupdate-install ") + (mainWindowVisible ? "normal" : "hidden");
}

std::string RestartParameters(const std::string& oldFile, bool mainWindowVisible) {
  return "selfupdate \"" + oldFile + "\" " + (mainWindowVisible ? "normal" : "hidden");
}

}  // namespace drovane
