#pragma once
// Little-endian integers and C strings appended to (or read from) a byte buffer held in a
// std::string: every cache file of the game is built this way.
#include <cstddef>
#include <cstdint>
#include <string>

namespace drovane::fixture {

inline void PutU32(std::string& out, uint32_t value) {
  const char bytes[4] = {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF),
                         static_cast<char>((value >> 16) & 0xFF),
                         static_cast<char>((value >> 24) & 0xFF)};
  out.append(bytes, 4);
}

inline void PutI32(std::string& out, int32_t value) {
  PutU32(out, static_cast<uint32_t>(value));
}

inline void PutU16(std::string& out, uint16_t value) {
  const char bytes[2] = {static_cast<char>(value & 0xFF), static_cast<char>((value >> 8) & 0xFF)};
  out.append(bytes, 2);
}

// The text and its terminating zero byte.
inline void PutCString(std::string& out, const std::string& text) {
  out.append(text);
  out.push_back('\0');
}

// Overwrites four bytes at an offset the caller knows to lie inside the buffer.
inline void PokeU32(std::string& out, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

// Reads four bytes at an offset the caller has checked against the buffer's size.
inline uint32_t PeekU32(const std::string& in, size_t at) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | static_cast<unsigned char>(in[at + i]);
  return value;
}

inline int32_t PeekI32(const std::string& in, size_t at) {
  return static_cast<int32_t>(PeekU32(in, at));
}

}  // namespace drovane::fixture
