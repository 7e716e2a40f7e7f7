// Cancelling, chaining and destroying: a cancelled exchange's Done never follows the None of the
// Reset that cancelled it, every started exchange ends in exactly one Done, and no call hangs.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>

#include "Deadline.h"
#include "ScriptedServer.h"
#include "StatusRecorder.h"
#include "net/HttpClient.h"

namespace drovane {
namespace {

using test::ScriptedServer;
using test::ServerEnding;
using test::ServerReply;
using test::StatusRecorder;

const char kOk[] = "HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok";

ServerReply Stalling() {
  ServerReply reply;
  reply.ending = ServerEnding::Stall;
  return reply;
}

TEST(HttpClientLifecycle, ResetDuringReceivingAnnouncesDoneBeforeNone) {
  ScriptedServer server({Stalling(), ServerReply{{kOk}}});
  StatusRecorder recorder;
  HttpClient client;
  recorder.Attach(client);
  ASSERT_TRUE(client.Request_SendGET(server.Url("/stall")));
  ASSERT_TRUE(recorder.WaitFor(HttpStatus::Receiving));
  test::RunWithinLimit([&] { client.Reset(); }, "Reset");
  EXPECT_EQ(recorder.Statuses(),
            (std::vector<HttpStatus>{HttpStatus::Connecting, HttpStatus::Sending,
                                     HttpStatus::Receiving, HttpStatus::Done, HttpStatus::None}));
  EXPECT_EQ(client.GetStatus(), HttpStatus::None);
  EXPECT_EQ(client.GetError(), "");
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(recorder.Statuses().size(), 5u);

  // Idle and ready: the next request runs normally.
  ASSERT_TRUE(client.Request_SendGET(server.Url("/next")));
  ASSERT_TRUE(recorder.WaitFor(HttpStatus::Done, 2));
  EXPECT_EQ(client.GetError(), "");
  EXPECT_EQ(client.GetContent(), "ok");
  EXPECT_EQ(recorder.Statuses().size(), 9u);
}

TEST(HttpClientLifecycle, ResetAtAnyMomentOfAnExchange) {
  ScriptedServer server(kOk);
  StatusRecorder recorder;
  HttpClient client;
  recorder.Attach(client);
  for (int round = 0; round < 30; ++round) {
    ASSERT_TRUE(client.Request_SendGET(server.Url("/")));
    // Cancel after a growing pause, so the Reset meets each stage of the exchange.
    std::this_thread::sleep_for(std::chrono::microseconds(round * 150));
    test::RunWithinLimit([&] { client.Reset(); }, "Reset");
    const auto statuses = recorder.Statuses();
    ASSERT_GE(statuses.size(), 3u);
    EXPECT_EQ(statuses.back(), HttpStatus::None);
    EXPECT_EQ(statuses[statuses.size() - 2], HttpStatus::Done);
    EXPECT_EQ(recorder.Count(HttpStatus::Done), static_cast<std::size_t>(round + 1));
    EXPECT_EQ(recorder.Count(HttpStatus::Connecting), static_cast<std::size_t>(round + 1));
    EXPECT_EQ(client.GetStatus(), HttpStatus::None);
  }
}

TEST(HttpClientLifecycle, DoneCallbackStartsTheNextRequest) {
  ScriptedServer server(kOk);
  StatusRecorder recorder;
  HttpClient client;
  recorder.Attach(client);
  std::vector<std::string> contents;
  int remaining = 4;
  recorder.onNotice = [&](HttpClient& c, HttpStatus status) {
    if (status != HttpStatus::Done) return;
    contents.push_back(c.GetContent());
    if (--remaining > 0) {
      c.Reset();
      c.Request_SetHeader("User-Agent", "chain");
      EXPECT_TRUE(c.Request_SendGET(server.Url("/next")));
    }
  };
  ASSERT_TRUE(client.Request_SendGET(server.Url("/first")));
  ASSERT_TRUE(recorder.WaitFor(HttpStatus::Done, 4));
  ASSERT_TRUE(server.WaitForRequests(4));
  test::RunWithinLimit([&] { client.Reset(); }, "Reset");
  EXPECT_EQ(contents, (std::vector<std::string>{"ok", "ok", "ok", "ok"}));
  EXPECT_NE(server.Requests()[3].find("User-Agent: chain\r\n"), std::string::npos);

  // Each Done came on its own completion thread, None from inside the previous Done.
  std::vector<std::thread::id> doneThreads;
  for (const auto& notice : recorder.Notices()) {
    if (notice.status == HttpStatus::Done) doneThreads.push_back(notice.thread);
  }
  ASSERT_EQ(doneThreads.size(), 4u);
  for (std::size_t i = 1; i < doneThreads.size(); ++i)
    EXPECT_NE(doneThreads[i], doneThreads[i - 1]);
}

TEST(HttpClientLifecycle, ResetWhileDoneCallbacksKeepChaining) {
  ScriptedServer server(kOk);
  StatusRecorder recorder;
  HttpClient client;
  recorder.Attach(client);
  std::atomic<int> refused{0};
  recorder.onNotice = [&](HttpClient& c, HttpStatus status) {
    if (status != HttpStatus::Done) return;
    c.Reset();
    if (!c.Request_SendGET(server.Url("/again"))) ++refused;
  };
  ASSERT_TRUE(client.Request_SendGET(server.Url("/")));
  ASSERT_TRUE(recorder.WaitFor(HttpStatus::Done, 3));
  test::RunWithinLimit([&] { client.Reset(); }, "Reset");
  EXPECT_EQ(client.GetStatus(), HttpStatus::None);
  const std::size_t count = recorder.Statuses().size();
  EXPECT_EQ(recorder.Statuses().back(), HttpStatus::None);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(recorder.Statuses().size(), count);
  EXPECT_EQ(recorder.Count(HttpStatus::Connecting), recorder.Count(HttpStatus::Done));
  EXPECT_EQ(client.GetStatus(), HttpStatus::None);
}

TEST(HttpClientLifecycle, CloseFromTheReceivingCallbackOnlyStopsTheExchange) {
  // Owners must not do this; the client still neither waits for itself nor loses the Done.
  ScriptedServer server({Stalling()});
  StatusRecorder recorder;
  HttpClient client;
  recorder.Attach(client);
  recorder.onNotice = [](HttpClient& c, HttpStatus status) {
    if (status == HttpStatus::Receiving) c.Close();
  };
  ASSERT_TRUE(client.Request_SendGET(server.Url("/")));
  ASSERT_TRUE(recorder.WaitFor(HttpStatus::Done));
  EXPECT_EQ(recorder.Statuses(),
            (std::vector<HttpStatus>{HttpStatus::Connecting, HttpStatus::Sending,
                                     HttpStatus::Receiving, HttpStatus::Done}));
  EXPECT_EQ(client.GetError(),
            boost::asio::error::make_error_code(boost::asio::error::operation_aborted).message());
  test::RunWithinLimit([&] { client.Reset(); }, "Reset");
  EXPECT_EQ(client.GetStatus(), HttpStatus::None);
}

TEST(HttpClientLifecycle, DestructionDuringReceivingEndsEverything) {
  ScriptedServer server({Stalling()});
  StatusRecorder recorder;
  auto client = std::make_unique<HttpClient>();
  recorder.Attach(*client);
  ASSERT_TRUE(client->Request_SendGET(server.Url("/")));
  ASSERT_TRUE(recorder.WaitFor(HttpStatus::Receiving));
  test::RunWithinLimit([&] { client.reset(); }, "~HttpClient");
  EXPECT_EQ(recorder.Statuses().back(), HttpStatus::Done);
  EXPECT_EQ(recorder.Count(HttpStatus::Done), 1u);
}

TEST(HttpClientLifecycle, DestructionRightAfterStartingARequest) {
  ScriptedServer server(kOk);
  StatusRecorder recorder;
  for (int round = 0; round < 10; ++round) {
    auto client = std::make_unique<HttpClient>();
    recorder.Attach(*client);
    ASSERT_TRUE(client->Request_SendGET(server.Url("/")));
    test::RunWithinLimit([&] { client.reset(); }, "~HttpClient");
    EXPECT_EQ(recorder.Count(HttpStatus::Done), static_cast<std::size_t>(round + 1));
  }
}

TEST(HttpClientLifecycle, DestructionOfAnIdleClient) {
  StatusRecorder recorder;
  auto client = std::make_unique<HttpClient>();
  recorder.Attach(*client);
  test::RunWithinLimit([&] { client.reset(); }, "~HttpClient");
  EXPECT_TRUE(recorder.Statuses().empty());
}

TEST(HttpClientLifecycle, MultipartFileIgnoredWhileARequestRuns) {
  ScriptedServer server({Stalling(), ServerReply{{kOk}}});
  StatusRecorder recorder;
  HttpClient client;
  recorder.Attach(client);
  client.Request_AddMultipartFile("a", "original");
  ASSERT_TRUE(client.Request_SendPOST(server.Url("/"), ""));
  ASSERT_TRUE(recorder.WaitFor(HttpStatus::Receiving));
  ASSERT_TRUE(server.WaitForRequests(1));
  client.Request_AddMultipartFile("a", "replacement while running");
  test::RunWithinLimit([&] { client.Reset(); }, "Reset");
  // Reset forgot the files: the next POST is a form POST.
  ASSERT_TRUE(client.Request_SendPOST(server.Url("/"), "k=v"));
  ASSERT_TRUE(recorder.WaitFor(HttpStatus::Done, 2));
  ASSERT_TRUE(server.WaitForRequests(2));
  EXPECT_NE(server.Requests()[0].find("original"), std::string::npos);
  EXPECT_NE(server.Requests()[1].find("application/x-www-form-urlencoded"), std::string::npos);
}

}  // namespace
}  // namespace drovane
