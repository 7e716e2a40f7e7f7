#pragma once
// The HttpClient lines written to the process log since the capture began, without their tab
// and time prefix.
#include <cstddef>
#include <string>
#include <vector>

namespace drovane::test {

class LogCapture {
 public:
  LogCapture();
  // Lines of the form "\t[hh:mm:ss] text"; a line of another form fails the test.
  std::vector<std::string> Lines() const;

 private:
  std::size_t start_;
};

// Index of the first line equal to text at or after from; -1 when there is none.
int FindLine(const std::vector<std::string>& lines, const std::string& text, int from = 0);

}  // namespace drovane::test
