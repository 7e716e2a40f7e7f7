#include "app/Md5.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstdlib>

namespace drovane {
namespace {

// The provider is opened once per process; opening one costs far more than a hash.
class Md5Provider {
 public:
  Md5Provider() {
    if (BCryptOpenAlgorithmProvider(&handle_, BCRYPT_MD5_ALGORITHM, nullptr, 0) != 0) {
      handle_ = nullptr;
    }
  }
  ~Md5Provider() {
    if (handle_) BCryptCloseAlgorithmProvider(handle_, 0);
  }
  BCRYPT_ALG_HANDLE get() const { return handle_; }

 private:
  BCRYPT_ALG_HANDLE handle_ = nullptr;
};

struct HashHandle {
  BCRYPT_HASH_HANDLE handle = nullptr;
  ~HashHandle() {
    if (handle) BCryptDestroyHash(handle);
  }
};

}  // namespace

std::string Md5Hex(const std::string& bytes) {
  static Md5Provider provider;
  unsigned char digest[16] = {};
  HashHandle hash;
  const bool hashed =
      provider.get() &&
      BCryptCreateHash(provider.get(), &hash.handle, nullptr, 0, nullptr, 0, 0) == 0 &&
      BCryptHashData(hash.handle, reinterpret_cast<PUCHAR>(const_cast<char*>(bytes.data())),
                     static_cast<ULONG>(bytes.size()), 0) == 0 &&
      BCryptFinishHash(hash.handle, digest, sizeof digest, 0) == 0;
  if (!hashed) return std::string();
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(32);
  for (unsigned char byte : digest) {
    text += kHex[byte >> 4];
    text += kHex[byte & 15];
  }
  return text;
}

std::string RandomMd5Hex() {
  std::string letters;
  for (int i = 0; i < 15; ++i) letters += static_cast<char>('a' + std::rand() % 26);
  return Md5Hex(letters);
}

}  // namespace drovane
