#pragma once
// Starting programs from tests, with every wait bounded.
#include <string>

namespace drovane::test {

// Folder of the running test program (all programs of the build share it).
std::string ProgramFolder();
// Quotes a path for a command line.
std::string Quoted(const std::string& text);

class ChildProcess {
 public:
  // Starts the command line; the working folder is the program folder.
  explicit ChildProcess(const std::string& commandLine);
  ~ChildProcess();  // kills the process if it still runs
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return process_ != nullptr; }
  // True when the process ended within the time; its exit code is then in exitCode().
  bool WaitForExit(unsigned timeoutMs);
  int exitCode() const { return exitCode_; }
  unsigned long id() const { return id_; }

 private:
  void* process_ = nullptr;
  unsigned long id_ = 0;
  int exitCode_ = 0;
};

}  // namespace drovane::test
