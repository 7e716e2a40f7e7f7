#include "support/HostMounts.h"

#include <windows.h>

#include "base/DataFile.h"
#include "base/WinHandles.h"
#include "support/DevService.h"

#ifndef DROVANE_SOURCE_DIR
#error "DROVANE_SOURCE_DIR names the source tree (set by the build)"
#endif

namespace drovane::test {
namespace {

bool UnderWine() {
  HMODULE kernel = GetModuleHandleA("kernel32.dll");
  return kernel && GetProcAddress(kernel, "wine_get_unix_file_name") != nullptr;
}

// The prefix's folder of drive links, as a host path.
std::string DosDevicesFolder() {
  std::string drive = HostPath("C:\\");
  const size_t links = drive.find("/dosdevices/");
  if (links != std::string::npos) return drive.substr(0, links + 11);
  const size_t folder = drive.find("/drive_c");
  if (folder != std::string::npos) return drive.substr(0, folder) + "/dosdevices";
  return std::string();
}

}  // namespace

HostAnswer RunFaultMounts(const std::vector<std::string>& arguments) {
  HostAnswer answer;
  if (!UnderWine()) {
    answer.kind = HostAnswer::Refused;
    answer.message = "host file systems are only reachable when the tests run under Wine";
    return answer;
  }
  TempFolder folder;
  const std::string resultFile = folder / "result";
  const std::string script = std::string(DROVANE_SOURCE_DIR) + "/tests/support/fault_mounts.sh";
  std::string command =
      "Z:\\bin\\sh " + HostArgument(script) + " " + HostArgument(HostPath(resultFile));
  for (const std::string& argument : arguments) command += " " + HostArgument(argument);

  if (!StartHostProgram(command)) {
    answer.message =
        "cannot start /bin/sh on the host (error " + std::to_string(GetLastError()) + ")";
    return answer;
  }
  // The result file says it is done.
  std::string text;
  for (int i = 0; i < 1500 && !ReadWholeFile(resultFile, text); ++i) Sleep(20);
  if (text == "ok") {
    answer.kind = HostAnswer::Ok;
  } else if (text.compare(0, 9, "refused: ") == 0) {
    answer.kind = HostAnswer::Refused;
    answer.message = text.substr(9);
  } else {
    answer.message = text.empty() ? "no answer from " + script : text;
  }
  return answer;
}

ScratchDisk::ScratchDisk(unsigned sizeKb) {
  answer_ = RunFaultMounts({"mount", HostPath(path()), std::to_string(sizeKb)});
}

ScratchDisk::~ScratchDisk() {
  if (mounted()) RunFaultMounts({"unmount", HostPath(path())});
}

HostAnswer ScratchDisk::SetReadOnly(bool readOnly) {
  return RunFaultMounts({"remount", HostPath(path()), readOnly ? "ro" : "rw"});
}

MappedDrive::MappedDrive(const std::string& windowsFolder) {
  if (!UnderWine()) {
    answer_.kind = HostAnswer::Refused;
    answer_.message = "drive letters are mapped only under Wine";
    return;
  }
  dosDevices_ = DosDevicesFolder();
  const DWORD used = GetLogicalDrives();
  for (char letter = 'q'; letter <= 'y' && !letter_; ++letter) {
    if (!(used & (1u << (letter - 'a')))) letter_ = letter;
  }
  if (dosDevices_.empty() || !letter_) {
    answer_.message = "no free drive letter or no dosdevices folder";
    return;
  }
  answer_ =
      RunFaultMounts({"map-drive", dosDevices_, std::string(1, letter_), HostPath(windowsFolder)});
  if (!mapped()) return;
  linked_ = true;
  // Wine looks the link up again after a moment.
  const std::string rootFolder = root() + "\\";
  for (int i = 0; i < 250; ++i) {
    if (GetFileAttributesA(rootFolder.c_str()) != INVALID_FILE_ATTRIBUTES) return;
    Sleep(20);
  }
  answer_.kind = HostAnswer::Failed;
  answer_.message = "drive " + root() + " did not appear";
}

MappedDrive::~MappedDrive() {
  if (linked_) {
    RunFaultMounts({"unmap-drive", dosDevices_, std::string(1, letter_)});
  }
}

long long FillDisk(const std::string& folder) {
  KernelHandle file(CreateFileA((folder + "\\filler").c_str(), GENERIC_WRITE, 0, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.valid()) return -1;
  static const std::string block(65536, 'F');
  long long total = 0;
  // Large blocks first, then single bytes for the rest of the last allocated page.
  for (const DWORD size : {65536u, 4096u, 1u}) {
    DWORD written = 0;
    while (WriteFile(file.get(), block.data(), size, &written, nullptr) && written > 0) {
      total += written;
    }
  }
  return total;
}

}  // namespace drovane::test
