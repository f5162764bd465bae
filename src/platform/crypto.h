#pragma once

#include <array>
#include <cstddef>
#include <initializer_list>
#include <string_view>

namespace talmor {

// SHA-256, HMAC-SHA-256 and PBKDF2-HMAC-SHA-256 from the platform's cryptographic library (libcrypto on Linux,
// bcrypt on Windows), and random bytes from its generator. Failures of the library raise
// std::runtime_error with a text that never holds key material.

using Digest = std::array<unsigned char, 32>;

// A piece of input, hashed in the order given.
using ByteView = std::string_view;

inline ByteView View(const Digest& d) {
  return ByteView(reinterpret_cast<const char*>(d.data()), d.size());
}

// SHA-256 of the concatenation of `parts`.
Digest Sha256(std::initializer_list<ByteView> parts);
// HMAC-SHA-256 under `key` of the concatenation of `parts`.
Digest HmacSha256(const Digest& key, std::initializer_list<ByteView> parts);
// PBKDF2 with HMAC-SHA-256 (RFC 8018) of `password` under `salt`, `iterations` rounds, 32 bytes
// of output.
Digest Pbkdf2Sha256(ByteView password, ByteView salt, unsigned iterations);
// Fills `size` bytes from the platform's cryptographic random generator.
void RandomBytes(void* buffer, size_t size);
// Overwrites `size` bytes with zeros in a way the compiler does not remove.
void WipeBytes(void* buffer, size_t size);

}  // namespace talmor
