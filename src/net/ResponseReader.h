#pragma once
// Reading an HTTP/1.1 response while its bytes arrive: the status line, the header lines, then
// the body, framed by Content-Length, by the chunked transfer coding or by the end of the
// connection. Interim answers (1xx) are skipped. The head and the body are bounded, and a
// response whose framing cannot be read fails with a reason instead of turning into a body.
// Pure.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace drovane {

// The status line and the header lines together, interim answers included.
constexpr std::size_t kResponseHeadLimit = 64 * 1024;

enum class BodyFraming {
  None,        // no body (204, 304)
  Length,      // Content-Length bytes
  Chunked,     // Transfer-Encoding: chunked
  UntilClose,  // everything up to the end of the connection
};

class ResponseReader {
 public:
  enum class Event {
    NeedMore,    // every byte given was taken and more are needed
    StatusLine,  // a status line was read: statusCode() tells which
    Head,        // the head of the final answer is complete; its body, if any, follows
    Complete,    // the response is complete; bytes after it are not taken
    Failed,      // the response cannot be read: error() says why
  };
  struct Step {
    std::size_t used;  // bytes taken from the front of the data
    Event event;
  };

  explicit ResponseReader(std::uint64_t bodyLimit, std::size_t headLimit = kResponseHeadLimit);

  // Takes bytes from the front of data up to the next event. The head goes to head, each line
  // ended by "\r\n" (a bare line feed is taken as a line end too), then the empty line "\r\n";
  // the body goes to body without its chunk framing. Once complete or failed, takes nothing.
  Step Feed(std::string_view data, std::string& head, std::string& body);
  // The peer ended the connection in order: a body that runs to the end of the connection is
  // complete, anything else unfinished fails (a head line begun stays readable in head).
  Event EndOfStream(std::string& head);

  // The head of the final answer has been read and its body is being read.
  bool inBody() const {
    return state_ != State::StatusLine && state_ != State::HeaderLines &&
           state_ != State::Complete && state_ != State::Failed;
  }
  bool complete() const { return state_ == State::Complete; }
  bool failed() const { return state_ == State::Failed; }
  // The text of the failure, for the player and the log.
  const std::string& error() const { return error_; }
  // Of the latest status line; 0 before one was read.
  std::uint32_t statusCode() const { return statusCode_; }
  BodyFraming framing() const { return framing_; }
  // The body length that Content-Length announced; -1 when the body is framed otherwise.
  std::int64_t contentLength() const { return contentLength_; }
  // The Location header of the final head, as received (empty without one).
  const std::string& location() const { return location_; }

 private:
  enum class State {
    StatusLine,
    HeaderLines,
    LengthBody,
    ChunkSize,
    ChunkData,
    ChunkDataEnd,
    Trailers,
    UntilClose,
    Complete,
    Failed,
  };

  bool InLine() const;
  std::size_t LineLimit() const;
  Event TakeLine(std::string_view line, std::string& head, std::string& body);
  Event TakeStatusLine(std::string_view line, std::string& head);
  Event TakeHeaderLine(std::string_view line, std::string& head);
  Event EndOfHead(std::string& head);
  Event TakeChunkSize(std::string_view line, std::size_t bodySize);
  bool FitsBody(std::uint64_t bodySize, std::uint64_t more) const;
  Event Fail(const std::string& reason);
  Event FailLimit();

  std::uint64_t bodyLimit_;
  std::size_t headLimit_;
  State state_ = State::StatusLine;
  std::string line_;           // a line not yet ended
  std::size_t headBytes_ = 0;  // head bytes received, interim answers included
  std::size_t trailerBytes_ = 0;
  std::uint32_t statusCode_ = 0;
  BodyFraming framing_ = BodyFraming::UntilClose;
  std::int64_t contentLength_ = -1;
  std::string transferCodings_;  // every Transfer-Encoding value, joined by ","
  bool sawTransferEncoding_ = false;
  std::string location_;
  std::uint64_t remaining_ = 0;  // of the Content-Length body or of the current chunk
  std::string error_;
};

// The error text of an answer larger than the limit set for its body.
std::string BodyLimitText(std::uint64_t limit);

}  // namespace drovane
