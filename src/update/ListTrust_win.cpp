#include "update/ListTrust.h"

#include <windows.h>
#include <bcrypt.h>

#include <cstring>
#include <vector>

#include "UpdatePublicKey.h"
#include "base/Registry.h"
#include "base/WinHandles.h"

namespace drovane {
namespace {

constexpr char kSequenceValue[] = "UpdateListSequence";

}  // namespace

const PublicKey& BuiltInUpdateKey() {
  static const PublicKey key = [] {
    PublicKey bytes;
    std::memcpy(bytes.data(), kBuiltInUpdateKey, bytes.size());
    return bytes;
  }();
  return key;
}

Sha256Digest KeyIdOf(const PublicKey& key) {
  Sha256Digest id{};
  Sha256Of(std::string_view(reinterpret_cast<const char*>(key.data()), key.size()), id);
  return id;
}

bool VerifyP256Signature(const PublicKey& key, std::string_view message,
                         const Signature& signature) {
  Sha256Digest digest;
  if (!Sha256Of(message, digest)) return false;
  BcryptAlgorithm algorithm;
  if (BCryptOpenAlgorithmProvider(algorithm.receive(), BCRYPT_ECDSA_P256_ALGORITHM, nullptr, 0) !=
      0) {
    return false;
  }
  std::vector<UCHAR> blob(sizeof(BCRYPT_ECCKEY_BLOB) + key.size());
  BCRYPT_ECCKEY_BLOB header = {BCRYPT_ECDSA_PUBLIC_P256_MAGIC, 32};
  std::memcpy(blob.data(), &header, sizeof header);
  std::memcpy(blob.data() + sizeof header, key.data(), key.size());
  BcryptKey imported;
  if (BCryptImportKeyPair(algorithm.get(), nullptr, BCRYPT_ECCPUBLIC_BLOB, imported.receive(),
                          blob.data(), static_cast<ULONG>(blob.size()), 0) != 0) {
    return false;
  }
  return BCryptVerifySignature(imported.get(), nullptr, digest.data(),
                               static_cast<ULONG>(digest.size()),
                               const_cast<PUCHAR>(signature.data()),
                               static_cast<ULONG>(signature.size()), 0) == 0;
}

uint64_t AcceptedListSequence() {
  uint64_t sequence = 0;
  if (!RegistryRead(HKEY_CURRENT_USER, kClientKey, kSequenceValue, &sequence, sizeof sequence)) {
    return 0;
  }
  return sequence;
}

bool RecordAcceptedListSequence(uint64_t sequence) {
  return RegistryWrite(kClientKey, kSequenceValue, &sequence, REG_QWORD, sizeof sequence);
}

}  // namespace drovane
