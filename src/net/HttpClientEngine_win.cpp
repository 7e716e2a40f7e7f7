// The exchange of an HttpClient: name resolution, connection with fall-back over the resolved
// addresses, the request write in pieces, the status line, the head and the body read until the
// server closes the connection. Every handler runs on the worker thread, which runs the I/O
// service; the completion thread announces Done once the worker has ended.
//
// Each exchange has a number. Handlers left over from a cancelled exchange may still run inside
// the next exchange's I/O service (stopping a service does not discard them); they carry their
// exchange's number and do nothing when it is not the current one.
#include <algorithm>
#include <new>
#include <system_error>

#include <boost/asio/read_until.hpp>
#include <boost/system/error_code.hpp>

#include "app/FileLog.h"
#include "net/HeadEndMatcher.h"
#include "net/HttpClient.h"
#include "net/HttpResponse.h"

namespace drovane {
namespace {

// The request goes out in pieces of at most this size, so bytesSent advances during an upload.
constexpr std::size_t kWritePiece = 65536;
// The body is read in pieces of up to this size: each read returns what has arrived, and under
// Wine every socket call costs a fixed toll that small pieces would pay thousands of times.
constexpr std::size_t kReadPiece = 1 << 20;
// Room for the body is made up front from Content-Length, but never more than this on the word
// of the server alone.
constexpr std::size_t kMaxReservedBody = 256u << 20;

using boost::asio::ip::tcp;
using boost::system::error_code;

}  // namespace

void HttpClient::StartExchange(const ResolveTarget& target) {
  const std::uint32_t id = ++exchange;
  endpoints.clear();
  nextEndpoint = 0;
  responseComplete = false;
  try {
    resolver.async_resolve(
        tcp::v4(), target.host, target.service, tcp::resolver::address_configured,
        [this, id](const error_code& error, const tcp::resolver::results_type& results) {
          if (IsCurrent(id)) _CallbackResolve(error, results);
        });
  } catch (const std::exception& e) {
    // Nothing is queued: the worker runs dry at once and the exchange ends in Done as usual.
    SetError(e.what());
  }

  std::unique_lock<std::mutex> lock(threadLock);
  // A Close that began after this request was accepted ends it at once.
  stopRequested = closingThreads > 0;
  if (stopRequested) io.stop();
  JoinFinishedCompletionThreads();
  try {
    workerThread = std::thread(&HttpClient::ThreadMain, this);
    completionThreads.push_back(CompletionThread{id, std::thread(), false});
    completionThreads.back().thread = std::thread(&HttpClient::FinishQuery, this, id);
  } catch (const std::exception& e) {
    // The threads could not be started: the exchange ends here, still with its one Done.
    if (!completionThreads.empty() && !completionThreads.back().thread.joinable()) {
      completionThreads.pop_back();
    }
    io.stop();
    lock.unlock();
    if (workerThread.joinable()) workerThread.join();
    SetError(e.what());
    SetStatus(HttpStatus::Done);
    return;
  }
  threadsChanged.notify_all();
}

void HttpClient::ThreadMain() {
  workerId = std::this_thread::get_id();
  LogLine(LogLine::Tab) << "Thread started.";
  try {
    io.run();
  } catch (const std::bad_alloc&) {
    // A response too large for memory ends the exchange instead of the process.
    SetError(
        boost::system::errc::make_error_code(boost::system::errc::not_enough_memory).message());
  } catch (const std::exception& e) {
    SetError(e.what());
  }
  if (stopRequested && !responseComplete && GetError().empty()) {
    // Stopped by Close before the response was complete: say so rather than leave a partial
    // response looking like a whole one.
    SetError(boost::asio::error::make_error_code(boost::asio::error::operation_aborted).message());
  }
  LogLine(LogLine::Tab) << "Thread finished.";
  workerId = std::thread::id();
}

void HttpClient::FinishQuery(std::uint32_t exchangeId) {
  // Only this thread joins the worker of its exchange; the next exchange's worker is started
  // only after this (from the Done callback, or after a Reset that waited for it).
  workerThread.join();
  const std::string error = GetError();
  if (!error.empty()) {
    LogLine(LogLine::Tab) << "Query failed: " << error;
  } else if (statusCode == 200) {
    LogLine(LogLine::Tab) << "Query succeeded.";
  } else {
    LogLine(LogLine::Tab) << "Query failed and returned code " << statusCode << ".";
  }
  SetStatus(HttpStatus::Done);

  std::lock_guard<std::mutex> lock(threadLock);
  for (CompletionThread& completion : completionThreads) {
    if (completion.exchange == exchangeId) completion.finished = true;
  }
  // Under the lock: a waiting destructor cannot free the condition before this call is over.
  threadsChanged.notify_all();
}

void HttpClient::_CallbackResolve(const error_code& error,
                                  const tcp::resolver::results_type& results) {
  LogLine(LogLine::Tab) << "HttpClient::_CallbackResolve";
  if (error) {
    SetError(error.message());
    return;
  }
  endpoints = leadingEndpoints;
  for (const auto& entry : results) endpoints.push_back(entry.endpoint());
  if (endpoints.empty()) {
    SetError(boost::asio::error::make_error_code(boost::asio::error::host_not_found).message());
    return;
  }
  ConnectNextEndpoint(exchange);
}

void HttpClient::ConnectNextEndpoint(std::uint32_t exchangeId) {
  socket.async_connect(endpoints[nextEndpoint++], [this, exchangeId](const error_code& error) {
    if (IsCurrent(exchangeId)) _CallbackConnect(error);
  });
}

void HttpClient::_CallbackConnect(const error_code& error) {
  if (!error) {
    LogLine(LogLine::Tab) << "HttpClient::_CallbackConnect - Server found.";
    SetStatus(HttpStatus::Sending);
    WriteNextPiece(exchange, error_code());
  } else if (nextEndpoint < endpoints.size()) {
    LogLine(LogLine::Tab) << "HttpClient::_CallbackConnect - Trying another endpoint.";
    error_code ignored;
    socket.close(ignored);
    ConnectNextEndpoint(exchange);
  } else {
    LogLine(LogLine::Tab) << "HttpClient::_CallbackConnect - An error occurred.";
    SetError(error.message());
  }
}

std::size_t HttpClient::_CompletionCondition(const error_code& error, std::size_t written) {
  LogLine(LogLine::Tab) << "HttpClient::_CompletionCondition (... + " << (written - bytesSent)
                        << " = " << written << " bytes)";
  bytesSent = static_cast<std::uint32_t>(written);
  return error ? 0 : kWritePiece;
}

// The write loop of the request: the completion condition is asked before the first piece and
// after every piece, and the write ends on an error or when everything is out.
void HttpClient::WriteNextPiece(std::uint32_t exchangeId, const error_code& error) {
  const std::size_t limit = _CompletionCondition(error, requestWritten);
  const std::size_t total = requestHead.size() + requestBody.size();
  if (limit == 0 || requestWritten >= total) {
    _CallbackWriteRequest(error);
    return;
  }
  std::vector<boost::asio::const_buffer> buffers;
  for (std::string_view part : SliceOfPieces(requestPieces, requestWritten, limit)) {
    buffers.emplace_back(part.data(), part.size());
  }
  socket.async_write_some(
      buffers, [this, exchangeId](const error_code& writeError, std::size_t written) {
        if (!IsCurrent(exchangeId)) return;
        requestWritten += written;
        // A write that moves nothing without an error would repeat for ever.
        WriteNextPiece(exchangeId, writeError || written > 0
                                       ? writeError
                                       : boost::asio::error::make_error_code(
                                             boost::asio::error::connection_aborted));
      });
}

void HttpClient::_CallbackWriteRequest(const error_code& error) {
  LogLine(LogLine::Tab) << "HttpClient::_CallbackWriteRequest";
  if (error) {
    SetError(error.message());
    return;
  }
  SetStatus(HttpStatus::Receiving);
  const std::uint32_t id = exchange;
  boost::asio::async_read_until(socket, responseBuffer, "\r\n",
                                [this, id](const error_code& readError, std::size_t) {
                                  if (IsCurrent(id)) _CallbackReadStatusLine(readError);
                                });
}

std::string_view HttpClient::HeldBytes() const {
  const auto data = responseBuffer.data();
  return std::string_view(static_cast<const char*>(data.data()), data.size());
}

void HttpClient::KeepReceivedBytes(std::string& target) {
  const std::string_view held = HeldBytes();
  target.append(held.data(), held.size());
  responseBuffer.consume(held.size());
}

void HttpClient::_CallbackReadStatusLine(const error_code& error) {
  LogLine(LogLine::Tab) << "HttpClient::_CallbackReadStatusLine";
  if (error) {
    SetError(error.message());
    // Whatever arrived stays readable in the response.
    std::lock_guard<std::mutex> lock(responseLock);
    KeepReceivedBytes(responseHead);
    return;
  }
  const std::string_view held = HeldBytes();
  const std::size_t feed = held.find('\n');
  const std::string_view line = held.substr(0, feed);  // the carriage return stays
  {
    std::lock_guard<std::mutex> lock(responseLock);
    responseHead.append(line.data(), line.size());
    responseHead += '\n';
  }
  statusCode = ParseStatusCode(line);
  responseBuffer.consume(feed + 1);

  const std::uint32_t id = exchange;
  boost::asio::async_read_until(socket, responseBuffer, HeadEndMatcher(),
                                [this, id](const error_code& readError, std::size_t) {
                                  if (IsCurrent(id)) _CallbackReadHeaders(readError);
                                });
}

void HttpClient::_CallbackReadHeaders(const error_code& error) {
  {
    std::lock_guard<std::mutex> lock(responseLock);
    LogLine(LogLine::Tab) << "HttpClient::_CallbackReadHeaders (... + " << responseBuffer.size()
                          << " = "
                          << responseHead.size() + responseContent.size() + responseBuffer.size()
                          << " bytes)";
  }
  if (error) {
    SetError(error.message());
    std::lock_guard<std::mutex> lock(responseLock);
    KeepReceivedBytes(responseHead);
    return;
  }
  {
    std::lock_guard<std::mutex> lock(responseLock);
    responseBuffer.consume(TakeHeadLines(HeldBytes(), responseHead));
    expectedTotal = ExpectedResponseTotal(responseHead);
    ReserveBody();
    // Body bytes that came with the head.
    KeepReceivedBytes(responseContent);
  }
  ReadMoreContent();
}

// Growing a large body by doubling would copy it again and again; the announced length gives
// its size at once.
void HttpClient::ReserveBody() {
  const std::int64_t announced =
      static_cast<std::int64_t>(expectedTotal) - static_cast<std::int64_t>(responseHead.size());
  if (expectedTotal <= 0 || announced <= 0) return;
  try {
    responseContent.reserve(
        std::min<std::size_t>(static_cast<std::size_t>(announced), kMaxReservedBody));
  } catch (const std::bad_alloc&) {
    // Not an error: the body still grows as it arrives.
  }
}

// A read of at least one byte, and of as many as have arrived, up to one piece.
void HttpClient::ReadMoreContent() {
  const std::uint32_t id = exchange;
  socket.async_read_some(responseBuffer.prepare(kReadPiece),
                         [this, id](const error_code& readError, std::size_t received) {
                           if (!IsCurrent(id)) return;
                           responseBuffer.commit(received);
                           _CallbackReadContent(readError);
                         });
}

void HttpClient::_CallbackReadContent(const error_code& error) {
  {
    std::lock_guard<std::mutex> lock(responseLock);
    LogLine(LogLine::Tab) << "HttpClient::_CallbackReadContent (... + " << responseBuffer.size()
                          << " = "
                          << responseHead.size() + responseContent.size() + responseBuffer.size()
                          << " bytes)";
    KeepReceivedBytes(responseContent);
  }
  if (error == boost::asio::error::eof) {
    // The server closed the connection: the response is complete, whatever Content-Length said.
    responseComplete = true;
    error_code ignored;
    socket.close(ignored);
    return;
  }
  if (error) {
    SetError(error.message());
    return;
  }
  ReadMoreContent();
}

}  // namespace drovane
