#include "base/FileLog.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <windows.h>

#include <regex>
#include <thread>
#include <vector>

#include "base/DataFile.h"
#include "base/FileSystem.h"
#include "support/TempFolder.h"

namespace drovane {
namespace {

using test::ReadTestFile;
using test::TempFolder;

TEST(LogTimePrefix, HoursMinutesSecondsAndTrailingSpace) {
  EXPECT_TRUE(std::regex_match(LogTimePrefix(), std::regex(R"(\[\d\d:\d\d:\d\d\] )")));
}

TEST(DatedLogFileName, DateAndTimeWithLeadingZeros) {
  EXPECT_TRUE(
      std::regex_match(DatedLogFileName(), std::regex(R"(\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d\.txt)")));
}

TEST(LogLine, PrefixTabAndPlainForms) {
  FileLog& log = Log();
  const size_t before = log.Pending().size();
  LogLine() << "Creating "
            << "MainForm"
            << ". " << 42;
  LogLine(LogLine::Tab) << "engine";
  LogLine(LogLine::Plain) << "\t#1:\targ";
  const std::string added = log.Pending().substr(before);
  EXPECT_TRUE(
      std::regex_match(added, std::regex("\\[\\d\\d:\\d\\d:\\d\\d\\] Creating MainForm\\. 42\n"
                                         "\t\\[\\d\\d:\\d\\d:\\d\\d\\] engine\n"
                                         "\t#1:\targ\n")))
      << added;
}

TEST(FileLog, FolderPathGetsDatedFileCreatedAtFirstFlush) {
  TempFolder folder;
  FileLog log;
  log.Write("before the file was named\n");
  log.SetLogFile(folder / "log\\");
  const std::string path = log.Path();
  EXPECT_EQ(path.substr(0, (folder / "log\\").size()), folder / "log\\");
  EXPECT_TRUE(std::regex_match(path.substr((folder / "log\\").size()),
                               std::regex(R"(\d{4}-\d\d-\d\d_\d\d-\d\d-\d\d\.txt)")));
  ASSERT_TRUE(log.Flush());
  EXPECT_EQ(ReadTestFile(path), "before the file was named\n");
  EXPECT_EQ(log.Pending(), "");
}

TEST(FileLog, ExactPathIsExtendedAndDestructionWritesPendingText) {
  TempFolder folder;
  const std::string path = folder / "given.txt";
  test::WriteTestFile(path, "old\n");
  {
    FileLog log;
    log.SetLogFile(path);
    EXPECT_EQ(log.Path(), path);
    log.Write("new\n");
  }  // ends at once, well within the flusher's second
  EXPECT_EQ(ReadTestFile(path), "old\nnew\n");
}

TEST(FileLog, FlusherWritesWithinAboutASecond) {
  TempFolder folder;
  FileLog log;
  log.SetLogFile(folder / "flushed.txt");
  log.Write("line\n");
  std::string content;
  for (int i = 0; i < 60 && content.empty(); ++i) {
    Sleep(50);
    ReadWholeFile(folder / "flushed.txt", content);
  }
  EXPECT_EQ(content, "line\n");
}

TEST(FileLog, UnopenableFileKeepsTextForTheNextPass) {
  TempFolder folder;
  test::WriteTestFile(folder / "blocker", "x");
  FileLog log;
  log.Write("kept\n");
  log.SetLogFile(folder / "blocker\\log.txt");  // a file stands where the folder should be
  EXPECT_FALSE(log.Flush());
  log.Write("later\n");
  EXPECT_EQ(log.Pending(), "kept\nlater\n");
  log.SetLogFile(folder / "good.txt");
  EXPECT_TRUE(log.Flush());
  EXPECT_EQ(ReadTestFile(folder / "good.txt"), "kept\nlater\n");

  // While the file stays unopenable, the kept text is bounded: the newest lines stay, whole, and
  // a line says what was dropped.
  log.SetLogFile(folder / "blocker\\log.txt");
  const std::string line(99, 'x');
  for (int pass = 0; pass < 3; ++pass) {
    for (size_t i = 0; i < FileLog::kPendingLimit / 100; ++i) log.Write(line + "\n");
    log.Write("newest " + std::to_string(pass) + "\n");
    EXPECT_FALSE(log.Flush());
  }
  const std::string pending = log.Pending();
  EXPECT_LE(pending.size(), FileLog::kPendingLimit);
  EXPECT_EQ(pending.substr(pending.size() - 9), "newest 2\n");
  EXPECT_NE(pending.find("] The log file could not be written: "), std::string::npos);
  EXPECT_EQ(pending.substr(pending.find('\n') + 1, 100), line + "\n");  // whole lines kept
}

TEST(FileLog, ConcurrentWritersNeverInterleaveOrLoseLines) {
  TempFolder folder;
  const std::string path = folder / "threads.txt";
  constexpr int kThreads = 4;
  constexpr int kLines = 2000;
  {
    FileLog log;
    log.SetLogFile(path);
    std::vector<std::thread> writers;
    for (int t = 0; t < kThreads; ++t) {
      writers.emplace_back([&log, t] {
        for (int i = 0; i < kLines; ++i) {
          log.Write("writer " + std::to_string(t) + " line " + std::to_string(i) + " end\n");
          if (i % 500 == 0) log.Flush();  // flushes race with the writers
        }
      });
    }
    for (std::thread& writer : writers) writer.join();
  }
  const std::string content = ReadTestFile(path);
  std::vector<int> next(kThreads, 0);
  size_t start = 0;
  int lines = 0;
  const std::regex line(R"(writer (\d) line (\d+) end)");
  while (start < content.size()) {
    const size_t end = content.find('\n', start);
    ASSERT_NE(end, std::string::npos);
    std::smatch match;
    const std::string text = content.substr(start, end - start);
    ASSERT_TRUE(std::regex_match(text, match, line)) << text;
    const int writer = std::stoi(match[1]);
    EXPECT_EQ(std::stoi(match[2]), next[writer]++);  // each writer's lines in order, none lost
    ++lines;
    start = end + 1;
  }
  EXPECT_EQ(lines, kThreads * kLines);
}

}  // namespace
}  // namespace drovane
