#include "net/ResponseReader.h"

#include <algorithm>

namespace drovane {
namespace {

constexpr char kInvalid[] = "Invalid server response: ";
// A chunk-size line with its extensions; real ones are a few bytes long.
constexpr std::size_t kChunkLineLimit = 4096;
// No size read from a response is taken above this: far beyond any body limit, and small enough
// that no sum of sizes can overflow.
constexpr std::uint64_t kLargestSize = std::uint64_t{1} << 62;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool IsBlank(char c) {
  return c == ' ' || c == '\t';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
           return lower(x) == lower(y);
         });
}

// 1*DIGIT, no sign, no blank; false for anything else and for sizes beyond kLargestSize.
bool ParseDecimalSize(std::string_view text, std::uint64_t& value) {
  if (text.empty()) return false;
  value = 0;
  for (char c : text) {
    if (!IsDigit(c)) return false;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (value > kLargestSize) return false;
  }
  return true;
}

// A header name is a token: no blank, no control character, no separator that ends it early.
bool IsHeaderName(std::string_view name) {
  if (name.empty()) return false;
  return std::none_of(name.begin(), name.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte <= 0x20 || byte == 0x7F;
  });
}

// The elements of a comma-separated list, trimmed, empty ones left out, until visit says stop.
template <typename Visit>
void ForEachListElement(std::string_view list, Visit visit) {
  while (!list.empty()) {
    const std::size_t comma = list.find(',');
    const std::string_view element = TrimBlanks(list.substr(0, comma));
    if (!element.empty() && !visit(element)) return;
    if (comma == std::string_view::npos) return;
    list.remove_prefix(comma + 1);
  }
}

enum class LengthValue { Valid, NotANumber, Differs };

// A Content-Length value: one length, or a list of equal ones, equal also to the length an
// earlier Content-Length line gave (length, -1 when none). Anything else could frame the body
// two ways.
LengthValue ReadContentLength(std::string_view value, std::int64_t& length) {
  if (value.empty()) return LengthValue::NotANumber;
  LengthValue result = LengthValue::Valid;
  ForEachListElement(value, [&](std::string_view element) {
    std::uint64_t one = 0;
    if (!ParseDecimalSize(element, one)) {
      result = LengthValue::NotANumber;
      return false;
    }
    if (length >= 0 && static_cast<std::uint64_t>(length) != one) {
      result = LengthValue::Differs;
      return false;
    }
    length = static_cast<std::int64_t>(one);
    return true;
  });
  return result;
}

// A value from the peer, made safe to quote in an error text.
std::string Quoted(std::string_view text) {
  constexpr std::size_t kShown = 40;
  std::string out = "\"";
  for (char c : text.substr(0, kShown)) {
    const auto byte = static_cast<unsigned char>(c);
    out += byte < 0x20 || byte == 0x7F ? '?' : c;
  }
  if (text.size() > kShown) out += "...";
  return out + "\"";
}

}  // namespace

std::string BodyLimitText(std::uint64_t limit) {
  return "The server's answer is larger than " + std::to_string(limit) +
         " bytes, the most this request accepts.";
}

ResponseReader::ResponseReader(std::uint64_t bodyLimit, std::size_t headLimit)
    : bodyLimit_(std::min(bodyLimit, kLargestSize)), headLimit_(headLimit) {}

bool ResponseReader::InLine() const {
  switch (state_) {
    case State::StatusLine:
    case State::HeaderLines:
    case State::ChunkSize:
    case State::Trailers:
      return true;
    default:
      return false;
  }
}

// What the line being read may still take, its line feed included.
std::size_t ResponseReader::LineLimit() const {
  switch (state_) {
    case State::StatusLine:
    case State::HeaderLines:
      return headLimit_ - headBytes_;
    case State::Trailers:
      return headLimit_ - trailerBytes_;
    default:
      return kChunkLineLimit;
  }
}

