#pragma once
// What the client trusts an update list with: the public key built into it, the signature check
// by Windows CNG, and the highest list sequence number this Windows user has accepted (kept in
// HKEY_CURRENT_USER, so an older list cannot roll the client back).
#include <cstdint>
#include <string_view>

#include "update/ListSignature.h"

namespace drovane {

// The key built into this executable, and its id as a signature block names it.
const PublicKey& BuiltInUpdateKey();
Sha256Digest KeyIdOf(const PublicKey& key);

// ECDSA P-256 over SHA-256 of the message; false for a bad signature or when CNG cannot check.
bool VerifyP256Signature(const PublicKey& key, std::string_view message,
                         const Signature& signature);

// 0 when none was recorded yet (or the value is unreadable).
uint64_t AcceptedListSequence();
bool RecordAcceptedListSequence(uint64_t sequence);

}  // namespace drovane
