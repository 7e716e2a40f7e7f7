#pragma once
// HttpClient: one HTTP/1.1 request-and-response exchange at a time over a fresh TCP connection,
// carried by threads of its own. The owner registers a StatusCallback, calls Reset, sets headers,
// optionally adds multipart files, starts a GET or a POST, follows the status callbacks and the
// progress accessors, and reads the response once the status is Done.
//
// Notification contract:
// - statusCallback is called once for every change of the status, right after its log line.
// - None comes on the thread that called Reset, Connecting on the thread that started the
//   request (before the send call returns), Sending and Receiving on the worker thread, Done on
//   the completion thread after the worker has ended.
// - Every started request ends in exactly one Done. The client does not judge: GetError (empty
//   when no transport error ended the exchange) and GetStatusCode tell the owner what happened.
// - Inside the Done callback the owner may call Reset and start the next request at once.
// - Reset and Close must not be called from the Sending or Receiving callbacks, and a callback
//   must neither block on the owner's thread (SendMessage) nor do long work: Reset and Close on
//   the owner's thread wait until a running exchange has announced its Done.
//
// The response is read as HTTP/1.1 frames it (Content-Length, chunked, or up to the end of the
// connection) within the exchange's limits (ExchangeLimits): a head of at most 64 KiB, a body
// limit, and time-outs. A response that breaks its framing or a limit, a time-out and a redirect
// (which is never followed) end the exchange with an error text; other statuses are the owner's
// to judge.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <list>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/streambuf.hpp>

#include "net/ExchangeLimits.h"
#include "net/HttpRequest.h"
#include "net/HttpStatus.h"
#include "net/RequestBody.h"
#include "net/ResponseReader.h"
#include "net/Url.h"

namespace drovane {

class HttpClient;
// The owner's notification; callbackData is passed through unchanged.
using StatusCallback = void(HttpClient* client, void* callbackData);

class HttpClient {
 public:
  HttpClient();
  // Ends a running exchange (its Done is still announced) and waits for every thread.
  ~HttpClient();
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;

  // Set by the owner after construction and before the first request; both may stay null.
  StatusCallback* statusCallback = nullptr;
  void* callbackData = nullptr;

  // Ends a running exchange and makes the client idle: empties the request, the response and the
  // error, sets "Accept: */*" and "Connection: close", and changes the status to None.
  void Reset();
  // Ends a running exchange: the connection is closed and, unless called inside the Done
  // callback, the exchange's Done has been announced when Close returns. Changes no status.
  void Close();

  // The limits of the next exchange; Reset restores the defaults. Only while idle (status None).
  void Request_SetLimits(const ExchangeLimits& limits);
  // Sets a request header, replacing an earlier value; a header with an empty value is not sent.
  void Request_SetHeader(const std::string& name, const std::string& value);
  // Adds a file to the next POST, which then goes out as multipart/form-data; a file of the same
  // name is replaced. Only while idle (status None).
  // The content is taken over (moved, when given as a temporary).
  void Request_AddMultipartFile(const std::string& fileName, std::string content);
  // Build and start a request; false (and the error "A request is already running") unless the
  // client is idle. Failures of the exchange itself end in Done with an error text.
  bool Request_SendGET(const std::string& url);
  bool Request_SendPOST(const std::string& url, const std::string& fields);

  // Accessors, callable from any thread.
  HttpStatus GetStatus() const { return status; }
  std::string GetError() const;
  std::uint32_t GetStatusCode() const { return statusCode; }
  // Bytes of the request (head and body); 0 while idle.
  std::uint32_t GetRequestSize() const;
  // Bytes sent while connecting and sending, bytes received after that.
  std::uint32_t GetProgressBytes() const;
  // The request size while connecting and sending; then the response's Content-Length plus the
  // head's length, 0 while unknown.
  std::uint32_t GetProgressTotal() const;
  // The response, once the status is Done (empty or 0 before). The body is the decoded one: without
  // its chunk framing.
  std::size_t GetContentSize() const;
  std::string GetContent() const;
  std::size_t GetResponseSize() const;
  std::string GetResponse() const;
  // The start of the response (at most kResponseDumpLimit bytes) written readably for the log.
  std::string GetResponseForLog() const;
  // A header of the received head (name matched case-sensitively); empty when absent.
  std::string GetResponseHeader(const std::string& name) const;

 private:
  friend class HttpClientTestPeer;

  // A thread that announces the Done of one exchange. It is joined once it has finished, or
  // waited for by Close, so a late Done never follows the None of a Reset.
  struct CompletionThread {
    std::uint32_t exchange;
    std::thread thread;
    bool finished;
  };

