#include "support/Nginx.h"

#include <windows.h>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

#include "base/DataFile.h"
#include "base/FileSystem.h"
#include "support/DevService.h"

namespace drovane::test {
namespace {

constexpr char kNginx[] = "/usr/sbin/nginx";
constexpr int kStartWaitMs = 10000;
constexpr int kStopWaitMs = 5000;

using boost::asio::ip::tcp;

// A port nothing listens on now; nginx takes it a moment later.
int FreePort() {
  boost::asio::io_context io;
  tcp::acceptor acceptor(io, tcp::endpoint(boost::asio::ip::address_v4::loopback(), 0));
  return acceptor.local_endpoint().port();
}

bool Accepts(int port) {
  boost::asio::io_context io;
  tcp::socket socket(io);
  boost::system::error_code error;
  socket.connect(tcp::endpoint(boost::asio::ip::address_v4::loopback(),
                               static_cast<unsigned short>(port)),
                 error);
  return !error;
}

std::string Configuration(const std::string& prefix, int port, int upstreamPort,
                          const std::string& files) {
  const std::string upstream = "http://127.0.0.1:" + std::to_string(upstreamPort);
  std::string text =
      "daemon off;\n"
      "master_process off;\n"
      "worker_processes 1;\n"
      "pid " + prefix + "nginx.pid;\n"
      "error_log " + prefix + "error.log info;\n"
      "events { worker_connections 64; }\n"
      "http {\n"
      "  access_log " + prefix + "access.log;\n"
      "  client_body_temp_path " + prefix + "tmp/body;\n"
      "  proxy_temp_path " + prefix + "tmp/proxy;\n"
      "  fastcgi_temp_path " + prefix + "tmp/fastcgi;\n"
      "  uwsgi_temp_path " + prefix + "tmp/uwsgi;\n"
      "  scgi_temp_path " + prefix + "tmp/scgi;\n"
      "  default_type application/octet-stream;\n"
      "  client_max_body_size 512m;\n"
      "  server {\n"
      "    listen 127.0.0.1:" + std::to_string(port) + ";\n";
  if (!files.empty()) text += "    location /files/ { alias " + files + "/; }\n";
  text += "    location / { proxy_pass " + upstream + "; }\n"
          "  }\n"
          "}\n";
  return text;
}

}  // namespace

NginxProxy::NginxProxy(int upstreamPort, const std::string& filesFolder) {
  const std::string prefix = HostPath(folder_.path()) + "/";
  CreateDirectoryTree(folder_ / "tmp");
  const int port = FreePort();
  WriteTestFile(folder_ / "nginx.conf",
                Configuration(prefix, port, upstreamPort,
                              filesFolder.empty() ? std::string() : HostPath(filesFolder)));
  // The time limit ends nginx should the test program never stop it.
  const std::string command = "Z:\\usr\\bin\\timeout 600 " + std::string(kNginx) + " -p " +
                              HostArgument(prefix) + " -c " + HostArgument(prefix + "nginx.conf") +
                              " -e " + HostArgument(prefix + "error.log");
  if (!StartHostProgram(command)) {
    problem_ = "cannot start " + std::string(kNginx) + " (error " +
               std::to_string(GetLastError()) + ")";
    return;
  }
  for (int waited = 0; waited < kStartWaitMs; waited += 50) {
    if (pid_.empty()) ReadWholeFile(folder_ / "nginx.pid", pid_);
    if (!pid_.empty() && Accepts(port)) {
      while (!pid_.empty() && (pid_.back() == '\n' || pid_.back() == '\r')) pid_.pop_back();
      port_ = port;
      return;
    }
    Sleep(50);
  }
  std::string log;
  ReadWholeFile(folder_ / "error.log", log);
  problem_ = "nginx did not start listening on port " + std::to_string(port) + ": " + log;
}

NginxProxy::~NginxProxy() {
  if (pid_.empty()) return;
  StartHostProgram("Z:\\bin\\kill -TERM " + pid_);
  // nginx removes its pid file as it ends.
  for (int waited = 0; waited < kStopWaitMs && FileExists(folder_ / "nginx.pid"); waited += 50) {
    Sleep(50);
  }
}

std::string NginxProxy::url() const {
  return "http://127.0.0.1:" + std::to_string(port_) + "/";
}

}  // namespace drovane::test
