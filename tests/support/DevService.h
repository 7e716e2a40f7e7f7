#pragma once
// The local stand-in of the web service (tools/devservice), started for one test. Under Wine it
// runs as a host program; every request it receives is recorded under data().
#include <string>
#include <vector>

#include "support/TempFolder.h"

namespace drovane::test {

class DevService {
 public:
  // Extra command-line options of devservice (--account, --auth-result, --files, ...). Paths in
  // them must be host paths: use HostPath().
  explicit DevService(const std::vector<std::string>& options = {});
  ~DevService();  // stops the service
  DevService(const DevService&) = delete;
  DevService& operator=(const DevService&) = delete;

  bool running() const { return port_ != 0; }
  int port() const { return port_; }
  // "http://127.0.0.1:PORT/"
  std::string url() const;
  // Folder of the records (requests\NNNNNN.raw, uploads\NNNNNN\...), as a Windows path.
  std::string data() const { return folder_ / "data"; }
  // The raw bytes of the n-th request (1-based), or empty when there is none (yet).
  std::string RawRequest(int number) const;
  // Waits until at least count requests are recorded.
  bool WaitForRequests(int count, unsigned timeoutMs) const;
  int RequestCount() const;

 private:
  TempFolder folder_;
  int port_ = 0;
};

// The host (Unix) path of a Windows path when running under Wine; the path itself elsewhere.
std::string HostPath(const std::string& windowsPath);
// Quotes an argument of a host command line when it holds a blank or a quote.
std::string HostArgument(const std::string& text);
// Starts a program of the host (under Wine, "Z:\usr\bin\..." and host paths as arguments).
// Wine gives no handle to wait on: the program must say by a file or a port that it is ready or
// done. False when it could not be started.
bool StartHostProgram(const std::string& commandLine);

}  // namespace drovane::test