ResponseReader::Step ResponseReader::Feed(std::string_view data, std::string& head,
                                          std::string& body) {
  std::size_t used = 0;
  for (;;) {
    if (state_ == State::Complete) return {used, Event::Complete};
    if (state_ == State::Failed) return {used, Event::Failed};
    if (used == data.size()) return {used, Event::NeedMore};
    const std::string_view rest = data.substr(used);

    if (state_ == State::ChunkDataEnd) {
      // Only a line break may follow the data of a chunk.
      const char c = rest.front();
      if (c == '\r' && line_.empty()) {
        line_ = "\r";
        ++used;
        continue;
      }
      if (c != '\n') return {used, Fail("a chunk does not end with a line break")};
      line_.clear();
      ++used;
      state_ = State::ChunkSize;
      continue;
    }
    if (InLine()) {
      const std::size_t feed = rest.find('\n');
      const std::size_t take = feed == std::string_view::npos ? rest.size() : feed;
      const std::size_t lineBytes = line_.size() + take + (feed == std::string_view::npos ? 0 : 1);
      if (lineBytes > LineLimit()) {
        // The line is taken up to the limit, however its bytes arrived.
        const std::size_t taken = std::min(take, LineLimit() - line_.size());
        used += taken;
        if (state_ == State::StatusLine || state_ == State::HeaderLines) {
          // What came stays readable in the response, up to the limit.
          head += line_;
          head.append(rest.data(), taken);
        }
        switch (state_) {
          case State::ChunkSize:
            return {used, Fail("a chunk size line is longer than " +
                               std::to_string(kChunkLineLimit) + " bytes")};
          case State::Trailers:
            return {used, Fail("the trailer section is larger than " + std::to_string(headLimit_) +
                               " bytes")};
          default:
            return {used, Fail("the head is larger than " + std::to_string(headLimit_) + " bytes")};
        }
      }
      line_.append(rest.data(), take);
      used += take;
      if (feed == std::string_view::npos) continue;
      ++used;
      if (state_ == State::StatusLine || state_ == State::HeaderLines) headBytes_ += lineBytes;
      if (state_ == State::Trailers) trailerBytes_ += lineBytes;
      std::string line;
      line.swap(line_);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      const Event event = TakeLine(line, head, body);
      if (event != Event::NeedMore) return {used, event};
      continue;
    }

    if (state_ == State::UntilClose) {
      // Taken up to the limit, however the bytes arrived.
      const std::size_t room = static_cast<std::size_t>(std::min<std::uint64_t>(
          bodyLimit_ - std::min<std::uint64_t>(bodyLimit_, body.size()), rest.size()));
      body.append(rest.data(), room);
      used += room;
      if (room < rest.size()) return {used, FailLimit()};
      continue;
    }
    // A Content-Length body or the data of a chunk: its size was checked against the limit.
    const std::size_t take =
        static_cast<std::size_t>(std::min<std::uint64_t>(remaining_, rest.size()));
    body.append(rest.data(), take);
    used += take;
    remaining_ -= take;
    if (remaining_ == 0) {
      state_ = state_ == State::LengthBody ? State::Complete : State::ChunkDataEnd;
    }
  }
}

ResponseReader::Event ResponseReader::TakeLine(std::string_view line, std::string& head,
                                               std::string& body) {
  switch (state_) {
    case State::StatusLine:
      return TakeStatusLine(line, head);
    case State::HeaderLines:
      return TakeHeaderLine(line, head);
    case State::ChunkSize:
      return TakeChunkSize(line, body.size());
    case State::Trailers:
      // Trailer fields are read and ignored; the empty line ends the response.
      if (!line.empty()) return Event::NeedMore;
      state_ = State::Complete;
      return Event::Complete;
    default:
      return Event::NeedMore;
  }
}

// "HTTP/1." DIGIT SP 3DIGIT, then the end of the line or SP and a reason phrase.
ResponseReader::Event ResponseReader::TakeStatusLine(std::string_view line, std::string& head) {
  head.append(line.data(), line.size());
  head += "\r\n";
  const bool wellFormed = line.size() >= 12 && line.substr(0, 7) == "HTTP/1." && IsDigit(line[7]) &&
                          line[8] == ' ' && IsDigit(line[9]) && IsDigit(line[10]) &&
                          IsDigit(line[11]) && (line.size() == 12 || line[12] == ' ');
  const std::uint32_t code =
      wellFormed ? static_cast<std::uint32_t>((line[9] - '0') * 100 + (line[10] - '0') * 10 +
                                              (line[11] - '0'))
                 : 0;
  if (code < 100) return Fail("the answer does not begin with an HTTP/1.x status line");
  statusCode_ = code;
  framing_ = BodyFraming::UntilClose;
  contentLength_ = -1;
  transferCodings_.clear();
  sawTransferEncoding_ = false;
  location_.clear();
  state_ = State::HeaderLines;
  return Event::StatusLine;
}

ResponseReader::Event ResponseReader::TakeHeaderLine(std::string_view line, std::string& head) {
  if (line.empty()) return EndOfHead(head);
  if (IsBlank(line.front())) return Fail("a header line is folded onto the one before");
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos || !IsHeaderName(line.substr(0, colon))) {
    return Fail("the header line " + Quoted(line) + " is not a name and a value");
  }
  const std::string_view name = line.substr(0, colon);
  const std::string_view value = TrimBlanks(line.substr(colon + 1));

  if (EqualsIgnoringCase(name, "Content-Length")) {
    switch (ReadContentLength(value, contentLength_)) {
      case LengthValue::NotANumber:
        return Fail("the Content-Length " + Quoted(value) + " is not a number");
      case LengthValue::Differs:
        return Fail("the Content-Length values differ");
      case LengthValue::Valid:
        break;
    }
  } else if (EqualsIgnoringCase(name, "Transfer-Encoding")) {
    sawTransferEncoding_ = true;
    transferCodings_ += ',';
    transferCodings_.append(value.data(), value.size());
  } else if (EqualsIgnoringCase(name, "Location") && location_.empty()) {
    location_.assign(value.data(), value.size());
  }
  head.append(line.data(), line.size());
  head += "\r\n";
  return Event::NeedMore;
}

