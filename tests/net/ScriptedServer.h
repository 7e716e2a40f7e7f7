#pragma once
// A loopback HTTP server for the client's tests: it records each raw request and answers with
// configured bytes, possibly in parts held back until the test releases them, then closes,
// resets or keeps the connection open without a word.
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <list>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>

namespace drovane::test {

// Every wait of the network tests ends after this long.
constexpr std::chrono::seconds kWaitLimit{15};

enum class ServerEnding {
  Close,  // orderly close after the last part
  Reset,  // abortive close (RST) after the last part
  Stall,  // keep the connection open until the server is destroyed
};

struct ServerReply {
  std::vector<std::string> parts;  // written one after another
  bool holdParts = false;          // before every part but the first, wait for Release()
  ServerEnding ending = ServerEnding::Close;
  bool readRequest = true;  // read the request (head and Content-Length body) before answering
};

class ScriptedServer {
 public:
  // Connection i is answered with replies[i], the last reply serving every later connection.
  explicit ScriptedServer(std::vector<ServerReply> replies);
  explicit ScriptedServer(const std::string& wholeReply);
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  unsigned short port() const { return port_; }
  // "http://127.0.0.1:<port>" + path
  std::string Url(const std::string& path) const;

  // False when fewer than count requests were read within the limit.
  bool WaitForRequests(std::size_t count);
  std::vector<std::string> Requests() const;
  // Lets one held-back part go out.
  void Release();

 private:
  void AcceptLoop();
  void Serve(boost::asio::ip::tcp::socket& connection, const ServerReply& reply);
  std::string ReadRequest(boost::asio::ip::tcp::socket& connection);
  bool WaitForRelease();

  std::vector<ServerReply> replies_;
  boost::asio::io_context io_;
  boost::asio::ip::tcp::acceptor acceptor_;
  unsigned short port_ = 0;
  std::thread acceptThread_;

  mutable std::mutex mutex_;
  std::condition_variable changed_;
  bool stopping_ = false;
  int releases_ = 0;
  std::vector<std::string> requests_;
  std::list<std::thread> connectionThreads_;
};

// A loopback port on which nothing listens (connections to it are refused).
unsigned short UnusedPort();

}  // namespace drovane::test
