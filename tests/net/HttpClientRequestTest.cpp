// What an HttpClient puts on the wire, seen by a loopback server.
#include <gtest/gtest.h>

#include <cstdio>

#include "LogCapture.h"
#include "ScriptedServer.h"
#include "StatusRecorder.h"
#include "base/Version.h"
#include "net/HttpClient.h"
#include "net/HttpRequest.h"

namespace drovane {
namespace {

using test::ScriptedServer;
using test::StatusRecorder;

const char kOk[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";

std::string HostOf(const ScriptedServer& server) {
  return "127.0.0.1:" + std::to_string(server.port());
}

TEST(HttpClientRequest, GetOfTheUpdateListExactBytes) {
  ScriptedServer server(kOk);
  StatusRecorder recorder;
  HttpClient client;
  recorder.Attach(client);
  client.Request_SetHeader("User-Agent", kUserAgent);
  ASSERT_TRUE(client.Request_SendGET(server.Url("/files/updates.dat")));
  ASSERT_TRUE(recorder.WaitFor(HttpStatus::Done));
  ASSERT_TRUE(server.WaitForRequests(1));
  EXPECT_EQ(server.Requests()[0], "GET /files/updates.dat HTTP/1.1\r\nHost: " + HostOf(server) +
                                      "\r\nAccept: */*\r\nConnection: close\r\n"
                                      "User-Agent: DrovaneClient/1.9.01\r\n\r\n");
  EXPECT_EQ(client.GetError(), "");
  EXPECT_EQ(client.GetStatusCode(), 200u);
  EXPECT_EQ(client.GetContent(), "ok");
}

TEST(HttpClientRequest, BareHostAsksForRoot) {
  ScriptedServer server(kOk);
  StatusRecorder recorder;
  HttpClient client;
  recorder.Attach(client);
  ASSERT_TRUE(client.Request_SendGET("http://" + HostOf(server)));
  ASSERT_TRUE(recorder.WaitFor(HttpStatus::Done));
  ASSERT_TRUE(server.WaitForRequests(1));
  EXPECT_EQ(server.Requests()[0].substr(0, 16), "GET / HTTP/1.1\r\n");
}

TEST(HttpClientRequest, SecondSendWithoutResetIsRefused) {
  ScriptedServer server(kOk);
  StatusRecorder recorder;
  HttpClient client;
  recorder.Attach(client);
  ASSERT_TRUE(client.Request_SendGET(server.Url("/a")));
  ASSERT_TRUE(recorder.WaitFor(HttpStatus::Done));

  EXPECT_FALSE(client.Request_SendGET(server.Url("/b")));
  EXPECT_EQ(client.GetError(), "A request is already running");
  EXPECT_FALSE(client.Request_SendPOST(server.Url("/c"), "x=1"));
  EXPECT_EQ(client.GetStatus(), HttpStatus::Done);
  EXPECT_EQ(client.GetContent(), "ok");
  EXPECT_EQ(recorder.Statuses().size(), 4u);  // no notification for a refused send

  client.Reset();
  ASSERT_TRUE(client.Request_SendGET(server.Url("/d")));
  ASSERT_TRUE(recorder.WaitFor(HttpStatus::Done, 2));
  ASSERT_TRUE(server.WaitForRequests(2));
  EXPECT_EQ(server.Requests().size(), 2u);
  EXPECT_EQ(server.Requests()[1].substr(0, 7), "GET /d ");
}

TEST(HttpClientRequest, EmptyHeaderIsNotSentAndResetRestoresTheDefaults) {
  ScriptedServer server(kOk);
  StatusRecorder recorder;
  HttpClient client;
  recorder.Attach(client);
  client.Request_SetHeader("Accept", "");
  client.Request_SetHeader("X-Empty", "");
  client.Request_SetHeader("X-Set", "1");
  ASSERT_TRUE(client.Request_SendGET(server.Url("/")));
  ASSERT_TRUE(recorder.WaitFor(HttpStatus::Done));
  client.Reset();
  ASSERT_TRUE(client.Request_SendGET(server.Url("/")));
  ASSERT_TRUE(recorder.WaitFor(HttpStatus::Done, 2));
  ASSERT_TRUE(server.WaitForRequests(2));
  const std::string host = "Host: " + HostOf(server) + "\r\n";
  EXPECT_EQ(server.Requests()[0],
            "GET / HTTP/1.1\r\n" + host + "Connection: close\r\nX-Set: 1\r\n\r\n");
  EXPECT_EQ(server.Requests()[1],
            "GET / HTTP/1.1\r\n" + host + "Accept: */*\r\nConnection: close\r\n\r\n");
}

TEST(HttpClientRequest, PostWithoutFieldsSendsContentLengthZero) {
  ScriptedServer server(kOk);
  StatusRecorder recorder;
  HttpClient client;
  recorder.Attach(client);
  ASSERT_TRUE(client.Request_SendPOST(server.Url("/auth.php"), ""));
  ASSERT_TRUE(recorder.WaitFor(HttpStatus::Done));
  ASSERT_TRUE(server.WaitForRequests(1));
  EXPECT_EQ(server.Requests()[0], "POST /auth.php HTTP/1.1\r\nHost: " + HostOf(server) +
                                      "\r\nAccept: */*\r\nConnection: close\r\n"
                                      "Content-Type: application/x-www-form-urlencoded\r\n"
                                      "Content-Length: 0\r\n\r\n");
}

// The boundary of a multipart request head, from its Content-Type.
std::string BoundaryOf(const std::string& request) {
  const std::string key = "boundary=";
  const std::string::size_type at = request.find(key);
  if (at == std::string::npos) return std::string();
  return request.substr(at + key.size(), request.find("\r\n", at) - at - key.size());
}

std::string BodyOf(const std::string& request) {
  return request.substr(request.find("\r\n\r\n") + 4);
}

TEST(HttpClientRequest, MultipartWithOneFileAndOneField) {
  ScriptedServer server(kOk);
  StatusRecorder recorder;
  HttpClient client;
  recorder.Attach(client);
  const std::string content("\x1F\x8B\x08\x00\r\n--\xFF", 9);
  client.Request_AddMultipartFile("a.gz", content);
  ASSERT_TRUE(client.Request_SendPOST(server.Url("/upload.php"), "x=1"));
  ASSERT_TRUE(recorder.WaitFor(HttpStatus::Done));
  ASSERT_TRUE(server.WaitForRequests(1));
  const std::string request = server.Requests()[0];
  const std::string b = BoundaryOf(request);
  // 27 hyphens and the tick count, which may be negative.
  ASSERT_GT(b.size(), 27u);
  EXPECT_EQ(b.substr(0, 27), std::string(27, '-'));
  EXPECT_EQ(b.find_first_not_of("-0123456789", 27), std::string::npos);
  const std::string body =
      "--" + b +
      "\r\nContent-Disposition: form-data; name=\"file0\"; filename=\"a.gz\"\r\n"
      "Content-Type: application/binary\r\n\r\n" +
      content + "\r\n--" + b + "\r\nContent-Disposition: form-data; name=\"x\"\r\n\r\n1\r\n--" + b +
      "--";
  EXPECT_EQ(request, "POST /upload.php HTTP/1.1\r\nHost: " + HostOf(server) +
                         "\r\nAccept: */*\r\nConnection: close\r\n"
                         "Content-Type: multipart/form-data; boundary=" +
                         b + "\r\nContent-Length: " + std::to_string(body.size()) + "\r\n\r\n" +
                         body);
  EXPECT_EQ(client.GetRequestSize(), request.size());
}

TEST(HttpClientRequest, FileAddedTwiceSendsOnlyTheLaterContent) {
  ScriptedServer server(kOk);
  StatusRecorder recorder;
  HttpClient client;
  recorder.Attach(client);
  test::LogCapture log;
  client.Request_AddMultipartFile("a.gz", "first content");
  client.Request_AddMultipartFile("a.gz", "second");
  ASSERT_TRUE(client.Request_SendPOST(server.Url("/upload.php"), ""));
  ASSERT_TRUE(recorder.WaitFor(HttpStatus::Done));
  ASSERT_TRUE(server.WaitForRequests(1));
  const std::string request = server.Requests()[0];
  const std::string b = BoundaryOf(request);
  EXPECT_EQ(BodyOf(request), "--" + b +
                                 "\r\nContent-Disposition: form-data; name=\"file0\"; "
                                 "filename=\"a.gz\"\r\nContent-Type: application/binary\r\n\r\n"
                                 "second\r\n--" +
                                 b + "--");
  const auto lines = log.Lines();
  EXPECT_GE(test::FindLine(lines, "HttpClient::Request_AddMultipartFile - 'a.gz' (13 bytes)"), 0);
  EXPECT_GE(test::FindLine(lines, "HttpClient::Request_AddMultipartFile - 'a.gz' (6 bytes)"), 0);
}

TEST(HttpClientRequest, PasswordMaskedInTheLogButSentInFull) {
  ScriptedServer server(kOk);
  StatusRecorder recorder;
  HttpClient client;
  recorder.Attach(client);
  test::LogCapture log;
  ASSERT_TRUE(client.Request_SendGET(server.Url("/auth.php?user=a&password=secret&x=1")));
  ASSERT_TRUE(recorder.WaitFor(HttpStatus::Done));
  ASSERT_TRUE(server.WaitForRequests(1));
  EXPECT_EQ(server.Requests()[0].substr(0, 45), "GET /auth.php?user=a&password=secret&x=1 HTTP");
  EXPECT_GE(test::FindLine(log.Lines(), "Sending GET query. (/auth.php?user=a&password=" +
                                            std::string(28, '*') + "&x=1)"),
            0);
}

TEST(HttpClientRequest, LogLinesAndThreadsOfASuccessfulGet) {
  ScriptedServer server(kOk);
  StatusRecorder recorder;
  HttpClient client;
  recorder.Attach(client);
  test::LogCapture log;
  ASSERT_TRUE(client.Request_SendGET(server.Url("/x")));
  ASSERT_TRUE(recorder.WaitFor(HttpStatus::Done));
  const std::string requestSize = std::to_string(client.GetRequestSize());

  const auto lines = log.Lines();
  const std::vector<std::string> opening = {
      "HttpClient::Request_SendGET",
      "Status changed: Connecting",
      "Sending GET query. (/x)",
      "Thread started.",
      "HttpClient::_CallbackResolve",
      "HttpClient::_CallbackConnect - Server found.",
      "Status changed: Sending",
      "HttpClient::_CompletionCondition (... + 0 = 0 bytes)",
      "HttpClient::_CompletionCondition (... + " + requestSize + " = " + requestSize + " bytes)",
      "HttpClient::_CallbackWriteRequest",
      "Status changed: Receiving",
      "HttpClient::_CallbackReadStatusLine",
  };
  ASSERT_GE(lines.size(), opening.size() + 4);
  EXPECT_EQ(std::vector<std::string>(lines.begin(), lines.begin() + opening.size()), opening);
  EXPECT_EQ(lines[opening.size()].substr(0, 40), "HttpClient::_CallbackReadHeaders (... + ");
  const std::vector<std::string> closing = {"Thread finished.", "Query succeeded.",
                                            "Status changed: Done"};
  EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()), closing);
  EXPECT_EQ(lines[lines.size() - 4].substr(0, 40), "HttpClient::_CallbackReadContent (... + ");

