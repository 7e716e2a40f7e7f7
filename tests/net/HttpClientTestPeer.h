#pragma once
// Test access to an HttpClient's insides that no owner needs.
#include <boost/asio/ip/tcp.hpp>

#include "net/HttpClient.h"

namespace drovane {

class HttpClientTestPeer {
 public:
  // Puts an address in front of the resolved ones, as if the host had one more; lets a test
  // give a host a first address that refuses.
  static void AddLeadingEndpoint(HttpClient& client, unsigned short port) {
    client.leadingEndpoints.emplace_back(boost::asio::ip::address_v4::loopback(), port);
  }
};

}  // namespace drovane
