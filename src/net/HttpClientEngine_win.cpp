// The exchange of an HttpClient: name resolution, connection with fall-back over the resolved
// addresses, the request write in pieces, and the response read as HTTP/1.1 frames it, within
// the exchange's limits. Every handler runs on the worker thread, which runs the I/O service;
// the completion thread announces Done once the worker has ended.
//
// Each exchange has a number. Handlers left over from a cancelled exchange may still run inside
// the next exchange's I/O service (stopping a service does not discard them); they carry their
// exchange's number and do nothing when it is not the current one. Within an exchange, handlers
// still queued when it ended (an aborted read, a cancelled timer) find exchangeOver set.
#include <algorithm>
#include <limits>
#include <new>
#include <system_error>

#include <boost/system/error_code.hpp>

#include "base/FileLog.h"
#include "net/HttpClient.h"

namespace drovane {
namespace {

// The request goes out in pieces of at most this size, so bytesSent advances during an upload.
constexpr std::size_t kWritePiece = 65536;
// The response is read in pieces of up to this size: each read returns what has arrived, and
// under Wine every socket call costs a fixed toll that small pieces would pay thousands of times.
constexpr std::size_t kReadPiece = 1 << 20;
// Room for the body is made up front from Content-Length, but never more than this on the word
// of the server alone.
constexpr std::size_t kMaxReservedBody = 256u << 20;

using boost::asio::ip::tcp;
using boost::system::error_code;
using Clock = std::chrono::steady_clock;

bool IsRedirect(std::uint32_t statusCode) {
  return statusCode >= 300 && statusCode < 400 && statusCode != 304;
}

}  // namespace

void HttpClient::StartExchange(const ResolveTarget& target) {
  const std::uint32_t id = ++exchange;
  endpoints.clear();
  nextEndpoint = 0;
  responseComplete = false;
  exchangeOver = false;
  connectTimedOut = false;
  reader = ResponseReader(limits.bodyBytes);
  try {
    resolver.async_resolve(
        tcp::v4(), target.host, target.service, tcp::resolver::address_configured,
        [this, id](const error_code& error, const tcp::resolver::results_type& results) {
          if (IsCurrent(id) && !exchangeOver) _CallbackResolve(error, results);
        });
    if (limits.whole.count() > 0) {
      ArmTimer(wholeTimer, Clock::now() + limits.whole, &HttpClient::OnWholeTimeout);
    }
  } catch (const std::exception& e) {
    // The worker runs dry at once and the exchange ends in Done as usual.
    EndExchange(e.what());
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
  for (;;) {
    try {
      io.run();
      break;
    } catch (const std::bad_alloc&) {
      // A response too large for memory ends the exchange instead of the process.
      EndExchange(
          boost::system::errc::make_error_code(boost::system::errc::not_enough_memory).message());
    } catch (const std::exception& e) {
      EndExchange(e.what());
    }
    // The run goes on, so the handlers the end aborted are done with before the worker ends.
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

void HttpClient::EndExchange(const std::string& error) {
  if (!error.empty()) SetError(error);
  exchangeOver = true;
  CancelTimers();
  resolver.cancel();
  if (responseComplete) {
    // Nothing is pending on a connection whose response is complete: an orderly close.
    error_code ignored;
    socket.shutdown(tcp::socket::shutdown_both, ignored);
    socket.close(ignored);
  } else {
    CloseSocketNow();
  }
}

void HttpClient::CancelTimers() {
  connectTimer.cancel();
  idleTimer.cancel();
  wholeTimer.cancel();
  answerTimer.cancel();
}

void HttpClient::ArmTimer(boost::asio::steady_timer& timer, Clock::time_point expiry,
                          Expiry expired) {
  const std::uint32_t id = exchange;
  timer.expires_at(expiry);
  timer.async_wait([this, id, &timer, expired](const error_code& error) {
    if (error || !IsCurrent(id) || exchangeOver) return;
    // Set again after this expiry was queued: that later time has not come yet.
    if (timer.expiry() > Clock::now()) return;
    (this->*expired)();
  });
}

void HttpClient::OnConnectTimeout() {
  // The attempt is aborted; its handler runs next and moves on to the next address.
  connectTimedOut = true;
  error_code ignored;
  socket.close(ignored);
}

// The idle timer is not set again for every byte: it runs out at the latest possible moment and
// looks at when the last byte moved.
void HttpClient::OnIdleCheck() {
  const Clock::time_point deadline = lastActivity + limits.idle;
  if (Clock::now() < deadline) {
    ArmTimer(idleTimer, deadline, &HttpClient::OnIdleCheck);
    return;
  }
  EndExchange(IdleTimeoutText(limits.idle, status == HttpStatus::Sending));
}

void HttpClient::OnWholeTimeout() {
  EndExchange(WholeTimeoutText(limits.whole));
}

void HttpClient::OnAnswerTimeout() {
  EndExchange(AnswerTimeoutText(limits.answer));
}

void HttpClient::_CallbackResolve(const error_code& error,
                                  const tcp::resolver::results_type& results) {
  LogLine(LogLine::Tab) << "HttpClient::_CallbackResolve";
  if (error) {
    EndExchange(error.message());
    return;
  }
  endpoints = leadingEndpoints;
  for (const auto& entry : results) endpoints.push_back(entry.endpoint());
  if (endpoints.empty()) {
    EndExchange(boost::asio::error::make_error_code(boost::asio::error::host_not_found).message());
    return;
  }
  ConnectNextEndpoint(exchange);
}

void HttpClient::ConnectNextEndpoint(std::uint32_t exchangeId) {
  connectTimedOut = false;
  if (limits.connect.count() > 0) {
    ArmTimer(connectTimer, Clock::now() + limits.connect, &HttpClient::OnConnectTimeout);
  }
  socket.async_connect(endpoints[nextEndpoint++], [this, exchangeId](const error_code& error) {
    if (IsCurrent(exchangeId) && !exchangeOver) _CallbackConnect(error);
  });
}

void HttpClient::_CallbackConnect(error_code error) {
  connectTimer.cancel();
  // An attempt the timer gave up on fails even if it got through at the last moment.
  if (connectTimedOut) error = boost::asio::error::make_error_code(boost::asio::error::timed_out);
  if (!error) {
    LogLine(LogLine::Tab) << "HttpClient::_CallbackConnect - Server found.";
    lastActivity = Clock::now();
    if (limits.idle.count() > 0) {
      ArmTimer(idleTimer, lastActivity + limits.idle, &HttpClient::OnIdleCheck);
    }
    SetStatus(HttpStatus::Sending);
    WriteNextPiece(exchange, error_code());
  } else if (nextEndpoint < endpoints.size()) {
    LogLine(LogLine::Tab) << "HttpClient::_CallbackConnect - Trying another endpoint.";
    error_code ignored;
    socket.close(ignored);
    ConnectNextEndpoint(exchange);
  } else {
    LogLine(LogLine::Tab) << "HttpClient::_CallbackConnect - An error occurred.";
    EndExchange(connectTimedOut ? ConnectTimeoutText(limits.connect) : error.message());
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
        if (!IsCurrent(exchangeId) || exchangeOver) return;
        requestWritten += written;
        if (written > 0) lastActivity = Clock::now();
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
    EndExchange(error.message());
    return;
  }
  SetStatus(HttpStatus::Receiving);
  lastActivity = Clock::now();
  if (limits.answer.count() > 0) {
    ArmTimer(answerTimer, lastActivity + limits.answer, &HttpClient::OnAnswerTimeout);
  }
  ReadMore();
}

std::string_view HttpClient::HeldBytes() const {
  const auto data = responseBuffer.data();
  return std::string_view(static_cast<const char*>(data.data()), data.size());
}

// A read of at least one byte, and of as many as have arrived, up to one piece.
void HttpClient::ReadMore() {
  const std::uint32_t id = exchange;
  socket.async_read_some(responseBuffer.prepare(kReadPiece),
                         [this, id](const error_code& readError, std::size_t received) {
                           if (!IsCurrent(id) || exchangeOver) return;
                           responseBuffer.commit(received);
                           if (received > 0) lastActivity = Clock::now();
                           OnReceived(readError);
                         });
}

void HttpClient::OnReceived(const error_code& error) {
  if (TakeHeldBytes()) return;
  if (error == boost::asio::error::eof) {
    ResponseReader::Event end;
    {
      std::lock_guard<std::mutex> lock(responseLock);
      if (reader.inBody()) LogReadContent(0);
      end = reader.EndOfStream(responseHead);
    }
    if (end == ResponseReader::Event::Complete) {
      // A body that runs to the end of the connection: the close completes it.
      responseComplete = true;
      EndExchange();
    } else {
      EndExchange(reader.error());
    }
    return;
  }
  if (error) {
    EndExchange(error.message());
    return;
  }
  ReadMore();
}

// Hands the bytes that arrived to the reader, one event at a time.
bool HttpClient::TakeHeldBytes() {
  for (;;) {
    ResponseReader::Step step;
    std::size_t held;
    std::size_t before;
    {
      std::lock_guard<std::mutex> lock(responseLock);
      const std::string_view bytes = HeldBytes();
      held = bytes.size();
      before = responseHead.size() + responseContent.size();
      if (held > 0 && reader.inBody()) LogReadContent(held);
      step = reader.Feed(bytes, responseHead, responseContent);
    }
    responseBuffer.consume(step.used);
    switch (step.event) {
      case ResponseReader::Event::NeedMore:
        return false;
      case ResponseReader::Event::StatusLine:
        _CallbackReadStatusLine();
        break;
      case ResponseReader::Event::Head:
        if (_CallbackReadHeaders(held, before)) return true;
        break;
      case ResponseReader::Event::Complete:
        responseComplete = true;
        EndExchange();
        return true;
      case ResponseReader::Event::Failed:
        EndExchange(reader.error());
        return true;
    }
  }
}

void HttpClient::_CallbackReadStatusLine() {
  LogLine(LogLine::Tab) << "HttpClient::_CallbackReadStatusLine";
  statusCode = reader.statusCode();
}

bool HttpClient::_CallbackReadHeaders(std::size_t held, std::size_t before) {
  LogLine(LogLine::Tab) << "HttpClient::_CallbackReadHeaders (... + " << held << " = "
                        << before + held << " bytes)";
  {
    std::lock_guard<std::mutex> lock(responseLock);
    const std::int64_t total =
        reader.contentLength() < 0
            ? 0
            : reader.contentLength() + static_cast<std::int64_t>(responseHead.size());
    expectedTotal = total > std::numeric_limits<std::int32_t>::max()
                        ? 0
                        : static_cast<std::int32_t>(total);
    ReserveBody();
  }
  if (IsRedirect(statusCode)) {
    EndExchange(RedirectText(statusCode, reader.location()));
    return true;
  }
  return false;
}

void HttpClient::LogReadContent(std::size_t held) {
  LogLine(LogLine::Tab) << "HttpClient::_CallbackReadContent (... + " << held << " = "
                        << responseHead.size() + responseContent.size() + held << " bytes)";
}

// Growing a large body by doubling would copy it again and again; the announced length, which
// the reader has held to the body limit, gives its size at once.
void HttpClient::ReserveBody() {
  if (reader.contentLength() <= 0) return;
  try {
    responseContent.reserve(std::min<std::size_t>(
        static_cast<std::size_t>(reader.contentLength()), kMaxReservedBody));
  } catch (const std::bad_alloc&) {
    // Not an error: the body still grows as it arrives.
  }
}

}  // namespace drovane
