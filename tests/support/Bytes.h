#pragma once
// Little-endian fields for building file contents byte by byte in tests.
#include <cstdint>
#include <string>

namespace drovane::test {

inline std::string Le32(int64_t value) {
  const uint32_t bits = static_cast<uint32_t>(value);
  std::string bytes(4, '\0');
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((bits >> (8 * i)) & 0xFF);
  return bytes;
}

inline std::string Le16(int value) {
  return std::string{static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF)};
}

}  // namespace drovane::test
