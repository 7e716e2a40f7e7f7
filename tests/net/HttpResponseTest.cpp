#include "net/HttpResponse.h"

#include <gtest/gtest.h>

namespace drovane {
namespace {

TEST(HttpResponseStatusLine, NumberAfterTheFirstSpaceOfAnHttpLine) {
  EXPECT_EQ(ParseStatusCode("HTTP/1.1 200 OK\r"), 200u);
  EXPECT_EQ(ParseStatusCode("HTTP/1.0 404 Not Found\r"), 404u);
  EXPECT_EQ(ParseStatusCode("HTTP/1.1  302\r"), 302u);  // "%d" skips white space
  EXPECT_EQ(ParseStatusCode("HTTP/1.1 abc\r"), 0u);
  EXPECT_EQ(ParseStatusCode("HTTP/1.1\r"), 0u);
  EXPECT_EQ(ParseStatusCode("HTTP/1.1 -5\r"), 0u);
  EXPECT_EQ(ParseStatusCode("HTTP/1.1 99999999999\r"), 0u);
  EXPECT_EQ(ParseStatusCode("http/1.1 200 OK\r"), 0u);
  EXPECT_EQ(ParseStatusCode("garbage 200\r"), 0u);
  EXPECT_EQ(ParseStatusCode(""), 0u);
}

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

TEST(HttpResponseTotal, ContentLengthPlusHeadLength) {
  std::string head = "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n";
  head += "X-Pad: " + std::string(100 - head.size() - 2 - 9, 'p') + "\r\n\r\n";
  ASSERT_EQ(head.size(), 100u);
  EXPECT_EQ(ExpectedResponseTotal(head), 110);
  EXPECT_EQ(ExpectedResponseTotal("HTTP/1.1 200 OK\r\n\r\n"), 0);
  EXPECT_EQ(ExpectedResponseTotal("HTTP/1.1 200 OK\r\nContent-Length: x\r\n\r\n"), 0);
  EXPECT_EQ(ExpectedResponseTotal("HTTP/1.1 200 OK\r\nContent-Length: -50\r\n\r\n"), 0);
  EXPECT_EQ(ExpectedResponseTotal("HTTP/1.1 200 OK\r\nContent-Length: 2147483647\r\n\r\n"), 0);
  EXPECT_EQ(ExpectedResponseTotal("HTTP/1.1 200 OK\r\nContent-Length: 0\r\n\r\n"), 38);
}

TEST(HttpResponseHeadEnd, EmptyLineAtALineStart) {
  EXPECT_TRUE(ScanForHeadEnd("A: b\r\nC: d\r\n\r\nbody", true).found);
  EXPECT_EQ(ScanForHeadEnd("A: b\r\nC: d\r\n\r\nbody", true).position, 14u);
  // No header lines at all: the empty line follows the status line at once.
  EXPECT_TRUE(ScanForHeadEnd("\r\nbody", true).found);
  EXPECT_EQ(ScanForHeadEnd("\r\nbody", true).position, 2u);
  // Bare line feed before the empty line.
  EXPECT_EQ(ScanForHeadEnd("A: b\n\r\nbody", true).position, 7u);
}

TEST(HttpResponseHeadEnd, NotYetFoundTellsWhereToGoOn) {
  HeadEndScan scan = ScanForHeadEnd("A: b\r\nC: d\r\n\r", true);
  EXPECT_FALSE(scan.found);
  EXPECT_EQ(scan.position, 11u);  // the last two bytes may begin the empty line
  scan = ScanForHeadEnd("\r", true);
  EXPECT_FALSE(scan.found);
  EXPECT_EQ(scan.position, 0u);
  scan = ScanForHeadEnd("", true);
  EXPECT_FALSE(scan.found);
  EXPECT_EQ(scan.position, 0u);
  // Away from a line start "\r\n" is only the end of a line.
  EXPECT_FALSE(ScanForHeadEnd("\r\nX: y\r\n", false).found);
}

TEST(HttpResponseHeadEnd, ResumedScanFindsAnEmptyLineAcrossArrivals) {
  const std::string data = "A: b\r\nC: d\r\n\r\nbody";
  const HeadEndScan first = ScanForHeadEnd(std::string_view(data).substr(0, 13), true);
  ASSERT_FALSE(first.found);
  const HeadEndScan second = ScanForHeadEnd(std::string_view(data).substr(first.position), false);
  ASSERT_TRUE(second.found);
  EXPECT_EQ(first.position + second.position, 14u);
}

TEST(HttpResponseHeadLines, LinesUpToTheEmptyLineThenCrLf) {
  std::string head = "HTTP/1.1 200 OK\r\n";
  const std::string data = "A: b\r\nC: d\r\n\r\nbody\r\n";
  EXPECT_EQ(TakeHeadLines(data, head), 14u);
  EXPECT_EQ(head, "HTTP/1.1 200 OK\r\nA: b\r\nC: d\r\n\r\n");

  std::string bare;
  EXPECT_EQ(TakeHeadLines("\r\nbody", bare), 2u);
  EXPECT_EQ(bare, "\r\n");
}

TEST(HttpResponseForLog, ControlCharactersWrittenOut) {
  EXPECT_EQ(ResponseForLog("HTTP/1.1 200 OK\r\nA:\tb\r\n\r\nx"),
            "HTTP/1.1 200 OK\\r\\n\nA:\\tb\\r\\n\n\\r\\n\nx");
  EXPECT_EQ(ResponseForLog(""), "");
}

}  // namespace
}  // namespace drovane
