#include "app/TextHelpers.h"

#include <gtest/gtest.h>

namespace drovane {
namespace {

TEST(FormatSize, WordsBelowOneKilobyteAndUnitsAbove) {
  EXPECT_EQ(FormatSize(0, true), "0 bytes");
  EXPECT_EQ(FormatSize(1, true), "1 byte");
  EXPECT_EQ(FormatSize(2, true), "2 bytes");
  EXPECT_EQ(FormatSize(1023, true), "1023 bytes");
  EXPECT_EQ(FormatSize(1024, true), "1.0 KB");
  EXPECT_EQ(FormatSize(1536, true), "1.5 KB");
  EXPECT_EQ(FormatSize(1048576, true), "1.0 MB");
  EXPECT_EQ(FormatSize(1073741824, true), "1.0 GB");
  EXPECT_EQ(FormatSize(1023, false), "1023");
  EXPECT_EQ(FormatSize(1536, false), "1.5 KB");
}

}  // namespace
}  // namespace drovane
