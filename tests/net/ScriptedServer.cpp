#include "ScriptedServer.h"

#include <winsock2.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <memory>

#include <boost/asio/read.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/streambuf.hpp>
#include <boost/asio/write.hpp>

namespace drovane::test {
namespace {

using boost::asio::ip::tcp;

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

// The Content-Length of a request head, 0 without one.
std::size_t ContentLengthOf(const std::string& head) {
  const std::string lower = Lower(head);
  const std::string::size_type at = lower.find("\r\ncontent-length:");
  if (at == std::string::npos) return 0;
  return static_cast<std::size_t>(std::strtoull(head.c_str() + at + 17, nullptr, 10));
}

}  // namespace

ScriptedServer::ScriptedServer(std::vector<ServerReply> replies)
    : replies_(std::move(replies)), acceptor_(io_) {
  const tcp::endpoint loopback(boost::asio::ip::address_v4::loopback(), 0);
  acceptor_.open(loopback.protocol());
  acceptor_.bind(loopback);
  acceptor_.listen();
  port_ = acceptor_.local_endpoint().port();
  acceptThread_ = std::thread(&ScriptedServer::AcceptLoop, this);
}

ScriptedServer::ScriptedServer(const std::string& wholeReply)
    : ScriptedServer(std::vector<ServerReply>{ServerReply{{wholeReply}}}) {}

ScriptedServer::~ScriptedServer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  changed_.notify_all();
  // A connection of our own ends the blocking accept.
  boost::system::error_code ignored;
  tcp::socket wake(io_);
  wake.connect(tcp::endpoint(boost::asio::ip::address_v4::loopback(), port_), ignored);
  acceptThread_.join();
  wake.close(ignored);
  for (std::thread& thread : connectionThreads_) thread.join();
}

std::string ScriptedServer::Url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

void ScriptedServer::AcceptLoop() {
  for (std::size_t index = 0;; ++index) {
    auto connection = std::make_shared<tcp::socket>(io_);
    boost::system::error_code error;
    acceptor_.accept(*connection, error);
    std::lock_guard<std::mutex> lock(mutex_);
    if (stopping_ || error) return;
    // A read never blocks longer than the test's wait limit.
    const DWORD timeout = static_cast<DWORD>(
        std::chrono::duration_cast<std::chrono::milliseconds>(kWaitLimit).count());
    ::setsockopt(connection->native_handle(), SOL_SOCKET, SO_RCVTIMEO,
                 reinterpret_cast<const char*>(&timeout), sizeof timeout);
    const ServerReply& reply = replies_[std::min(index, replies_.size() - 1)];
    connectionThreads_.emplace_back([this, connection, &reply] { Serve(*connection, reply); });
  }
}

std::string ScriptedServer::ReadRequest(tcp::socket& connection) {
  boost::asio::streambuf buffer;
  boost::system::error_code error;
  const std::size_t headSize = boost::asio::read_until(connection, buffer, "\r\n\r\n", error);
  const auto data = buffer.data();
  std::string request(static_cast<const char*>(data.data()), data.size());
  if (!error) {
    const std::size_t total = headSize + ContentLengthOf(request.substr(0, headSize));
    if (request.size() < total) {
      std::string rest(total - request.size(), '\0');
      const std::size_t got = boost::asio::read(connection, boost::asio::buffer(rest), error);
      request.append(rest, 0, got);
    }
  }
  return request;
}

void ScriptedServer::Serve(tcp::socket& connection, const ServerReply& reply) {
  if (reply.readRequest) {
    std::string request = ReadRequest(connection);
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(std::move(request));
    changed_.notify_all();
  }
  boost::system::error_code error;
  for (std::size_t i = 0; i < reply.parts.size() && !error; ++i) {
    if (i > 0 && reply.holdParts && !WaitForRelease()) break;
    boost::asio::write(connection, boost::asio::buffer(reply.parts[i]), error);
  }
  switch (reply.ending) {
    case ServerEnding::Close:
      connection.shutdown(tcp::socket::shutdown_send, error);
      break;
    case ServerEnding::Reset:
      connection.set_option(boost::asio::socket_base::linger(true, 0), error);
      break;
    case ServerEnding::Stall: {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return stopping_; });
      break;
    }
  }
  if (reply.ending == ServerEnding::Close) {
    // Wait for the client's side to close, so unread bytes never turn the close into a reset.
    char byte;
    while (connection.read_some(boost::asio::buffer(&byte, 1), error) > 0 && !error) {
    }
  }
  connection.close(error);
}

bool ScriptedServer::WaitForRelease() {
  std::unique_lock<std::mutex> lock(mutex_);
  if (!changed_.wait_for(lock, kWaitLimit, [this] { return releases_ > 0 || stopping_; })) {
    return false;
  }
  if (stopping_) return false;
  --releases_;
  return true;
}

void ScriptedServer::Release() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++releases_;
  }
  changed_.notify_all();
}

bool ScriptedServer::WaitForRequests(std::size_t count) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, kWaitLimit, [&] { return requests_.size() >= count; });
}

std::vector<std::string> ScriptedServer::Requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

unsigned short UnusedPort() {
  boost::asio::io_context io;
  tcp::acceptor acceptor(io, tcp::endpoint(boost::asio::ip::address_v4::loopback(), 0));
  return acceptor.local_endpoint().port();
}

}  // namespace drovane::test
