// A response as the HTTP client receives it: the status line, the search for the end of the
// head while the bytes arrive piece by piece (the Asio match condition itself), the header lines
// taken into the head, the header values and the expected total, and the log form.
#include <boost/asio/buffers_iterator.hpp>
#include <boost/asio/streambuf.hpp>
#include <cstring>
#include <string_view>

#include "FuzzSupport.h"
#include "net/HeadEndMatcher.h"
#include "net/HttpResponse.h"

using namespace drovane;

namespace {

// The head end found when the bytes arrive in pieces of the given sizes (cycled), as
// async_read_until searches: each call resumes where the previous one stopped. -1: none.
int64_t IncrementalHeadEnd(std::string_view data, const uint8_t* pieces, size_t pieceCount) {
  boost::asio::streambuf buffer;
  HeadEndMatcher matcher;
  size_t searchFrom = 0;
  size_t arrived = 0;
  for (size_t i = 0; arrived < data.size(); ++i) {
    const size_t piece = std::min<size_t>(
        data.size() - arrived, pieceCount ? 1 + pieces[i % pieceCount] % 16 : data.size());
    auto space = buffer.prepare(piece);
    std::memcpy(space.data(), data.data() + arrived, piece);
    buffer.commit(piece);
    arrived += piece;
    const auto begin = boost::asio::buffers_begin(buffer.data());
    const auto end = boost::asio::buffers_end(buffer.data());
    const auto match = matcher(begin + static_cast<std::ptrdiff_t>(searchFrom), end);
    const size_t position = static_cast<size_t>(match.first - begin);
    FUZZ_CHECK(position >= searchFrom && position <= arrived);
    if (match.second) return static_cast<int64_t>(position);
    searchFrom = position;
  }
  return -1;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::Input input(data, size);
  uint8_t pieces[4];
  for (uint8_t& piece : pieces) piece = input.Byte();
  const std::string response = input.Rest();

  const size_t lineEnd = response.find("\r\n");
  const std::string_view statusLine = std::string_view(response).substr(
      0, lineEnd == std::string::npos ? response.size() : lineEnd);
  ParseStatusCode(statusLine);

  // The head after the status line, searched whole and piece by piece.
  const std::string_view rest = lineEnd == std::string::npos
                                    ? std::string_view()
                                    : std::string_view(response).substr(lineEnd + 2);
  const HeadEndScan whole = ScanForHeadEnd(rest, true);
  const int64_t incremental = IncrementalHeadEnd(rest, pieces, sizeof pieces);
  FUZZ_CHECK(whole.found == (incremental >= 0));
  if (whole.found) FUZZ_CHECK(static_cast<int64_t>(whole.position) == incremental);

  std::string head(statusLine);
  head += "\r\n";
  const size_t used = TakeHeadLines(rest, head);
  FUZZ_CHECK(used <= rest.size());
  // The head the client keeps ends exactly where the search found its end; the body follows.
  if (whole.found) FUZZ_CHECK(used == whole.position);
  FindResponseHeader(head, "Content-Length");
  FindResponseHeader(head, "Location");
  const int32_t total = ExpectedResponseTotal(head);
  FUZZ_CHECK(total >= 0);
  ResponseForLog(response);
  return 0;
}
