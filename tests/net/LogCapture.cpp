#include "LogCapture.h"

#include <gtest/gtest.h>

#include "base/FileLog.h"

namespace drovane::test {
namespace {

bool HasTabTimePrefix(const std::string& line) {
  if (line.size() < 12 || line[0] != '\t' || line[1] != '[' || line[10] != ']' || line[11] != ' ') {
    return false;
  }
  for (int i : {2, 3, 5, 6, 8, 9}) {
    if (line[i] < '0' || line[i] > '9') return false;
  }
  return line[4] == ':' && line[7] == ':';
}

}  // namespace

LogCapture::LogCapture() : start_(Log().Pending().size()) {}

std::vector<std::string> LogCapture::Lines() const {
  const std::string text = Log().Pending().substr(start_);
  std::vector<std::string> lines;
  std::string::size_type begin = 0;
  while (begin < text.size()) {
    std::string::size_type end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(begin, end - begin);
    begin = end + 1;
    EXPECT_TRUE(HasTabTimePrefix(line)) << "log line without its prefix: " << line;
    if (HasTabTimePrefix(line)) lines.push_back(line.substr(12));
  }
  return lines;
}

int FindLine(const std::vector<std::string>& lines, const std::string& text, int from) {
  for (int i = from; i < static_cast<int>(lines.size()); ++i) {
    if (lines[i] == text) return i;
  }
  return -1;
}

}  // namespace drovane::test
