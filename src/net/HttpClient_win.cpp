// HttpClient's public side: construction, Reset and Close with the hand-over between threads,
// the request operations and the accessors. The exchange itself is in HttpClientEngine_win.cpp.
#include "net/HttpClient.h"

#include <windows.h>

#include <limits>

#include "base/FileLog.h"
#include "net/HttpResponse.h"

namespace drovane {
namespace {

constexpr char kAlreadyRunning[] = "A request is already running";

std::uint32_t Clamp32(std::size_t size) {
  return size > std::numeric_limits<std::uint32_t>::max()
             ? std::numeric_limits<std::uint32_t>::max()
             : static_cast<std::uint32_t>(size);
}

}  // namespace

HttpClient::HttpClient() : resolver(io), socket(io) {
  Reset();
}

HttpClient::~HttpClient() {
  Close();
  std::unique_lock<std::mutex> lock(threadLock);
  for (CompletionThread& completion : completionThreads) {
    if (completion.thread.get_id() == std::this_thread::get_id()) {
      // Destroyed inside its own Done callback: this thread cannot wait for itself.
      completion.thread.detach();
      continue;
    }
    threadsChanged.wait(lock, [&completion] { return completion.finished; });
    completion.thread.join();
  }
  completionThreads.clear();
  if (workerThread.joinable()) {
    if (OnWorkerThread()) {
      workerThread.detach();  // destroyed from a Sending or Receiving callback
    } else {
      workerThread.join();
    }
  }
}

void HttpClient::Reset() {
  LogLine(LogLine::Tab) << "HttpClient::Reset";
  Close();
  if (OnWorkerThread()) {
    // Misuse from a Sending or Receiving callback: the exchange has been told to stop and still
    // owns the buffers, so nothing is cleared here.
    return;
  }
  {
    std::lock_guard<std::mutex> lock(responseLock);
    errorText.clear();
    expectedTotal = 0;
    std::string().swap(responseHead);
    std::string().swap(responseContent);
  }
  bytesSent = 0;
  requestSize = 0;
  requestHeaders.clear();
  multipartFiles.clear();
  std::string().swap(requestHead);
  requestBody.clear();
  requestPieces.clear();
  statusCode = 0;
  responseBuffer.consume(responseBuffer.size());
  limits = ExchangeLimits();
  requestHeaders["Accept"] = "*/*";
  requestHeaders["Connection"] = "close";
  SetStatus(HttpStatus::None);
}

// Close stops the exchange and, unless it runs inside that exchange's own Done callback, waits
// until the exchange has announced its Done: a cancelled exchange's Done then always comes
// before the None of the Reset that cancelled it, and only one thread ever joins each thread.
// The socket and the resolver are touched only once no worker runs.
void HttpClient::Close() {
  LogLine(LogLine::Tab) << "HttpClient::Close";
  std::unique_lock<std::mutex> lock(threadLock);
  if (OnWorkerThread()) {
    // Called from a Sending or Receiving callback: the worker cannot wait for itself. Stopping
    // the I/O service ends the exchange, whose Done follows as usual.
    stopRequested = true;
    io.stop();
    return;
  }
  ++closingThreads;
  const std::uint32_t own = ExchangeOfCallingThread();
  while (HasUnfinishedExchangeAfter(own)) {
    stopRequested = true;
    io.stop();
    threadsChanged.wait(lock);
  }
  resolver.cancel();
  // Timers left running by a stopped exchange would keep the next exchange's worker waiting.
  CancelTimers();
  CloseSocketNow();
  io.restart();
  JoinFinishedCompletionThreads();
  --closingThreads;
}

// A send the server does not read stays pending after a graceful close, and the I/O service
// would wait for it when it is destroyed: an exchange that is over has its pending operations
// cancelled and its connection closed at once.
void HttpClient::CloseSocketNow() {
  if (!socket.is_open()) return;
  boost::system::error_code ignored;
  CancelIoEx(reinterpret_cast<HANDLE>(static_cast<SOCKET>(socket.native_handle())), nullptr);
  socket.set_option(boost::asio::socket_base::linger(true, 0), ignored);
  socket.shutdown(boost::asio::ip::tcp::socket::shutdown_both, ignored);
  socket.close(ignored);
}

std::uint32_t HttpClient::ExchangeOfCallingThread() const {
  for (const CompletionThread& completion : completionThreads) {
    if (completion.thread.get_id() == std::this_thread::get_id()) return completion.exchange;
  }
  return 0;
}

bool HttpClient::HasUnfinishedExchangeAfter(std::uint32_t exchangeId) const {
  for (const CompletionThread& completion : completionThreads) {
    if (completion.exchange > exchangeId && !completion.finished) return true;
  }
  return false;
}

void HttpClient::JoinFinishedCompletionThreads() {
  // A finished completion thread has nothing left to do but return: joining it cannot block.
  for (auto it = completionThreads.begin(); it != completionThreads.end();) {
    if (it->finished) {
      it->thread.join();
      it = completionThreads.erase(it);
    } else {
      ++it;
    }
  }
}

void HttpClient::Request_SetLimits(const ExchangeLimits& newLimits) {
  // A running exchange reads its limits on its own thread.
  if (status != HttpStatus::None) return;
  limits = newLimits;
}

void HttpClient::Request_SetHeader(const std::string& name, const std::string& value) {
  requestHeaders[name] = value;
}

void HttpClient::Request_AddMultipartFile(const std::string& fileName, std::string content) {
  LogLine(LogLine::Tab) << "HttpClient::Request_AddMultipartFile - '" << fileName << "' ("
                        << content.size() << " bytes)";
  // A running POST sends these very bytes; they must not change under it.
  if (status != HttpStatus::None) return;
  multipartFiles[fileName] = std::move(content);
}

bool HttpClient::Request_SendGET(const std::string& url) {
  return StartRequest("HttpClient::Request_SendGET", "GET", url, nullptr);
}

bool HttpClient::Request_SendPOST(const std::string& url, const std::string& fields) {
  return StartRequest("HttpClient::Request_SendPOST", "POST", url, &fields);
}

bool HttpClient::StartRequest(const char* operation, const char* verb, const std::string& url,
                              const std::string* postFields) {
  LogLine(LogLine::Tab) << operation;
  bool closing;
  {
    std::lock_guard<std::mutex> lock(threadLock);
    closing = closingThreads > 0;
  }
  // While another thread closes the client, a request started from a Done callback would
  // outlive that Close: it is refused like any request made while one runs.
  if (status != HttpStatus::None || closing) {
    SetError(kAlreadyRunning);
    return false;
  }
  const UrlParts parts = SplitUrl(url);
  if (postFields) {
    // The boundary only has to differ from the content; the tick count is what the service
    // has always seen.
    const auto tick = static_cast<std::int32_t>(GetTickCount());
    BuildPostRequest(parts, requestHeaders, multipartFiles, *postFields, tick, requestHead,
                     requestBody);
  } else {
    BuildGetRequest(parts, requestHeaders, requestHead);
  }
  requestSize = Clamp32(requestHead.size() + requestBody.size());
  // The bytes go out straight from the head and the body pieces (the files are not copied).
  requestPieces.assign(1, requestHead);
  for (std::string_view piece : requestBody.Pieces()) requestPieces.push_back(piece);
  requestWritten = 0;

  SetStatus(HttpStatus::Connecting);
  LogLine(LogLine::Tab) << "Sending " << verb << " query. (" << MaskPasswordForLog(parts.path)
                        << ")";
  StartExchange(TargetOf(parts));
  return true;
}

void HttpClient::SetStatus(HttpStatus newStatus) {
  if (status.exchange(newStatus) == newStatus) return;
  {
    LogLine line(LogLine::Tab);
    line << "Status changed: " << HttpStatusName(newStatus);
    const std::string error = GetError();
    if (newStatus != HttpStatus::None && !error.empty()) line << " (" << error << ")";
  }
  if (statusCallback) statusCallback(this, callbackData);
}

void HttpClient::SetError(const std::string& text) {
  std::lock_guard<std::mutex> lock(responseLock);
  errorText = text;
}

std::string HttpClient::GetError() const {
  std::lock_guard<std::mutex> lock(responseLock);
  return errorText;
}

std::uint32_t HttpClient::GetRequestSize() const {
  return status == HttpStatus::None ? 0 : requestSize.load();
}

std::uint32_t HttpClient::GetProgressBytes() const {
  switch (status) {
    case HttpStatus::None:
      return 0;
    case HttpStatus::Connecting:
    case HttpStatus::Sending:
      return bytesSent;
    default: {
      std::lock_guard<std::mutex> lock(responseLock);
      return Clamp32(responseHead.size() + responseContent.size());
    }
  }
}

std::uint32_t HttpClient::GetProgressTotal() const {
  switch (status) {
    case HttpStatus::None:
      return 0;
    case HttpStatus::Connecting:
    case HttpStatus::Sending:
      return GetRequestSize();
    default: {
      std::lock_guard<std::mutex> lock(responseLock);
      return static_cast<std::uint32_t>(expectedTotal);
    }
  }
}

std::size_t HttpClient::GetContentSize() const {
  if (status != HttpStatus::Done) return 0;
  std::lock_guard<std::mutex> lock(responseLock);
  return responseContent.size();
}

std::string HttpClient::GetContent() const {
  if (status != HttpStatus::Done) return std::string();
  std::lock_guard<std::mutex> lock(responseLock);
  return responseContent;
}

std::size_t HttpClient::GetResponseSize() const {
  if (status != HttpStatus::Done) return 0;
  std::lock_guard<std::mutex> lock(responseLock);
  return responseHead.size() + responseContent.size();
}

std::string HttpClient::GetResponse() const {
  if (status != HttpStatus::Done) return std::string();
  std::lock_guard<std::mutex> lock(responseLock);
  return responseHead + responseContent;
}

std::string HttpClient::GetResponseForLog() const {
  if (status != HttpStatus::Done) return std::string();
  std::lock_guard<std::mutex> lock(responseLock);
  // Only the start is copied: the response may be as large as its body limit allows.
  std::string start = responseHead.substr(0, kResponseDumpLimit);
  start += responseContent.substr(0, kResponseDumpLimit - start.size());
  return ResponseForLog(start, responseHead.size() + responseContent.size() - start.size());
}

std::string HttpClient::GetResponseHeader(const std::string& name) const {
  std::lock_guard<std::mutex> lock(responseLock);
  return FindResponseHeader(responseHead, name);
}

}  // namespace drovane
