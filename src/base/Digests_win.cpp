#include "base/Digests.h"

#include <windows.h>
#include <bcrypt.h>

#include <vector>

#include "base/Md5.h"
#include "base/WideText.h"
#include "base/WinHandles.h"

namespace drovane {
namespace {

constexpr DWORD kPieceBytes = 64 * 1024;

// One provider per algorithm and process: opening one costs far more than a hash.
BcryptAlgorithm OpenProvider(LPCWSTR algorithm) {
  BcryptAlgorithm provider;
  // A failed open leaves nothing to close.
  if (BCryptOpenAlgorithmProvider(provider.receive(), algorithm, nullptr, 0) != 0) {
    provider.release();
  }
  return provider;
}

BCRYPT_ALG_HANDLE Md5Provider() {
  static const BcryptAlgorithm provider = OpenProvider(BCRYPT_MD5_ALGORITHM);
  return provider.get();
}

BCRYPT_ALG_HANDLE Sha256Provider() {
  static const BcryptAlgorithm provider = OpenProvider(BCRYPT_SHA256_ALGORITHM);
  return provider.get();
}

// A running hash; every step reports whether the system did it.
class RunningHash {
 public:
  explicit RunningHash(BCRYPT_ALG_HANDLE provider) {
    if (!provider ||
        BCryptCreateHash(provider, handle_.receive(), nullptr, 0, nullptr, 0, 0) != 0) {
      handle_.release();  // nothing to destroy
    }
  }

  bool Add(const void* data, size_t size) {
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (handle_.valid() && size > 0) {
      const ULONG piece = size > kPieceBytes ? kPieceBytes : static_cast<ULONG>(size);
      if (BCryptHashData(handle_.get(), const_cast<PUCHAR>(bytes), piece, 0) != 0) return false;
      bytes += piece;
      size -= piece;
    }
    return handle_.valid();
  }
  bool Finish(unsigned char* digest, ULONG size) {
    return handle_.valid() && BCryptFinishHash(handle_.get(), digest, size, 0) == 0;
  }

 private:
  BcryptHash handle_;
};

std::string Hex(const unsigned char* bytes, size_t count) {
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(count * 2);
  for (size_t i = 0; i < count; ++i) {
    text += kHex[bytes[i] >> 4];
    text += kHex[bytes[i] & 15];
  }
  return text;
}

}  // namespace

bool Sha256Of(std::string_view bytes, Sha256Digest& digest) {
  RunningHash hash(Sha256Provider());
  return hash.Add(bytes.data(), bytes.size()) && hash.Finish(digest.data(), digest.size());
}

std::string Md5Hex(const std::string& bytes) {
  RunningHash hash(Md5Provider());
  unsigned char digest[16];
  if (!hash.Add(bytes.data(), bytes.size()) || !hash.Finish(digest, sizeof digest)) {
    return std::string();
  }
  return Hex(digest, sizeof digest);
}

bool DigestFile(const std::string& path, FileDigests& digests) {
  KernelHandle file(CreateFileW(Wide(path).c_str(), GENERIC_READ,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file.valid()) return false;
  RunningHash md5(Md5Provider());
  RunningHash sha256(Sha256Provider());
  std::vector<char> piece(kPieceBytes);
  uint64_t size = 0;
  for (;;) {
    DWORD read = 0;
    if (!ReadFile(file.get(), piece.data(), kPieceBytes, &read, nullptr)) return false;
    if (read == 0) break;
    if (!md5.Add(piece.data(), read) || !sha256.Add(piece.data(), read)) return false;
    size += read;
  }
  unsigned char md5Bytes[16];
  if (!md5.Finish(md5Bytes, sizeof md5Bytes) ||
      !sha256.Finish(digests.sha256.data(), digests.sha256.size())) {
    return false;
  }
  digests.size = size;
  digests.md5 = Hex(md5Bytes, sizeof md5Bytes);
  return true;
}

bool FileMatches(const std::string& path, uint64_t size, const std::string& md5,
                 const Sha256Digest& sha256) {
  WIN32_FILE_ATTRIBUTE_DATA attributes;
  if (!GetFileAttributesExW(Wide(path).c_str(), GetFileExInfoStandard, &attributes) ||
      (attributes.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
    return false;
  }
  const uint64_t onDisk =
      static_cast<uint64_t>(attributes.nFileSizeHigh) << 32 | attributes.nFileSizeLow;
  if (onDisk != size) return false;
  FileDigests digests;
  return DigestFile(path, digests) && digests.size == size && digests.md5 == md5 &&
         digests.sha256 == sha256;
}

}  // namespace drovane
