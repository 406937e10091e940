// Hashes and signatures of update descriptions: SHA-256 and ECDSA on the P-256 curve, through CNG.
// Signatures are the raw 64 bytes r || s (big-endian, 32 bytes each), as CNG makes and checks them.
#pragma once
#include <array>
#include <cstddef>
#include <string>

using Sha256Digest = std::array<unsigned char, 32>;
// X || Y of the public point, 32 bytes each, big-endian.
using PublicKey = std::array<unsigned char, 64>;
constexpr size_t kSignatureSize = 64;

struct PrivateKey {
    PublicKey publicKey{};
    std::array<unsigned char, 32> secret{};
};

// False only when CNG cannot hash.
bool Sha256(const void* bytes, size_t size, Sha256Digest& digest);

// True when signature (kSignatureSize bytes) is key's signature of SHA-256(bytes).
bool VerifySignature(const PublicKey& key, const std::string& bytes, const std::string& signature);

// Signs SHA-256(bytes); false when CNG refuses the key.
bool Sign(const PrivateKey& key, const std::string& bytes, std::string& signature);

// Reads a P-256 private key in PEM, as "BEGIN PRIVATE KEY" (PKCS #8) or "BEGIN EC PRIVATE KEY" (SEC 1),
// which must carry its public point (openssl writes it). Empty text on success, else what is wrong.
std::wstring ReadPrivateKeyPem(const std::string& pem, PrivateKey& key);

// Lower-case hex of bytes, and back (false on odd length or a non-hex character).
std::string ToHex(const unsigned char* bytes, size_t size);
bool FromHex(const std::string& hex, unsigned char* bytes, size_t size);