ResponseReader::Event ResponseReader::EndOfHead(std::string& head) {
  head += "\r\n";
  if (statusCode_ < 200) {
    if (statusCode_ == 101) return Fail("the server switched to another protocol (101)");
    // An interim answer: the final one follows on the same connection.
    head.clear();
    state_ = State::StatusLine;
    return Event::NeedMore;
  }

  if (statusCode_ == 204 || statusCode_ == 304) {
    framing_ = BodyFraming::None;
    contentLength_ = -1;
    state_ = State::Complete;
    return Event::Head;
  }
  if (sawTransferEncoding_) {
    // Transfer-Encoding overrides Content-Length. Only chunked is ever expected: the request
    // asks for no other coding.
    int codings = 0;
    std::string unsupported;
    ForEachListElement(transferCodings_, [&](std::string_view coding) {
      ++codings;
      if (!EqualsIgnoringCase(coding, "chunked") && unsupported.empty()) {
        unsupported = Quoted(coding);
      }
      return true;
    });
    if (!unsupported.empty()) {
      return Fail("the transfer coding " + unsupported + " is not supported");
    }
    if (codings != 1) return Fail("the Transfer-Encoding is not one chunked coding");
    framing_ = BodyFraming::Chunked;
    contentLength_ = -1;
    state_ = State::ChunkSize;
    return Event::Head;
  }
  if (contentLength_ >= 0) {
    if (!FitsBody(0, static_cast<std::uint64_t>(contentLength_))) return FailLimit();
    framing_ = BodyFraming::Length;
    remaining_ = static_cast<std::uint64_t>(contentLength_);
    state_ = remaining_ == 0 ? State::Complete : State::LengthBody;
    return Event::Head;
  }
  framing_ = BodyFraming::UntilClose;
  state_ = State::UntilClose;
  return Event::Head;
}

// chunk-size [BWS ";" extensions]; the extensions are read and ignored.
ResponseReader::Event ResponseReader::TakeChunkSize(std::string_view line, std::size_t bodySize) {
  std::uint64_t size = 0;
  std::size_t i = 0;
  for (; i < line.size() && HexValue(line[i]) >= 0; ++i) {
    if (size > (kLargestSize >> 4)) return FailLimit();
    size = size * 16 + static_cast<std::uint64_t>(HexValue(line[i]));
  }
  std::size_t after = i;
  while (after < line.size() && IsBlank(line[after])) ++after;
  if (i == 0 || (after < line.size() && line[after] != ';')) {
    return Fail("the chunk size " + Quoted(line) + " is not a hexadecimal number");
  }
  if (size == 0) {
    state_ = State::Trailers;
    return Event::NeedMore;
  }
  if (!FitsBody(bodySize, size)) return FailLimit();
  remaining_ = size;
  state_ = State::ChunkData;
  return Event::NeedMore;
}

ResponseReader::Event ResponseReader::EndOfStream(std::string& head) {
  switch (state_) {
    case State::Complete:
      return Event::Complete;
    case State::Failed:
      return Event::Failed;
    case State::UntilClose:
      state_ = State::Complete;
      return Event::Complete;
    case State::StatusLine:
    case State::HeaderLines: {
      const bool nothing = headBytes_ == 0 && line_.empty();
      head += line_;
      return Fail(nothing ? "the server closed the connection without answering"
                          : "the connection ended inside the head");
    }
    case State::LengthBody:
      return Fail("the connection ended after " +
                  std::to_string(static_cast<std::uint64_t>(contentLength_) - remaining_) +
                  " of the " + std::to_string(contentLength_) + " bytes of the body");
    default:
      return Fail("the connection ended inside the chunked body");
  }
}

bool ResponseReader::FitsBody(std::uint64_t bodySize, std::uint64_t more) const {
  return more <= bodyLimit_ && bodySize <= bodyLimit_ - more;
}

ResponseReader::Event ResponseReader::Fail(const std::string& reason) {
  state_ = State::Failed;
  error_ = kInvalid + reason + ".";
  return Event::Failed;
}

ResponseReader::Event ResponseReader::FailLimit() {
  state_ = State::Failed;
  error_ = BodyLimitText(bodyLimit_);
  return Event::Failed;
}

}  // namespace drovane
