// The gzip streams of the upload files and the reasons given when zlib fails.
#include <zlib.h>

#include <gtest/gtest.h>

#include <random>

#include "UploadTestData.h"
#include "upload/Gzip.h"

namespace drovane {
namespace {

TEST(Gzip, MakesOneGzipStreamThatUnpacksToTheInput) {
  std::mt19937 random(7);
  // Larger than the 64 KB output buffer even after compression: many rounds of deflate.
  std::string input(300000, '\0');
  for (char& c : input) c = static_cast<char>(random());
  input += std::string(200000, 'x');
  std::string output = "left over from before";
  ASSERT_TRUE(GzipCompress(input.data(), input.size(), output));
  EXPECT_EQ(LastGzipError(), "");
  ASSERT_GE(output.size(), 18u);
  EXPECT_EQ(output.substr(0, 3), std::string("\x1f\x8b\x08", 3));  // gzip, deflate
  EXPECT_EQ(test::Gunzip(output), input);
}

TEST(Gzip, AnEmptyInputGivesAnEmptyStream) {
  std::string output;
  ASSERT_TRUE(GzipCompress("", 0, output));
  EXPECT_EQ(output.substr(0, 2), "\x1f\x8b");
  EXPECT_EQ(test::Gunzip(output), "");
}

TEST(Gzip, FailureTextsOfEveryZlibResult) {
  EXPECT_STREQ(GzipInitErrorText(Z_VERSION_ERROR), "Zlib library version mismatch");
  EXPECT_STREQ(GzipInitErrorText(Z_MEM_ERROR), "Insufficient memory");
  EXPECT_STREQ(GzipInitErrorText(Z_STREAM_ERROR), "Invalid parameters");
  EXPECT_STREQ(GzipInitErrorText(Z_DATA_ERROR), "Unknown error while initialization");

  EXPECT_STREQ(GzipDeflateErrorText(-6), "Zlib library version mismatch");
  EXPECT_STREQ(GzipDeflateErrorText(-5), "Ran out of output buffer for writing compressed bytes");
  EXPECT_STREQ(GzipDeflateErrorText(-4), "Insufficient memory");
  EXPECT_STREQ(GzipDeflateErrorText(-3), "The deflate data was invalid or incomplete");
  EXPECT_STREQ(GzipDeflateErrorText(-2), "The stream state was inconsistent");
  EXPECT_STREQ(GzipDeflateErrorText(-1), "Error occured while reading file");
  EXPECT_STREQ(GzipDeflateErrorText(2), "Unknown error while initialization");
}

}  // namespace
}  // namespace drovane
