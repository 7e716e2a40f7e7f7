#pragma once
// Starting the stand-in programs from tests, waiting for them with a time limit, and finding
// their windows. A process still running when its owner goes out of scope is ended, so a failed
// test leaves nothing behind.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace drovane::fixture::test {

// The folder of the test program, which is the build's bin folder.
std::string BinFolder();

class ChildProcess {
 public:
  ChildProcess() = default;
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // program and args in UTF-8; each argument is quoted. Standard output and error go to
  // outputFile when one is given.
  bool Start(const std::string& program, const std::vector<std::string>& args,
             const std::string& outputFile = std::string());
  // True when the process ended within timeoutMs; exitCode receives its code.
  bool Wait(DWORD timeoutMs, DWORD& exitCode);
  bool Running() const;
  DWORD Id() const { return id_; }

 private:
  HANDLE process_ = nullptr;
  DWORD id_ = 0;
};

// Runs a program to its end (at most timeoutMs); returns its exit code, or -1 when it did not
// start or had to be ended. output receives what it wrote.
int RunProgram(const std::string& program, const std::vector<std::string>& args, DWORD timeoutMs,
               std::string* output = nullptr);

// A visible top-level window of the class that belongs to the process, waiting up to timeoutMs.
HWND WaitForProcessWindow(DWORD processId, const char* className, DWORD timeoutMs);
// Any top-level window of the class, of any process.
HWND FindWindowOfClass(const char* className, DWORD* processId = nullptr);

// Every file under folder as relative path and content, in a stable order.
std::vector<std::pair<std::string, std::string>> ReadTree(const std::string& folder);

// The registry value HKLM\key\name as text, in the 64-bit or 32-bit view; false when absent.
bool ReadMachineValue(const std::string& key, const std::string& name, bool view32,
                      std::string& value);

// The version resource of an executable: its first translation's FileDescription, the
// "%d.%d.%d.%d" fixed file version, and every translation listed.
struct VersionInfo {
  std::string description;
  std::string version;
  std::vector<std::pair<WORD, WORD>> translations;
  std::string Describe(WORD language, WORD codePage) const;
  std::string data;  // the whole resource, for further queries
};
bool ReadVersionInfo(const std::string& path, VersionInfo& info);

}  // namespace drovane::fixture::test
