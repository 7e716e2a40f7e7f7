#include "data/ByteReader.h"

#include <gtest/gtest.h>

#include <random>

#include "base/DataFile.h"
#include "support/TempFolder.h"

namespace drovane {
namespace {

using test::TempFolder;
using test::WriteTestFile;

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + i / 251) & 0xFF);
  return bytes;
}

TEST(ReadInt32At, LittleEndianAndOnlyInside) {
  const std::string bytes = "\x01\x02\x03\x84\x05";
  BufferReader reader(bytes.data(), bytes.size());
  int32_t value = 0;
  ASSERT_TRUE(ReadInt32At(reader, 0, &value));
  EXPECT_EQ(static_cast<uint32_t>(value), 0x84030201u);
  ASSERT_TRUE(ReadInt32At(reader, 1, &value));
  EXPECT_FALSE(ReadInt32At(reader, 2, &value));
  EXPECT_FALSE(ReadInt32At(reader, -1, &value));
  EXPECT_FALSE(ReadInt32At(reader, INT64_MAX, &value));
}

TEST(BufferReader, ShortReadAtTheEndAndNothingOutside) {
  const std::string bytes = "abcdef";
  BufferReader reader(bytes.data(), bytes.size());
  char out[8] = {};
  EXPECT_EQ(reader.ReadAt(4, out, 8), 2u);
  EXPECT_EQ(std::string(out, 2), "ef");
  EXPECT_EQ(reader.ReadAt(6, out, 1), 0u);
  EXPECT_EQ(reader.ReadAt(-1, out, 1), 0u);
}

// Random reads through the window give the file's bytes, wherever the window happens to be.
TEST(FileReader, RandomReadsMatchTheFile) {
  TempFolder temp;
  const std::string bytes = Pattern(300000);
  WriteTestFile(temp / "file", bytes);
  DataFile file;
  ASSERT_TRUE(file.Open(temp / "file", FileMode::Read));
  FileReader reader(file);
  ASSERT_EQ(reader.Size(), 300000);
  std::mt19937 random(7);
  for (int i = 0; i < 3000; ++i) {
    const int64_t offset = random() % 300010;
    const size_t size = random() % 70000;
    std::string out(size, '\0');
    const size_t read = reader.ReadAt(offset, &out[0], size);
    const size_t expected =
        offset >= 300000 ? 0 : std::min<size_t>(size, 300000 - static_cast<size_t>(offset));
    ASSERT_EQ(read, expected) << offset << " " << size;
    ASSERT_EQ(out.substr(0, read), bytes.substr(std::min<size_t>(offset, 300000), read));
  }
}

// Small steps are served from large windows: one system read for many records.
TEST(FileReader, SmallStepsShareOneWindow) {
  TempFolder temp;
  WriteTestFile(temp / "file", Pattern(1 << 20));
  DataFile file;
  ASSERT_TRUE(file.Open(temp / "file", FileMode::Read));
  FileReader reader(file);
  char out[8];
  for (int64_t offset = 0; offset + 8 <= reader.Size(); offset += 100) {
    ASSERT_EQ(reader.ReadAt(offset, out, 8), 8u);
  }
  EXPECT_LE(reader.Fills(), (1u << 20) / FileReader::kLargeWindow + 2);
}

// The reader never holds more than one window; longer reads are served in pieces.
TEST(FileReader, ReadsLongerThanTheWindowComeInPieces) {
  TempFolder temp;
  const std::string bytes = Pattern(3 * FileReader::kLargeWindow + 123);
  WriteTestFile(temp / "file", bytes);
  DataFile file;
  ASSERT_TRUE(file.Open(temp / "file", FileMode::Read));
  FileReader reader(file);
  size_t available = 0;
  ASSERT_NE(reader.View(7, bytes.size(), &available), nullptr);
  EXPECT_EQ(available, FileReader::kLargeWindow);
  std::string out(bytes.size(), '\0');
  ASSERT_EQ(reader.ReadAt(7, &out[0], bytes.size()), bytes.size() - 7);
  EXPECT_EQ(out.substr(0, bytes.size() - 7), bytes.substr(7));
}

// One reader serves a whole scan: after switching files it never answers from the old window,
// and readers alive at the same time (the window memory is handed on) keep their own bytes.
TEST(FileReader, AttachedToAnotherFileReadsThatFile) {
  TempFolder temp;
  WriteTestFile(temp / "a", std::string(5000, 'a'));
  WriteTestFile(temp / "b", std::string(3000, 'b'));
  DataFile a, b;
  ASSERT_TRUE(a.Open(temp / "a", FileMode::Read));
  ASSERT_TRUE(b.Open(temp / "b", FileMode::Read));
  char out[4] = {};
  {
    FileReader first(a);
    ASSERT_EQ(first.ReadAt(100, out, 4), 4u);
    EXPECT_EQ(std::string(out, 4), "aaaa");
  }  // its window goes to the next reader
  FileReader reader(a);
  FileReader other(b);
  ASSERT_EQ(reader.ReadAt(10, out, 4), 4u);
  EXPECT_EQ(std::string(out, 4), "aaaa");
  ASSERT_EQ(other.ReadAt(10, out, 4), 4u);
  EXPECT_EQ(std::string(out, 4), "bbbb");
  reader.Attach(b);
  EXPECT_EQ(reader.Size(), 3000);
  ASSERT_EQ(reader.ReadAt(10, out, 4), 4u);
  EXPECT_EQ(std::string(out, 4), "bbbb");
  EXPECT_EQ(reader.ReadAt(4000, out, 4), 0u);
  reader.Detach();
  EXPECT_EQ(reader.ReadAt(0, out, 4), 0u);
}

}  // namespace
}  // namespace drovane
