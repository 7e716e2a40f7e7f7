#pragma once
// Reading a response: the status line, the head and its header lines, the progress total.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace drovane {

// The number after the first space of a line that begins "HTTP/"; 0 for any other line and
// when no number follows (or it is negative or too large).
std::uint32_t ParseStatusCode(std::string_view line);

// The value of a header in a received head: the text after "\r\n" name ": " up to the next
// "\r\n". The name is matched case-sensitively. Empty when the header is absent or its line
// never ends.
std::string FindResponseHeader(const std::string& head, const std::string& name);

// The expected size of the whole response, head included: the Content-Length header's number
// plus headLength. 0 (unknown) without a readable Content-Length, and for a negative one or a
// sum beyond 32 bits.
std::int32_t ExpectedResponseTotal(const std::string& head);

// Where the head ends in data that continues a head after its status line: the position just
// past the first empty line ("\r\n" at the start of a line). When none is found yet, found is
// false and position tells from where the search can go on once more data has arrived (the
// empty line may begin in the last bytes). atLineStart says whether data[0] begins a line.
struct HeadEndScan {
  std::size_t position;
  bool found;
};
HeadEndScan ScanForHeadEnd(std::string_view data, bool atLineStart);

// Appends the header lines at the start of data to head, each line with its line feed, up to
// the empty line, then the empty line "\r\n"; returns how many bytes of data it used (the
// empty line included). Lines lacking their line feed are left in data.
std::size_t TakeHeadLines(std::string_view data, std::string& head);

// A response made readable in the log: tabs, carriage returns and line feeds written as \t,
// \r and \n, each \n followed by a real line feed.
std::string ResponseForLog(const std::string& response);

}  // namespace drovane
