// The test harness's own check: the service stand-in starts from a Windows test, records what it
// receives and stops again.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <gtest/gtest.h>

#include "support/DevService.h"

namespace drovane {
namespace {

std::string Exchange(int port, const std::string& request) {
  WSADATA data;
  WSAStartup(MAKEWORD(2, 2), &data);
  SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = {};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  DWORD timeout = 10000;
  setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&timeout), sizeof timeout);
  std::string answer;
  if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
    send(s, request.data(), static_cast<int>(request.size()), 0);
    char buffer[4096];
    for (int n; (n = recv(s, buffer, sizeof buffer, 0)) > 0;) answer.append(buffer, n);
  }
  closesocket(s);
  WSACleanup();
  return answer;
}

TEST(DevServiceSupport, StartsRecordsAndAnswersFromAWindowsTest) {
  test::DevService service({"--auth-result", "0", "--auth-more", "Welcome"});
  ASSERT_TRUE(service.running());
  const std::string request =
      "GET /auth.php?username=Tester&password=0123456789abcdef0123456789abcdef HTTP/1.1\r\nHost: "
      "127.0.0.1\r\nConnection: close\r\n\r\n";
  const std::string answer = Exchange(service.port(), request);
  EXPECT_EQ(answer.substr(0, 15), "HTTP/1.1 200 OK");
  EXPECT_NE(answer.find("Welcome"), std::string::npos) << answer;
  ASSERT_TRUE(service.WaitForRequests(1, 5000));
  EXPECT_EQ(service.RawRequest(1), request);
}

}  // namespace
}  // namespace drovane