  // Connecting on the caller's thread, Sending and Receiving on the worker, Done on another.
  const auto notices = recorder.Notices();
  ASSERT_EQ(notices.size(), 4u);
  EXPECT_EQ(notices[0].status, HttpStatus::Connecting);
  EXPECT_EQ(notices[0].thread, std::this_thread::get_id());
  EXPECT_EQ(notices[1].status, HttpStatus::Sending);
  EXPECT_EQ(notices[2].status, HttpStatus::Receiving);
  EXPECT_EQ(notices[1].thread, notices[2].thread);
  EXPECT_NE(notices[1].thread, std::this_thread::get_id());
  EXPECT_EQ(notices[3].status, HttpStatus::Done);
  EXPECT_NE(notices[3].thread, notices[1].thread);
  EXPECT_NE(notices[3].thread, std::this_thread::get_id());
}

TEST(HttpClientRequest, ResetLogsAndAnnouncesNone) {
  ScriptedServer server(kOk);
  StatusRecorder recorder;
  HttpClient client;
  recorder.Attach(client);
  ASSERT_TRUE(client.Request_SendGET(server.Url("/x")));
  ASSERT_TRUE(recorder.WaitFor(HttpStatus::Done));
  test::LogCapture log;
  client.Reset();
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"HttpClient::Reset", "HttpClient::Close",
                                                   "Status changed: None"}));
  EXPECT_EQ(recorder.Notices().back().status, HttpStatus::None);
  EXPECT_EQ(recorder.Notices().back().thread, std::this_thread::get_id());
  EXPECT_EQ(client.GetStatusCode(), 0u);
  EXPECT_EQ(client.GetContent(), "");
  EXPECT_EQ(client.GetRequestSize(), 0u);
  EXPECT_EQ(client.GetProgressBytes(), 0u);
  EXPECT_EQ(client.GetProgressTotal(), 0u);
  EXPECT_EQ(client.GetResponseHeader("Content-Length"), "");

  // A Reset of an idle client announces nothing.
  client.Reset();
  EXPECT_EQ(recorder.Count(HttpStatus::None), 1u);
}

