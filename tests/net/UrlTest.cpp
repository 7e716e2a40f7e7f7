#include "net/Url.h"

#include <gtest/gtest.h>

namespace drovane {
namespace {

TEST(UrlSplit, SchemeHostAndPathWithQuery) {
  const UrlParts parts = SplitUrl("http://client.drovane.com/upload.php?user=a&x=1");
  EXPECT_EQ(parts.scheme, "http");
  EXPECT_EQ(parts.host, "client.drovane.com");
  EXPECT_EQ(parts.path, "/upload.php?user=a&x=1");
}

TEST(UrlSplit, BareHostAsksForRoot) {
  EXPECT_EQ(SplitUrl("http://client.drovane.com").path, "/");
  EXPECT_EQ(SplitUrl("http://client.drovane.com").host, "client.drovane.com");
  EXPECT_EQ(SplitUrl("http://").path, "/");
  EXPECT_EQ(SplitUrl("http://").host, "");
}

TEST(UrlSplit, WithoutSchemeTheHostStartsTheUrl) {
  const UrlParts parts = SplitUrl("example.org/a/b");
  EXPECT_EQ(parts.scheme, "");
  EXPECT_EQ(parts.host, "example.org");
  EXPECT_EQ(parts.path, "/a/b");
}

TEST(UrlSplit, PortStaysWithTheHost) {
  const UrlParts parts = SplitUrl("http://127.0.0.1:8123/x");
  EXPECT_EQ(parts.host, "127.0.0.1:8123");
  EXPECT_EQ(parts.path, "/x");
}

TEST(UrlResolveTarget, PortIsTheServiceElseTheScheme) {
  ResolveTarget target = TargetOf(SplitUrl("http://127.0.0.1:8123/x"));
  EXPECT_EQ(target.host, "127.0.0.1");
  EXPECT_EQ(target.service, "8123");

  target = TargetOf(SplitUrl("http://client.drovane.com/x"));
  EXPECT_EQ(target.host, "client.drovane.com");
  EXPECT_EQ(target.service, "http");

  target = TargetOf(SplitUrl("localhost/x"));
  EXPECT_EQ(target.host, "localhost");
  EXPECT_EQ(target.service, "http");

  // Not a port: the whole text is the host, and resolving it fails as it should.
  target = TargetOf(SplitUrl("http://host:abc/x"));
  EXPECT_EQ(target.host, "host:abc");
  EXPECT_EQ(target.service, "http");
  target = TargetOf(SplitUrl("http://host:/x"));
  EXPECT_EQ(target.host, "host:");
}

TEST(UrlEncode, SpacePlusUnreservedKeptOthersEscapedUppercase) {
  EXPECT_EQ(UrlEncode("a b&c.d"), "a+b%26c.d");
  EXPECT_EQ(UrlEncode("AZaz09-._"), "AZaz09-._");
  EXPECT_EQ(UrlEncode("~*'/=?"), "%7E%2A%27%2F%3D%3F");
  EXPECT_EQ(UrlEncode(std::string("\xE9\x00\xFF", 3)), "%E9%00%FF");
  EXPECT_EQ(UrlEncode(""), "");
}

TEST(UrlDecode, EscapesPlusAndBrokenEscapesKept) {
  EXPECT_EQ(UrlDecode("%41+%zz%4"), "A %zz%4");
  EXPECT_EQ(UrlDecode("%"), "%");
  EXPECT_EQ(UrlDecode("ab%"), "ab%");
  EXPECT_EQ(UrlDecode("%4"), "%4");
  EXPECT_EQ(UrlDecode("%4g1"), "%4g1");
  EXPECT_EQ(UrlDecode("%%41"), "%A");
  EXPECT_EQ(UrlDecode("%e9%E9"), "\xE9\xE9");
  EXPECT_EQ(UrlDecode("a+b"), "a b");
}

TEST(UrlDecode, UndoesUrlEncodeForEveryByte) {
  std::string all;
  for (int byte = 0; byte < 256; ++byte) all += static_cast<char>(byte);
  EXPECT_EQ(UrlDecode(UrlEncode(all)), all);
}

}  // namespace
}  // namespace drovane
