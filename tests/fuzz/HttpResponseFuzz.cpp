// A response as the HTTP client receives it: the status line, the head and the body framed by
// Content-Length, chunks or the end of the connection, read while the bytes arrive piece by
// piece, within the head and body limits; then the header values and the log form of what was
// kept.
#include <string_view>

#include "../net/ResponseInPieces.h"
#include "FuzzSupport.h"
#include "net/HttpResponse.h"
#include "net/ResponseReader.h"

using namespace drovane;

namespace {

// Reads the response arriving in pieces of the given sizes (cycled; none: all at once), and
// checks what must hold however it arrived.
test::ReadOutcome Read(std::string_view data, uint64_t bodyLimit, bool eof, const uint8_t* pieces,
                       size_t pieceCount) {
  const test::ReadOutcome out = test::ReadInPieces(data, bodyLimit, eof, [&](size_t i) {
    return pieceCount ? 1 + pieces[i % pieceCount] % 16 : data.size();
  });
  FUZZ_CHECK(out.stepsTookWhatTheyMay);
  FUZZ_CHECK(out.body.size() <= bodyLimit);
  FUZZ_CHECK(out.head.size() <= kResponseHeadLimit);
  FUZZ_CHECK(out.error.empty() == !out.failed);
  if (out.complete && out.framing == BodyFraming::Length) {
    FUZZ_CHECK(static_cast<int64_t>(out.body.size()) == out.contentLength);
  }
  if (out.complete && out.framing == BodyFraming::None) FUZZ_CHECK(out.body.empty());
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzz::DiscardLog();
  fuzz::Input input(data, size);
  const uint8_t selector = input.Byte();
  uint8_t pieces[4];
  for (uint8_t& piece : pieces) piece = input.Byte();
  const std::string response = input.Rest();
  const uint64_t bodyLimit = (selector & 1) ? 64 : 1024 * 1024;
  const bool eof = (selector & 2) != 0;

  const test::ReadOutcome whole = Read(response, bodyLimit, eof, nullptr, 0);
  const test::ReadOutcome pieced = Read(response, bodyLimit, eof, pieces, sizeof pieces);
  // However the bytes arrive, the reader comes to the same response.
  FUZZ_CHECK(pieced.event == whole.event);
  FUZZ_CHECK(pieced.head == whole.head);
  FUZZ_CHECK(pieced.body == whole.body);
  FUZZ_CHECK(pieced.error == whole.error);
  FUZZ_CHECK(pieced.status == whole.status);
  FUZZ_CHECK(pieced.used == whole.used);

  FindResponseHeader(whole.head, "Content-Length");
  FindResponseHeader(whole.head, "Location");
  const std::string kept = whole.head + whole.body;
  const std::string shown = kept.substr(0, kResponseDumpLimit);
  ResponseForLog(shown, kept.size() - shown.size());
  return 0;
}
