#pragma once
// The signature block that follows the last counted entry of the update list, and the decision
// whether a list can be trusted. Pure: the signature itself is checked by the caller's verifier
// (Windows CNG in the client).
//
// Block (integers little-endian), directly after the last counted entry, ending the file:
//   "KSUS", uint32 version = 1, uint64 sequence number,
//   32 bytes key id (SHA-256 of the signing key's public X||Y),
//   uint32 E (the list's entry count, 0 when it counts none),
//   32 bytes SHA-256 of the client executable, 32 bytes SHA-256 of each entry's file,
//   64 bytes ECDSA P-256 signature (r||s) over SHA-256 of every byte of the file before it.
#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Digests.h"

namespace drovane {

constexpr char kSignatureMagic[4] = {'K', 'S', 'U', 'S'};
constexpr uint32_t kSignatureVersion = 1;
constexpr size_t kSignatureBlockFixedBytes = 84;  // up to the first entry digest
constexpr size_t kSignatureBytes = 64;
// A list holds a few hundred entries; the block of a list at the download limit (1 MiB) could
// not hold more than this, so a larger E is corrupt before anything is allocated.
constexpr uint32_t kMostSignedEntries = 1024 * 1024 / 32;

using PublicKey = std::array<uint8_t, 64>;  // P-256 X||Y, big-endian
using Signature = std::array<uint8_t, kSignatureBytes>;

struct ListSignature {
  uint64_t sequence = 0;
  Sha256Digest keyId{};
  Sha256Digest clientSha256{};
  std::vector<Sha256Digest> entrySha256;
  size_t signedLength = 0;  // bytes of the file the signature covers
  Signature signature{};
};

enum class TrustError {
  None,
  Unsigned,         // nothing after the last entry
  MalformedBlock,   // not a block of this version, or a cut or overlong one
  EntryCount,       // the block covers another number of entries than the list counts
  OtherKey,         // signed with a key this client does not carry
  BadSignature,     // the signature does not match the bytes
  OlderSequence,    // older than a list this client has already accepted
};
// Why a list is not trusted, for the player and the log ("The update list is not trusted: " +
// this).
std::string TrustErrorText(TrustError error, uint64_t sequence, uint64_t highestAccepted);

// Reads the block that starts at entriesEnd and must end the data. entryCount is the number of
// entries the list counts.
TrustError ParseListSignature(std::string_view bytes, size_t entriesEnd, size_t entryCount,
                              ListSignature& signature);

// Checks SHA-256(message) against the signature with the key; the client's is CNG.
using SignatureVerifier = std::function<bool(const PublicKey& key, std::string_view message,
                                             const Signature& signature)>;

// The whole decision: a block that parses, names this key, carries a good signature, and a
// sequence number not below the highest accepted so far.
TrustError CheckListTrust(std::string_view bytes, size_t entriesEnd, size_t entryCount,
                          const PublicKey& key, const Sha256Digest& keyId,
                          uint64_t highestAccepted, const SignatureVerifier& verify,
                          ListSignature& signature);

}  // namespace drovane
