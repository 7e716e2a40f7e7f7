#pragma once
// Small file systems of the host for fault tests under Wine: a size-limited tmpfs mounted on a
// test folder (a disk that fills up, or turns read-only), and a Wine drive letter pointing at
// it. Mounting needs root or CAP_SYS_ADMIN on the host; without it every call says so and the
// test skips with that reason.
#include <string>
#include <vector>

#include "support/TempFolder.h"

namespace drovane::test {

struct HostAnswer {
  enum Kind { Ok, Refused, Failed };
  Kind kind = Failed;
  std::string message;  // why not, for Refused and Failed
};

// Runs tests/support/fault_mounts.sh with the arguments on the host and waits (bounded) for its
// answer. Refused outside Wine.
HostAnswer RunFaultMounts(const std::vector<std::string>& arguments);

// A tmpfs of the given size mounted on a new folder, unmounted again when the object goes.
class ScratchDisk {
 public:
  explicit ScratchDisk(unsigned sizeKb);
  ~ScratchDisk();
  ScratchDisk(const ScratchDisk&) = delete;
  ScratchDisk& operator=(const ScratchDisk&) = delete;

  bool mounted() const { return answer_.kind == HostAnswer::Ok; }
  const HostAnswer& answer() const { return answer_; }
  // The mounted folder as a Windows path (no trailing separator).
  std::string path() const { return folder_ / "disk"; }
  // Remounts read-only or writable again.
  HostAnswer SetReadOnly(bool readOnly);

 private:
  TempFolder folder_;
  HostAnswer answer_;
};

// A Wine drive letter (the first free one from Q:) that leads to a folder.
class MappedDrive {
 public:
  explicit MappedDrive(const std::string& windowsFolder);
  ~MappedDrive();
  MappedDrive(const MappedDrive&) = delete;
  MappedDrive& operator=(const MappedDrive&) = delete;

  bool mapped() const { return answer_.kind == HostAnswer::Ok; }
  const HostAnswer& answer() const { return answer_; }
  // "Q:"
  std::string root() const { return std::string(1, letter_) + ":"; }

 private:
  std::string dosDevices_;
  char letter_ = 0;
  bool linked_ = false;  // this object made the link and removes it
  HostAnswer answer_;
};

// Fills a drive: writes one file (folder + "\\filler") until the disk refuses more. Returns the
// number of bytes written, or -1 when the file could not be created.
long long FillDisk(const std::string& folder);

}  // namespace drovane::test