  bool StartRequest(const char* operation, const char* verb, const std::string& url,
                    const std::string* postFields);
  void StartExchange(const ResolveTarget& target);
  void SetStatus(HttpStatus newStatus);
  void SetError(const std::string& text);
  bool IsCurrent(std::uint32_t exchangeId) const { return exchangeId == exchange; }
  bool OnWorkerThread() const { return workerId.load() == std::this_thread::get_id(); }
  std::uint32_t ExchangeOfCallingThread() const;  // 0 unless on a completion thread
  void JoinFinishedCompletionThreads();           // with threadLock held
  bool HasUnfinishedExchangeAfter(std::uint32_t exchangeId) const;

  // The exchange, step by step; every handler runs on workerThread.
  void ThreadMain();
  void FinishQuery(std::uint32_t exchangeId);
  void _CallbackResolve(const boost::system::error_code& error,
                        const boost::asio::ip::tcp::resolver::results_type& results);
  void ConnectNextEndpoint(std::uint32_t exchangeId);
  void _CallbackConnect(boost::system::error_code error);
  std::size_t _CompletionCondition(const boost::system::error_code& error, std::size_t written);
  void WriteNextPiece(std::uint32_t exchangeId, const boost::system::error_code& error);
  void _CallbackWriteRequest(const boost::system::error_code& error);
  void ReadMore();
  void OnReceived(const boost::system::error_code& error);
  bool TakeHeldBytes();  // true once the exchange has ended
  void _CallbackReadStatusLine();
  bool _CallbackReadHeaders(std::size_t held, std::size_t before);  // true: the exchange ended
  void LogReadContent(std::size_t held);  // responseLock held
  void ReserveBody();                     // responseLock held
  std::string_view HeldBytes() const;
  // Time-outs: a timer that runs out calls its handler, unless the exchange has ended or the
  // timer was set again meanwhile.
  using Expiry = void (HttpClient::*)();
  void ArmTimer(boost::asio::steady_timer& timer,
                std::chrono::steady_clock::time_point expiry, Expiry expired);
  void OnConnectTimeout();
  void OnIdleCheck();
  void OnWholeTimeout();
  void OnAnswerTimeout();
  // Ends the exchange: the error (when given) is recorded, every timer is cancelled and the
  // connection closed, so the worker runs dry. Handlers still queued find exchangeOver.
  void EndExchange(const std::string& error = std::string());
  void CancelTimers();
  void CloseSocketNow();  // cancels pending socket operations and closes at once

  std::atomic<std::uint32_t> bytesSent{0};
  boost::asio::io_context io;
  boost::asio::ip::tcp::resolver resolver;
  boost::asio::ip::tcp::socket socket;
  std::thread workerThread;                       // joined by the completion thread of its exchange
  std::list<CompletionThread> completionThreads;  // guarded by threadLock
  mutable std::mutex responseLock;  // responseHead, responseContent, expectedTotal, errorText
  boost::asio::streambuf responseBuffer;
  std::string errorText;
  std::atomic<HttpStatus> status{HttpStatus::None};
  std::int32_t expectedTotal = 0;
  HttpHeaders requestHeaders;
  MultipartFiles multipartFiles;
  std::string requestHead;
  RequestBody requestBody;  // borrows the contents of multipartFiles
  std::atomic<std::uint32_t> statusCode{0};
  std::string responseHead;
  std::string responseContent;

  // Hand-over between the owner's thread, the worker and the completion threads.
  mutable std::mutex threadLock;
  std::condition_variable threadsChanged;  // a completion thread started or finished
  int closingThreads = 0;                  // threads inside Close; no request starts meanwhile
  std::atomic<std::uint32_t> exchange{0};  // number of the latest started exchange
  std::atomic<bool> stopRequested{false};  // Close stopped the current exchange
  std::atomic<std::uint32_t> requestSize{0};
  std::atomic<std::thread::id> workerId{};  // the running worker's id, unset once it ends

  // State of the current exchange, touched only by the thread that runs it.
  std::vector<boost::asio::ip::tcp::endpoint> leadingEndpoints;  // tried first; set by tests
  std::vector<boost::asio::ip::tcp::endpoint> endpoints;
  std::size_t nextEndpoint = 0;
  std::vector<std::string_view> requestPieces;
  std::size_t requestWritten = 0;
  bool responseComplete = false;
  bool exchangeOver = false;
  ExchangeLimits limits;  // set by the owner while idle, read by the exchange
  ResponseReader reader{kDefaultBodyLimit};
  boost::asio::steady_timer connectTimer{io};
  boost::asio::steady_timer idleTimer{io};
  boost::asio::steady_timer wholeTimer{io};
  boost::asio::steady_timer answerTimer{io};
  bool connectTimedOut = false;
  std::chrono::steady_clock::time_point lastActivity;
};

}  // namespace drovane
