#include "update/ListSignature.h"

#include <cstring>

namespace drovane {
namespace {

uint64_t ReadLittleEndian(const char* bytes, size_t count) {
  uint64_t value = 0;
  for (size_t i = count; i-- > 0;) value = value << 8 | static_cast<uint8_t>(bytes[i]);
  return value;
}

template <size_t N>
void Copy(const char* from, std::array<uint8_t, N>& to) {
  std::memcpy(to.data(), from, N);
}

}  // namespace

std::string TrustErrorText(TrustError error, uint64_t sequence, uint64_t highestAccepted) {
  switch (error) {
    case TrustError::None:
      return "no error";
    case TrustError::Unsigned:
      return "it carries no signature";
    case TrustError::MalformedBlock:
      return "its signature block is damaged";
    case TrustError::EntryCount:
      return "its signature does not cover its entries";
    case TrustError::OtherKey:
      return "it is signed with another key";
    case TrustError::BadSignature:
      return "its signature does not match its content";
    case TrustError::OlderSequence:
      return "it is older than a list already installed (number " + std::to_string(sequence) +
             ", installed " + std::to_string(highestAccepted) + ")";
  }
  return "unknown error";
}

TrustError ParseListSignature(std::string_view bytes, size_t entriesEnd, size_t entryCount,
                              ListSignature& signature) {
  signature = ListSignature();
  if (entriesEnd >= bytes.size()) return TrustError::Unsigned;
  const std::string_view block = bytes.substr(entriesEnd);
  if (block.size() < kSignatureBlockFixedBytes + kSignatureBytes ||
      std::memcmp(block.data(), kSignatureMagic, sizeof kSignatureMagic) != 0 ||
      ReadLittleEndian(block.data() + 4, 4) != kSignatureVersion) {
    return TrustError::MalformedBlock;
  }
  const uint64_t count = ReadLittleEndian(block.data() + 48, 4);
  if (count > kMostSignedEntries) return TrustError::MalformedBlock;
  const size_t digestBytes = static_cast<size_t>(count) * 32;
  if (block.size() != kSignatureBlockFixedBytes + digestBytes + kSignatureBytes) {
    return TrustError::MalformedBlock;
  }
  if (count != entryCount) return TrustError::EntryCount;
  signature.sequence = ReadLittleEndian(block.data() + 8, 8);
  Copy(block.data() + 16, signature.keyId);
  Copy(block.data() + 52, signature.clientSha256);
  signature.entrySha256.resize(static_cast<size_t>(count));
  for (size_t i = 0; i < count; ++i) {
    Copy(block.data() + kSignatureBlockFixedBytes + i * 32, signature.entrySha256[i]);
  }
  signature.signedLength = bytes.size() - kSignatureBytes;
  Copy(bytes.data() + signature.signedLength, signature.signature);
  return TrustError::None;
}

TrustError CheckListTrust(std::string_view bytes, size_t entriesEnd, size_t entryCount,
                          const PublicKey& key, const Sha256Digest& keyId,
                          uint64_t highestAccepted, const SignatureVerifier& verify,
                          ListSignature& signature) {
  const TrustError parsed = ParseListSignature(bytes, entriesEnd, entryCount, signature);
  if (parsed != TrustError::None) return parsed;
  if (signature.keyId != keyId) return TrustError::OtherKey;
  if (!verify(key, bytes.substr(0, signature.signedLength), signature.signature)) {
    return TrustError::BadSignature;
  }
  if (signature.sequence < highestAccepted) return TrustError::OlderSequence;
  return TrustError::None;
}

}  // namespace drovane
