#pragma once
// SHA-256 and MD5 of bytes and of files, for checking what the self-update downloads and what it
// finds on disk. Files are hashed in pieces, never read whole into memory.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>

namespace drovane {

using Sha256Digest = std::array<uint8_t, 32>;

// SHA-256 of the bytes; false only when the system cannot hash.
bool Sha256Of(std::string_view bytes, Sha256Digest& digest);

struct FileDigests {
  uint64_t size = 0;
  std::string md5;  // lowercase hexadecimal, as Md5Hex gives it
  Sha256Digest sha256{};
};

// Both digests of a file in one pass; false when it cannot be opened or read.
bool DigestFile(const std::string& path, FileDigests& digests);

// True when the file exists with exactly this size and both digests. The size is compared
// first, so a file of another size is never read.
bool FileMatches(const std::string& path, uint64_t size, const std::string& md5,
                 const Sha256Digest& sha256);

}  // namespace drovane
