#include "net/HttpResponse.h"

#include <gtest/gtest.h>

#include "net/ExchangeLimits.h"
#include "ResponseInPieces.h"
#include "net/ResponseReader.h"

namespace drovane {
namespace {

const std::string kHead =
    "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 10\r\nX-Empty: \r\n\r\n";

TEST(HttpResponseHeader, ValueUpToTheLineEndCaseSensitive) {
  EXPECT_EQ(FindResponseHeader(kHead, "Content-Length"), "10");
  EXPECT_EQ(FindResponseHeader(kHead, "Content-Type"), "text/plain");
  EXPECT_EQ(FindResponseHeader(kHead, "X-Empty"), "");
  EXPECT_EQ(FindResponseHeader(kHead, "content-length"), "");
  EXPECT_EQ(FindResponseHeader(kHead, "Server"), "");
  EXPECT_EQ(FindResponseHeader("HTTP/1.1 200 OK\r\ncontent-length: 5\r\n\r\n", "Content-Length"),
            "");
  // A line that never ends gives nothing rather than the rest of the data.
  EXPECT_EQ(FindResponseHeader("HTTP/1.1 200 OK\r\nContent-Length: 5", "Content-Length"), "");
}

TEST(HttpResponseForLog, ControlCharactersWrittenOutAndWhatWasLeftOutCounted) {
  EXPECT_EQ(ResponseForLog("HTTP/1.1 200 OK\r\nA:\tb\r\n\r\nx"),
            "HTTP/1.1 200 OK\\r\\n\nA:\\tb\\r\\n\n\\r\\n\nx");
  EXPECT_EQ(ResponseForLog(""), "");
  EXPECT_EQ(ResponseForLog("abc", 5000), "abc\n[5000 more bytes not shown]");
}

using test::ReadOutcome;

// What a reader made of a response given in pieces of one size, then (with eof) the end of the
// connection.
ReadOutcome Read(const std::string& bytes, bool eof, std::size_t piece,
                 std::uint64_t bodyLimit = kDefaultBodyLimit) {
  return test::ReadInPieces(bytes, bodyLimit, eof, [piece](std::size_t) { return piece; });
}

struct FramingCase {
  const char* name;
  std::string bytes;
  bool eof;
  ResponseReader::Event event;
  std::string body;
  std::string error;  // a part of the error text; empty: no error
};

using Event = ResponseReader::Event;
const std::string kOkHead = "HTTP/1.1 200 OK\r\n";
const std::string kChunkedHead = kOkHead + "Transfer-Encoding: chunked\r\n\r\n";

const FramingCase kFramings[] = {
    {"length", kOkHead + "Content-Length: 5\r\n\r\nhelloEXTRA", false, Event::Complete, "hello",
     ""},
    {"length cut short", kOkHead + "Content-Length: 5\r\n\r\nhe", true, Event::Failed, "he",
     "ended after 2 of the 5 bytes"},
    {"equal lengths listed", kOkHead + "Content-Length: 3, 3\r\ncontent-length: 3\r\n\r\nabc",
     false, Event::Complete, "abc", ""},
    {"lengths differ", kOkHead + "Content-Length: 3\r\nContent-Length: 4\r\n\r\nabcd", false,
     Event::Failed, "", "Content-Length values differ"},
    {"length with a sign", kOkHead + "Content-Length: +3\r\n\r\nabc", false, Event::Failed, "",
     "is not a number"},
    {"chunked, extensions and trailers",
     kChunkedHead + "5;name=\"v\"\r\nhello\r\n06 ; x\r\n world\r\n0\r\nX-Sum: 1\r\n\r\nNEXT", false,
     Event::Complete, "hello world", ""},
    {"chunked, bare line feeds, any case",
     kOkHead + "transfer-encoding: Chunked\n\na\nabcdefghij\n0\n\n", false, Event::Complete,
     "abcdefghij", ""},
    {"chunked overrides a length",
     kOkHead + "Content-Length: 100\r\nTransfer-Encoding: chunked\r\n\r\n2\r\nok\r\n0\r\n\r\n",
     false, Event::Complete, "ok", ""},
    {"chunk size not hexadecimal", kChunkedHead + "5x\r\nhello\r\n0\r\n\r\n", false, Event::Failed,
     "", "chunk size \"5x\" is not a hexadecimal number"},
    {"chunk data without its line break", kChunkedHead + "2\r\nokX\r\n0\r\n\r\n", false,
     Event::Failed, "ok", "does not end with a line break"},
    {"chunk size beyond any limit", kChunkedHead + "FFFFFFFFFFFFFFFFFFFF\r\n", false, Event::Failed,
     "", "larger than"},
    {"chunked cut short", kChunkedHead + "5\r\nhel", true, Event::Failed, "hel",
     "inside the chunked body"},
    {"unsupported coding", kOkHead + "Transfer-Encoding: gzip, chunked\r\n\r\n", false,
     Event::Failed, "", "transfer coding \"gzip\" is not supported"},
    {"chunked twice", kOkHead + "Transfer-Encoding: chunked\r\nTransfer-Encoding: chunked\r\n\r\n",
     false, Event::Failed, "", "not one chunked coding"},
    {"until the connection ends", kOkHead + "Server: x\r\n\r\nfirst second", true, Event::Complete,
     "first second", ""},
    {"until the connection ends, not yet ended", kOkHead + "\r\npart", false, Event::NeedMore,
     "part", ""},
    {"no content", "HTTP/1.1 204 No Content\r\nContent-Length: 4\r\n\r\nbody", false,
     Event::Complete, "", ""},
    {"interim answers skipped",
     "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early\r\nLink: x\r\n\r\n" + kOkHead +
         "Content-Length: 2\r\n\r\nok",
     false, Event::Complete, "ok", ""},
    {"switching protocols", "HTTP/1.1 101 Switching\r\n\r\n", false, Event::Failed, "", "(101)"},
    {"no status line", "garbage\r\nmore: garbage\r\n\r\nbody", false, Event::Failed, "",
     "does not begin with an HTTP/1.x status line"},
    {"another protocol", "HTTP/2 200\r\n\r\n", false, Event::Failed, "",
     "does not begin with an HTTP/1.x status line"},
    {"status without a reason", "HTTP/1.0 200\r\nContent-Length: 1\r\n\r\nx", false,
     Event::Complete, "x", ""},
    {"folded header", kOkHead + "X-A: b\r\n c\r\n\r\n", false, Event::Failed, "", "folded"},
    {"header without a colon", kOkHead + "Content-Length 5\r\n\r\n", false, Event::Failed, "",
     "is not a name and a value"},
    {"blank before the colon", kOkHead + "Content-Length : 5\r\n\r\nhello", false, Event::Failed,
     "", "is not a name and a value"},
    {"closed without a word", "", true, Event::Failed, "", "without answering"},
    {"closed inside the head", kOkHead + "Content-Le", true, Event::Failed, "",
     "ended inside the head"},
};

TEST(ResponseReader, FramingsReadTheSameWholeAndOneByteAtATime) {
  for (const FramingCase& c : kFramings) {
    SCOPED_TRACE(c.name);
    const ReadOutcome whole = Read(c.bytes, c.eof, c.bytes.size() + 1);
    const ReadOutcome bytewise = Read(c.bytes, c.eof, 1);
    EXPECT_EQ(whole.event, c.event);
    EXPECT_EQ(whole.body, c.body);
    if (c.error.empty()) {
      EXPECT_EQ(whole.error, "");
    } else {
      EXPECT_NE(whole.error.find(c.error), std::string::npos) << whole.error;
      EXPECT_EQ(whole.error.find('\r'), std::string::npos);
    }
    EXPECT_EQ(bytewise.event, whole.event);
    EXPECT_EQ(bytewise.head, whole.head);
    EXPECT_EQ(bytewise.body, whole.body);
    EXPECT_EQ(bytewise.error, whole.error);
    EXPECT_EQ(bytewise.used, whole.used);
  }
}

TEST(ResponseReader, WhatIsKeptOfTheHeadAndWhatIsLeftAfterTheBody) {
  // The head keeps the final answer only, each line ended by CR LF even where the server sent a
  // bare line feed, and the bytes after a complete response are not taken.
  ReadOutcome out = Read(
      "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 302 Found\nLocation: /new\n"
      "Content-Length: 0\n\nLEFT",
      false, 1000);
  EXPECT_EQ(out.event, Event::Complete);
  EXPECT_EQ(out.status, 302u);
  EXPECT_EQ(out.location, "/new");
  EXPECT_EQ(out.head, "HTTP/1.1 302 Found\r\nLocation: /new\r\nContent-Length: 0\r\n\r\n");
  EXPECT_EQ(out.used, 78u);  // all but "LEFT"
  // What arrived of a head that is not HTTP stays readable.
  out = Read("garbage\r\nmore", false, 3);
  EXPECT_EQ(out.head, "garbage\r\n");
}

TEST(ResponseReader, LimitsHoldAtTheirBoundaries) {
  // A head of exactly the limit is read; one byte more is not, whether it arrives at once or
  // byte by byte, and the bytes beyond the limit are not taken.
  const std::string start = kOkHead + "X-Fill: ";
  const std::size_t fill = kResponseHeadLimit - start.size() - 4;
  const std::string head = start + std::string(fill, 'f') + "\r\n\r\n";
  ASSERT_EQ(head.size(), kResponseHeadLimit);
  const ReadOutcome exact = Read(head, false, 4096);
  EXPECT_EQ(exact.event, Event::NeedMore);  // the body runs to the end of the connection
  EXPECT_EQ(exact.head, head);
  EXPECT_EQ(Read(head + "x", true, 4096).event, Event::Complete);
  for (std::size_t piece : {std::size_t{1}, std::size_t{70000}}) {
    const std::string over = start + std::string(fill + 1, 'f') + "\r\n\r\n";
    const ReadOutcome out = Read(over + std::string(100000, 'g'), false, piece);
    EXPECT_EQ(out.event, Event::Failed);
    EXPECT_NE(out.error.find("head is larger than 65536 bytes"), std::string::npos);
    EXPECT_LE(out.head.size(), kResponseHeadLimit);
    EXPECT_LE(out.used, kResponseHeadLimit);
  }
  // Interim answers count towards the head limit: an endless stream of them ends.
  std::string interims;
  while (interims.size() <= kResponseHeadLimit) interims += "HTTP/1.1 100 Continue\r\n\r\n";
  EXPECT_EQ(Read(interims, false, 512).event, Event::Failed);

  // The body limit: Content-Length at the limit is read, one above fails before any body byte;
  // chunks and a body up to the close are stopped as they pass it.
  EXPECT_EQ(Read(kOkHead + "Content-Length: 10\r\n\r\n0123456789", false, 7, 10).body,
            "0123456789");
  ReadOutcome out = Read(kOkHead + "Content-Length: 11\r\n\r\n01234567890", false, 7, 10);
  EXPECT_EQ(out.event, Event::Failed);
  EXPECT_EQ(out.body, "");
  EXPECT_EQ(out.error, BodyLimitText(10));
  out = Read(kChunkedHead + "6\r\n012345\r\n5\r\n67890\r\n0\r\n\r\n", false, 3, 10);
  EXPECT_EQ(out.event, Event::Failed);
  EXPECT_EQ(out.body, "012345");
  out = Read(kOkHead + "\r\n" + std::string(11, 'x'), true, 4, 10);
  EXPECT_EQ(out.event, Event::Failed);
  EXPECT_LE(out.body.size(), 10u);
}

}  // namespace
}  // namespace drovane
