#pragma once
// A response read by a ResponseReader while its bytes arrive in pieces, the way the client's
// socket hands them over. Shared by the reader's unit tests and its fuzz target. Pure.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "net/ResponseReader.h"

namespace drovane::test {

struct ReadOutcome {
  ResponseReader::Event event = ResponseReader::Event::NeedMore;
  std::string head;
  std::string body;
  std::string error;
  std::string location;
  std::uint32_t status = 0;
  std::size_t used = 0;  // bytes the reader took
  bool complete = false;
  bool failed = false;
  BodyFraming framing = BodyFraming::UntilClose;
  std::int64_t contentLength = -1;
  // No step took more than it was given, and every step that asked for more took all of it.
  bool stepsTookWhatTheyMay = true;
};

// pieceSize(i) is the size of the i-th piece (at least 1). With eof, the connection ends after
// the last byte.
inline ReadOutcome ReadInPieces(std::string_view data, std::uint64_t bodyLimit, bool eof,
                                const std::function<std::size_t(std::size_t)>& pieceSize) {
  ResponseReader reader(bodyLimit);
  ReadOutcome out;
  bool over = false;
  for (std::size_t i = 0, at = 0; at < data.size() && !over; ++i) {
    const std::string_view part = data.substr(at, pieceSize(i));
    at += part.size();
    std::size_t used = 0;
    for (;;) {
      const ResponseReader::Step step = reader.Feed(part.substr(used), out.head, out.body);
      if (step.used > part.size() - used) out.stepsTookWhatTheyMay = false;
      used += step.used;
      out.event = step.event;
      if (step.event == ResponseReader::Event::NeedMore) {
        if (used != part.size()) out.stepsTookWhatTheyMay = false;
        break;
      }
      if (step.event == ResponseReader::Event::Complete ||
          step.event == ResponseReader::Event::Failed) {
        over = true;
        break;
      }
    }
    out.used += used;
  }
  if (!over && eof) out.event = reader.EndOfStream(out.head);
  out.error = reader.error();
  out.location = reader.location();
  out.status = reader.statusCode();
  out.complete = reader.complete();
  out.failed = reader.failed();
  out.framing = reader.framing();
  out.contentLength = reader.contentLength();
  return out;
}

}  // namespace drovane::test
