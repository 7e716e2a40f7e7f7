// How an HttpClient reads what a loopback server answers, and how an exchange ends when no
// answer can be had.
#include <gtest/gtest.h>

#include <chrono>

#include "Deadline.h"
#include "HttpClientTestPeer.h"
#include "LogCapture.h"
#include "ScriptedServer.h"
#include "StatusRecorder.h"
#include "net/HttpClient.h"

namespace drovane {
namespace {

using test::ScriptedServer;
using test::ServerEnding;
using test::ServerReply;
using test::StatusRecorder;

// Polls a condition until it holds or the wait limit has passed.
template <typename Condition>
bool Eventually(Condition condition) {
  const auto end = std::chrono::steady_clock::now() + test::kWaitLimit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

std::string AbortedText() {
  return boost::asio::error::make_error_code(boost::asio::error::operation_aborted).message();
}

const std::vector<HttpStatus> kWholeExchange = {HttpStatus::Connecting, HttpStatus::Sending,
                                                HttpStatus::Receiving, HttpStatus::Done};

TEST(HttpClientResponse, NotFoundWithBodyIsDoneWithoutError) {
  ScriptedServer server("HTTP/1.1 404 Not Found\r\nContent-Length: 9\r\n\r\nnot found");
  StatusRecorder recorder;
  HttpClient client;
  recorder.Attach(client);
  test::LogCapture log;
  ASSERT_TRUE(client.Request_SendGET(server.Url("/missing")));
  ASSERT_TRUE(recorder.WaitFor(HttpStatus::Done));
  EXPECT_EQ(recorder.Statuses(), kWholeExchange);
  EXPECT_EQ(client.GetError(), "");
  EXPECT_EQ(client.GetStatusCode(), 404u);
  EXPECT_EQ(client.GetContent(), "not found");
  EXPECT_EQ(client.GetResponseHeader("Content-Length"), "9");
  EXPECT_EQ(client.GetResponseHeader("content-length"), "");
  const auto lines = log.Lines();
  EXPECT_GE(test::FindLine(lines, "Query failed and returned code 404."), 0);
  EXPECT_EQ(lines.back(), "Status changed: Done");
}

TEST(HttpClientResponse, HeadAndBodyInOnePacket) {
  const std::string head =
      "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 12\r\n\r\n";
  ScriptedServer server(head + "hello\r\nworld");
  StatusRecorder recorder;
  HttpClient client;
  recorder.Attach(client);
  ASSERT_TRUE(client.Request_SendGET(server.Url("/")));
  ASSERT_TRUE(recorder.WaitFor(HttpStatus::Done));
  EXPECT_EQ(client.GetError(), "");
  EXPECT_EQ(client.GetContent(), "hello\r\nworld");
  EXPECT_EQ(client.GetContentSize(), 12u);
  EXPECT_EQ(client.GetResponse(), head + "hello\r\nworld");
  EXPECT_EQ(client.GetResponseSize(), head.size() + 12);
  EXPECT_EQ(client.GetProgressBytes(), head.size() + 12);
  EXPECT_EQ(client.GetProgressTotal(), head.size() + 12);
  EXPECT_EQ(client.GetResponseHeader("Content-Type"), "text/plain");
  EXPECT_EQ(client.GetResponseForLog(),
            "HTTP/1.1 200 OK\\r\\n\nContent-Type: text/plain\\r\\n\nContent-Length: "
            "12\\r\\n\n\\r\\n\nhello\\r\\n\nworld");
}

TEST(HttpClientResponse, WithoutContentLengthTotalStaysZeroAndBodyIsReadToTheEnd) {
  const std::string head = "HTTP/1.1 200 OK\r\nServer: test\r\n\r\n";
  ServerReply reply;
  reply.parts = {head + "first ", "second"};
  reply.holdParts = true;
  ScriptedServer server({reply});
  StatusRecorder recorder;
  HttpClient client;
  recorder.Attach(client);
  ASSERT_TRUE(client.Request_SendGET(server.Url("/")));
  ASSERT_TRUE(recorder.WaitFor(HttpStatus::Receiving));
  ASSERT_TRUE(Eventually([&] { return client.GetProgressBytes() == head.size() + 6; }));
  EXPECT_EQ(client.GetStatus(), HttpStatus::Receiving);
  EXPECT_EQ(client.GetProgressTotal(), 0u);
  server.Release();
  ASSERT_TRUE(recorder.WaitFor(HttpStatus::Done));
  EXPECT_EQ(client.GetError(), "");
  EXPECT_EQ(client.GetContent(), "first second");
  EXPECT_EQ(client.GetProgressTotal(), 0u);
}

TEST(HttpClientResponse, ProgressTotalIsContentLengthPlusHeadLength) {
  std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n";
  head += "X-Pad: " + std::string(100 - head.size() - 2 - 9, 'p') + "\r\n\r\n";
  ASSERT_EQ(head.size(), 100u);
  ServerReply reply;
  reply.parts = {head, "0123456789"};
  reply.holdParts = true;
  ScriptedServer server({reply});
  StatusRecorder recorder;
  HttpClient client;
  recorder.Attach(client);
  ASSERT_TRUE(client.Request_SendGET(server.Url("/")));
  ASSERT_TRUE(recorder.WaitFor(HttpStatus::Receiving));
  ASSERT_TRUE(Eventually([&] { return client.GetProgressTotal() == 110; }));
  EXPECT_EQ(client.GetProgressBytes(), 100u);
  EXPECT_EQ(client.GetContentSize(), 0u);  // nothing before Done
  server.Release();
  ASSERT_TRUE(recorder.WaitFor(HttpStatus::Done));
  EXPECT_EQ(client.GetProgressBytes(), 110u);
  EXPECT_EQ(client.GetProgressTotal(), 110u);
  EXPECT_EQ(client.GetContent(), "0123456789");
}

TEST(HttpClientResponse, HeadWithoutHeaderLines) {
  ScriptedServer server("HTTP/1.1 200 OK\r\n\r\nbody");
  StatusRecorder recorder;
  HttpClient client;
  recorder.Attach(client);
  ASSERT_TRUE(client.Request_SendGET(server.Url("/")));
  ASSERT_TRUE(recorder.WaitFor(HttpStatus::Done));
  EXPECT_EQ(client.GetError(), "");
  EXPECT_EQ(client.GetStatusCode(), 200u);
  EXPECT_EQ(client.GetContent(), "body");
  EXPECT_EQ(client.GetResponse(), "HTTP/1.1 200 OK\r\n\r\nbody");
}

TEST(HttpClientResponse, ProgressWhileSendingCountsRequestBytes) {
  ServerReply reply;
  reply.parts = {"HTTP/1.1 200 OK\r\n\r\n"};
  ScriptedServer server({reply});
  StatusRecorder recorder;
  HttpClient client;
  recorder.Attach(client);
  std::vector<std::pair<std::uint32_t, std::uint32_t>> sending;
  recorder.onNotice = [&sending](HttpClient& c, HttpStatus status) {
    if (status == HttpStatus::Sending)
      sending.emplace_back(c.GetProgressBytes(), c.GetProgressTotal());
  };
  client.Request_AddMultipartFile("f", std::string(200000, 'f'));
  ASSERT_TRUE(client.Request_SendPOST(server.Url("/"), ""));
  ASSERT_TRUE(recorder.WaitFor(HttpStatus::Done));
  ASSERT_EQ(sending.size(), 1u);
  EXPECT_EQ(sending[0].first, 0u);
  EXPECT_EQ(sending[0].second, client.GetRequestSize());
  EXPECT_GT(client.GetRequestSize(), 200000u);
}

TEST(HttpClientResponse, UnresolvableHostGoesFromConnectingToDone) {
  StatusRecorder recorder;
  HttpClient client;
  recorder.Attach(client);
  test::LogCapture log;
  ASSERT_TRUE(client.Request_SendGET("http://no-such-host.invalid/files/updates.dat"));
  ASSERT_TRUE(recorder.WaitFor(HttpStatus::Done));
  EXPECT_EQ(recorder.Statuses(),
            (std::vector<HttpStatus>{HttpStatus::Connecting, HttpStatus::Done}));
  const std::string error = client.GetError();
  EXPECT_NE(error, "");
  EXPECT_EQ(client.GetStatusCode(), 0u);
  const auto lines = log.Lines();
  EXPECT_GE(test::FindLine(lines, "HttpClient::_CallbackResolve"), 0);
  EXPECT_GE(test::FindLine(lines, "Query failed: " + error), 0);
  EXPECT_EQ(lines.back(), "Status changed: Done (" + error + ")");
}

TEST(HttpClientResponse, RefusedFirstEndpointThenAWorkingOne) {
  ScriptedServer server("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok");
  StatusRecorder recorder;
  HttpClient client;
  recorder.Attach(client);
  HttpClientTestPeer::AddLeadingEndpoint(client, test::UnusedPort());
  test::LogCapture log;
  ASSERT_TRUE(client.Request_SendGET(server.Url("/")));
  ASSERT_TRUE(recorder.WaitFor(HttpStatus::Done));
  EXPECT_EQ(recorder.Statuses(), kWholeExchange);
  EXPECT_EQ(client.GetError(), "");
  EXPECT_EQ(client.GetContent(), "ok");
  const auto lines = log.Lines();
  const int retry =
      test::FindLine(lines, "HttpClient::_CallbackConnect - Trying another endpoint.");
  ASSERT_GE(retry, 0);
  EXPECT_EQ(test::FindLine(lines, "HttpClient::_CallbackConnect - Server found."), retry + 1);
}

TEST(HttpClientResponse, EveryEndpointRefusedEndsWithTheLastError) {
  StatusRecorder recorder;
  HttpClient client;
  recorder.Attach(client);
  HttpClientTestPeer::AddLeadingEndpoint(client, test::UnusedPort());
  test::LogCapture log;
  ASSERT_TRUE(
      client.Request_SendGET("http://127.0.0.1:" + std::to_string(test::UnusedPort()) + "/"));
  ASSERT_TRUE(recorder.WaitFor(HttpStatus::Done));
  EXPECT_EQ(recorder.Statuses(),
            (std::vector<HttpStatus>{HttpStatus::Connecting, HttpStatus::Done}));
  const std::string error = client.GetError();
  EXPECT_EQ(error,
            boost::asio::error::make_error_code(boost::asio::error::connection_refused).message());
  const auto lines = log.Lines();
  const int retry =
      test::FindLine(lines, "HttpClient::_CallbackConnect - Trying another endpoint.");
  ASSERT_GE(retry, 0);
  EXPECT_EQ(test::FindLine(lines, "HttpClient::_CallbackConnect - An error occurred."), retry + 1);
  EXPECT_GE(test::FindLine(lines, "Query failed: " + error), 0);
}

TEST(HttpClientResponse, CloseDuringReceivingStillEndsInDone) {
  const std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n";
  ServerReply reply;
  reply.parts = {head + "part"};
  reply.ending = ServerEnding::Stall;
  ScriptedServer server({reply});
  StatusRecorder recorder;
  HttpClient client;
  recorder.Attach(client);
  ASSERT_TRUE(client.Request_SendGET(server.Url("/")));
  ASSERT_TRUE(recorder.WaitFor(HttpStatus::Receiving));
  ASSERT_TRUE(Eventually([&] { return client.GetProgressBytes() == head.size() + 4; }));
  EXPECT_EQ(client.GetProgressTotal(), head.size() + 100);
  test::RunWithinLimit([&] { client.Close(); }, "Close");
  // Done was announced before Close returned.
  EXPECT_EQ(recorder.Statuses(), kWholeExchange);
  EXPECT_EQ(client.GetStatus(), HttpStatus::Done);
  EXPECT_EQ(client.GetError(), AbortedText());
  EXPECT_EQ(client.GetStatusCode(), 200u);
  EXPECT_EQ(client.GetContent(), "part");
}

TEST(HttpClientResponse, ServerThatNeverAnswersKeepsReceivingUntilClose) {
  ServerReply reply;
  reply.ending = ServerEnding::Stall;
  ScriptedServer server({reply});
  StatusRecorder recorder;
  HttpClient client;
  recorder.Attach(client);
  ASSERT_TRUE(client.Request_SendGET(server.Url("/")));
  ASSERT_TRUE(recorder.WaitFor(HttpStatus::Receiving));
  ASSERT_TRUE(server.WaitForRequests(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(client.GetStatus(), HttpStatus::Receiving);
  EXPECT_EQ(recorder.Count(HttpStatus::Done), 0u);
  test::RunWithinLimit([&] { client.Close(); }, "Close");
  EXPECT_EQ(recorder.Statuses(), kWholeExchange);
  EXPECT_EQ(client.GetError(), AbortedText());
  EXPECT_EQ(client.GetStatusCode(), 0u);
  EXPECT_EQ(client.GetResponse(), "");
}

}  // namespace
}  // namespace drovane