TEST(HttpClientRequest, OneMegabytePostGoesOutInPiecesOfAtMost64K) {
  ScriptedServer server(kOk);
  StatusRecorder recorder;
  HttpClient client;
  recorder.Attach(client);
  std::string content(1 << 20, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7919 >> 3);
  client.Request_AddMultipartFile("big.gz", content);
  test::LogCapture log;
  ASSERT_TRUE(client.Request_SendPOST(server.Url("/upload.php"), "a=b"));
  ASSERT_TRUE(recorder.WaitFor(HttpStatus::Done));
  ASSERT_TRUE(server.WaitForRequests(1));
  EXPECT_EQ(server.Requests()[0].size(), client.GetRequestSize());
  EXPECT_NE(server.Requests()[0].find(content), std::string::npos);

  // One line before the first piece and one after each piece.
  const std::string prefix = "HttpClient::_CompletionCondition (... + ";
  std::vector<std::pair<unsigned long, unsigned long>> steps;
  for (const std::string& line : log.Lines()) {
    if (line.compare(0, prefix.size(), prefix) != 0) continue;
    unsigned long step = 0, total = 0;
    ASSERT_EQ(std::sscanf(line.c_str() + prefix.size(), "%lu = %lu bytes)", &step, &total), 2)
        << line;
    steps.emplace_back(step, total);
  }
  const unsigned long size = client.GetRequestSize();
  ASSERT_GE(steps.size(), (size + 65535) / 65536 + 1);
  EXPECT_EQ(steps.front(), std::make_pair(0ul, 0ul));
  unsigned long sum = 0;
  for (std::size_t i = 1; i < steps.size(); ++i) {
    EXPECT_GT(steps[i].first, 0ul);
    EXPECT_LE(steps[i].first, 65536ul);
    sum += steps[i].first;
    EXPECT_EQ(steps[i].second, sum);
  }
  EXPECT_EQ(sum, size);
}

}  // namespace
}  // namespace drovane
