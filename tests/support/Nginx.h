#pragma once
// nginx (Debian's nginx-light) in front of the service stand-in, as a real service sits behind a
// reverse proxy: every request goes on to the stand-in, except those under /files/, which nginx
// serves itself from a folder. An answer of the stand-in without Content-Length reaches the
// client chunked, as it would from any proxy. Runs as a host program on a free loopback port with
// a configuration of its own, and is stopped by its pid.
#include <string>

#include "support/TempFolder.h"

namespace drovane::test {

class NginxProxy {
 public:
  // upstreamPort: the stand-in's port; filesFolder: a Windows path served as /files/ (empty:
  // /files/ goes to the stand-in too).
  NginxProxy(int upstreamPort, const std::string& filesFolder);
  ~NginxProxy();  // stops nginx and waits (bounded) until it has gone
  NginxProxy(const NginxProxy&) = delete;
  NginxProxy& operator=(const NginxProxy&) = delete;

  bool running() const { return port_ != 0; }
  // "http://127.0.0.1:PORT/"
  std::string url() const;
  // Why nginx is not running: the start that failed and its error log.
  const std::string& problem() const { return problem_; }

 private:
  TempFolder folder_;
  int port_ = 0;
  std::string pid_;
  std::string problem_;
};

}  // namespace drovane::test
