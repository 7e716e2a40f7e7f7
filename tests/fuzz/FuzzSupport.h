#pragma once
// What every fuzz target shares: the input as bytes and texts, a selector taken from its first
// byte, the process log kept from growing, and a check that aborts (so libFuzzer records the
// input) when a property of the code under test does not hold.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "base/FileLog.h"

namespace drovane::fuzz {

// The client's log keeps what it cannot write yet in memory; the fuzz targets write it to the
// null device after every input, so millions of inputs do not look like a leak.
inline void DiscardLog() {
  static const bool opened = [] {
    Log().SetLogFile("/dev/null");
    return true;
  }();
  (void)opened;
  Log().Flush();
}

// Reads the input front to back: a few selector bytes, then the rest as the data.
class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  // The next byte (0 once the input is used up).
  uint8_t Byte() { return position_ < size_ ? data_[position_++] : 0; }
  // Everything not taken yet.
  std::string Rest() const {
    return std::string(reinterpret_cast<const char*>(data_) + position_, size_ - position_);
  }
  const uint8_t* RestData() const { return data_ + position_; }
  size_t RestSize() const { return size_ - position_; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

[[noreturn]] inline void Fail(const char* file, int line, const char* what) {
  std::fprintf(stderr, "%s:%d: property failed: %s\n", file, line, what);
  std::abort();
}

}  // namespace drovane::fuzz

#define FUZZ_CHECK(condition) \
  ((condition) ? (void)0 : ::drovane::fuzz::Fail(__FILE__, __LINE__, #condition))
