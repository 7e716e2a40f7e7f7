#pragma once
// Match condition for boost::asio::async_read_until: reads until the empty line that ends a
// response head, including a head whose header lines are missing (the empty line right after
// the status line). It resumes where the previous search stopped, so a head of megabytes is
// scanned once, not once per arrival.
#include <string_view>
#include <utility>

#include <boost/asio/buffers_iterator.hpp>
#include <boost/asio/read_until.hpp>
#include <boost/asio/streambuf.hpp>

#include "net/HttpResponse.h"

namespace drovane {

class HeadEndMatcher {
 public:
  using iterator = boost::asio::buffers_iterator<boost::asio::streambuf::const_buffers_type>;
  // Asio recognises a match condition by its result_type.
  using result_type = std::pair<iterator, bool>;

  // The streambuf keeps its bytes in one block, so [begin, end) is contiguous.
  result_type operator()(iterator begin, iterator end) {
    const auto length = static_cast<std::size_t>(end - begin);
    const std::string_view data(length ? &*begin : "", length);
    const HeadEndScan scan = ScanForHeadEnd(data, atLineStart_);
    if (scan.position > 0) atLineStart_ = false;
    return {begin + static_cast<std::ptrdiff_t>(scan.position), scan.found};
  }

 private:
  bool atLineStart_ = true;  // the search still starts where the header lines begin
};

}  // namespace drovane
