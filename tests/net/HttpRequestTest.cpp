#include "net/HttpRequest.h"

#include <gtest/gtest.h>

#include "base/Version.h"

namespace drovane {
namespace {

HttpHeaders DefaultHeaders() {
  return {{"Accept", "*/*"}, {"Connection", "close"}, {"User-Agent", kUserAgent}};
}

std::string GetHead(const std::string& url, const HttpHeaders& headers) {
  std::string head;
  BuildGetRequest(SplitUrl(url), headers, head);
  return head;
}

TEST(HttpRequestBytes, GetOfTheUpdateList) {
  EXPECT_EQ(GetHead("http://client.drovane.com/files/updates.dat", DefaultHeaders()),
            "GET /files/updates.dat HTTP/1.1\r\n"
            "Host: client.drovane.com\r\n"
            "Accept: */*\r\n"
            "Connection: close\r\n"
            "User-Agent: DrovaneClient/1.9.01\r\n"
            "\r\n");
}

TEST(HttpRequestBytes, BareHostAsksForRootAndPortStaysInHost) {
  EXPECT_EQ(GetHead("http://127.0.0.1:8123", {}), "GET / HTTP/1.1\r\nHost: 127.0.0.1:8123\r\n\r\n");
}

TEST(HttpRequestBytes, HeadersInByteOrderAndEmptyOnesLeftOut) {
  const HttpHeaders headers = {{"b", "2"}, {"B", "1"}, {"a", ""}, {"Z", "z"}};
  EXPECT_EQ(GetHead("http://h/p", headers),
            "GET /p HTTP/1.1\r\nHost: h\r\nB: 1\r\nZ: z\r\nb: 2\r\n\r\n");
}

TEST(HttpRequestBytes, FormPostWithoutFieldsHasContentLengthZero) {
  std::string head;
  RequestBody body;
  BuildPostRequest(SplitUrl("http://h/auth.php"), DefaultHeaders(), {}, "", 0, head, body);
  EXPECT_EQ(head,
            "POST /auth.php HTTP/1.1\r\n"
            "Host: h\r\n"
            "Accept: */*\r\n"
            "Connection: close\r\n"
            "User-Agent: DrovaneClient/1.9.01\r\n"
            "Content-Type: application/x-www-form-urlencoded\r\n"
            "Content-Length: 0\r\n"
            "\r\n");
  EXPECT_TRUE(body.empty());
}

TEST(HttpRequestBytes, FormPostCarriesTheFieldsAsGiven) {
  std::string head;
  RequestBody body;
  BuildPostRequest(SplitUrl("http://h/a"), {}, {}, "x=1&name=a+b%26", 0, head, body);
  EXPECT_EQ(head,
            "POST /a HTTP/1.1\r\nHost: h\r\n"
            "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: 15\r\n\r\n");
  EXPECT_EQ(body.ToString(), "x=1&name=a+b%26");
}

TEST(HttpRequestBytes, MultipartWithOneFileAndOneField) {
  std::string head;
  RequestBody body;
  const MultipartFiles files = {{"a.gz", std::string("\x1F\x8B\x00zip", 6)}};
  BuildPostRequest(SplitUrl("http://h/upload.php?u=1"), {}, files, "x=1", 123456, head, body);
  const std::string b = "---------------------------123456";
  const std::string expectedBody =
      "--" + b +
      "\r\nContent-Disposition: form-data; name=\"file0\"; filename=\"a.gz\"\r\n"
      "Content-Type: application/binary\r\n\r\n" +
      std::string("\x1F\x8B\x00zip", 6) + "\r\n--" + b +
      "\r\nContent-Disposition: form-data; name=\"x\"\r\n\r\n1\r\n--" + b + "--";
  EXPECT_EQ(body.ToString(), expectedBody);
  EXPECT_EQ(head,
            "POST /upload.php?u=1 HTTP/1.1\r\nHost: h\r\n"
            "Content-Type: multipart/form-data; boundary=" +
                b + "\r\nContent-Length: " + std::to_string(expectedBody.size()) + "\r\n\r\n");
}

TEST(HttpRequestBytes, MultipartPartsNamedInFileNameOrderWithoutFields) {
  std::string head;
  RequestBody body;
  const MultipartFiles files = {{"b.gz", "B"}, {"A.gz", "A"}};
  BuildPostRequest(SplitUrl("http://h/u"), {}, files, "", -5, head, body);
  const std::string b = "----------------------------5";  // 27 hyphens, then "-5"
  EXPECT_EQ(body.ToString(),
            "--" + b +
                "\r\nContent-Disposition: form-data; name=\"file0\"; filename=\"A.gz\"\r\n"
                "Content-Type: application/binary\r\n\r\nA\r\n--" +
                b +
                "\r\nContent-Disposition: form-data; name=\"file1\"; filename=\"b.gz\"\r\n"
                "Content-Type: application/binary\r\n\r\nB\r\n--" +
                b + "--");
}

TEST(HttpRequestBytes, MultipartBorrowsTheFileContents) {
  std::string head;
  RequestBody body;
  const MultipartFiles files = {{"big", std::string(100000, 'x')}};
  BuildPostRequest(SplitUrl("http://h/u"), {}, files, "", 1, head, body);
  bool borrowed = false;
  for (std::string_view piece : body.Pieces()) {
    borrowed |= piece.data() == files.at("big").data() && piece.size() == 100000;
  }
  EXPECT_TRUE(borrowed);
}

TEST(HttpRequestBytes, BoundaryIsTheTickAsSignedDecimal) {
  EXPECT_EQ(MultipartBoundary(0), std::string(27, '-') + "0");
  EXPECT_EQ(MultipartBoundary(2147483647), std::string(27, '-') + "2147483647");
  EXPECT_EQ(MultipartBoundary(-2147483647 - 1), std::string(27, '-') + "-2147483648");
}

TEST(HttpRequestFormFields, PairsInOrderUndecoded) {
  using Pairs = std::vector<std::pair<std::string, std::string>>;
  EXPECT_EQ(SplitFormFields("user=a%20b&x=1"), (Pairs{{"user", "a%20b"}, {"x", "1"}}));
  EXPECT_EQ(SplitFormFields("a=1=2"), (Pairs{{"a", "1=2"}}));
  EXPECT_EQ(SplitFormFields("flag&&=v&n="), (Pairs{{"flag", ""}, {"", "v"}, {"n", ""}}));
  EXPECT_EQ(SplitFormFields(""), Pairs{});
}

TEST(HttpRequestLogMask, EveryPasswordValueIsReplacedWholeUpToTheNextParameter) {
  const std::string stars(28, '*');
  // A password longer than the mask leaves none of its characters behind.
  EXPECT_EQ(MaskPasswordForLog("/auth.php?user=a&password=0123456789012345678901234567890&x=1"),
            "/auth.php?user=a&password=" + stars + "&x=1");
  EXPECT_EQ(MaskPasswordForLog("/auth.php?password=abc&x=1"), "/auth.php?password=" + stars + "&x=1");
  EXPECT_EQ(MaskPasswordForLog("/a?password="), "/a?password=" + stars);
  EXPECT_EQ(MaskPasswordForLog("/a?password=1&password=2"),
            "/a?password=" + stars + "&password=" + stars);
  EXPECT_EQ(MaskPasswordForLog("/files/updates.dat"), "/files/updates.dat");
}

TEST(HttpRequestBody, OwnedTextsJoinAndBorrowedBlocksStayInPlace) {
  const std::string block = "BLOCK";
  RequestBody body;
  body.Append("ab");
  body.Append("cd");
  body.AppendBorrowed(block);
  body.Append("");
  body.Append("ef");
  ASSERT_EQ(body.Pieces().size(), 3u);
  EXPECT_EQ(body.Pieces()[0], "abcd");
  EXPECT_EQ(body.Pieces()[1].data(), block.data());
  EXPECT_EQ(body.ToString(), "abcdBLOCKef");
  EXPECT_EQ(body.size(), 11u);
  body.clear();
  EXPECT_TRUE(body.empty());
  EXPECT_TRUE(body.Pieces().empty());
}

TEST(HttpRequestBody, SliceCoversAWindowAcrossPieces) {
  const std::vector<std::string_view> pieces = {"head", "", "0123456789", "tail"};
  auto joined = [](const std::vector<std::string_view>& views) {
    std::string text;
    for (std::string_view view : views) text.append(view.data(), view.size());
    return text;
  };
  EXPECT_EQ(joined(SliceOfPieces(pieces, 0, 6)), "head01");
  EXPECT_EQ(joined(SliceOfPieces(pieces, 6, 10)), "23456789ta");
  EXPECT_EQ(joined(SliceOfPieces(pieces, 16, 100)), "il");
  EXPECT_TRUE(SliceOfPieces(pieces, 18, 10).empty());
  EXPECT_EQ(SliceOfPieces(pieces, 4, 10).size(), 1u);
}

}  // namespace
}  // namespace drovane
