#pragma once
// A small deterministic generator: the same seed gives the same numbers on every machine and
// every run, so a sample installation is the same bytes each time it is written.
#include <cstdint>
#include <string>

namespace drovane::fixture {

// SplitMix64's output function: spreads any input over all 64 bits.
inline uint64_t MixBits(uint64_t value) {
  value += 0x9E3779B97F4A7C15ull;
  value = (value ^ (value >> 30)) * 0xBF58476D1CE4E5B9ull;
  value = (value ^ (value >> 27)) * 0x94D049BB133111EBull;
  return value ^ (value >> 31);
}

inline uint64_t MixSeed(uint64_t a, uint64_t b) {
  return MixBits(a ^ MixBits(b));
}

// FNV-1a: a stable number for a text (file names, locales), unlike std::hash.
inline uint64_t TextHash(const std::string& text) {
  uint64_t hash = 0xCBF29CE484222325ull;
  for (unsigned char c : text) {
    hash ^= c;
    hash *= 0x100000001B3ull;
  }
  return hash;
}

class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}

  uint64_t Next() {
    state_ += 0x9E3779B97F4A7C15ull;
    uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }

  // A number in [0, bound); bound 0 gives 0.
  uint32_t Below(uint32_t bound) {
    return bound == 0 ? 0 : static_cast<uint32_t>((Next() >> 32) % bound);
  }

  // count bytes of noise appended to out.
  void AppendBytes(std::string& out, size_t count) {
    while (count > 0) {
      uint64_t word = Next();
      for (int i = 0; i < 8 && count > 0; ++i, --count) {
        out.push_back(static_cast<char>(word & 0xFF));
        word >>= 8;
      }
    }
  }

 private:
  uint64_t state_;
};

}  // namespace drovane::fixture
